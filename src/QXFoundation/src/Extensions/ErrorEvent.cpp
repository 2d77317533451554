#include <QXFoundation/Extensions/ErrorEvent.h>

#include <algorithm>
#include <cstdio>

#include <QXFoundation/Listening/IListenable.h>
#include <QXFoundation/ObjectAssociation/ObjectAssociation.h>
#include <rt/Value.h>

namespace zid {

namespace {

constexpr const char* TableAssociationKey = "errorHandler";

// Receivers currently offering an error to their listeners on this thread. A listener
// that is (through further listeners) the receiver itself would send the error round
// the cycle for ever; it is skipped instead.
thread_local std::vector<const rt::Object*> delegatingReceivers;

}  // namespace

const ErrorHandlerChain* ErrorHandlerTable::chainForKey(const std::string& key) const {
    auto it = chains_.find(key);
    return it == chains_.end() ? nullptr : &it->second;
}

std::string errorSourceKey(const rt::Object* source) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", static_cast<const void*>(source));
    return text;
}

rt::Ref<ErrorHandlerTable> errorHandlers(rt::Object& receiver) {
    return associatedObjectOrMake<ErrorHandlerTable>(receiver, TableAssociationKey,
                                                     [] { return rt::make<ErrorHandlerTable>(); });
}

rt::Ref<BlockDisposable> addErrorHandler(rt::Object& receiver,
                                         std::function<long long(const rt::Ref<rt::Error>&, const rt::Ref<rt::Object>&)> handler,
                                         const rt::Ref<rt::Object>& source) {
    auto table = errorHandlers(receiver);
    std::string key = source ? errorSourceKey(source.get()) : ErrorHandlerTable::AnySourceKey;
    auto block = rt::make<ErrorHandlerBlock>(std::move(handler));
    table->chains()[key].push_back(block);

    if (source) {
        // Chains are keyed by address: once the source is gone another object may get
        // the same address, and must not inherit the handlers meant for this one.
        if (table->watchedSources().insert(key).second) {
            rt::Weak<ErrorHandlerTable> weakTable = table;
            source->addPreDestructionHandler([weakTable, key](rt::Object&) {
                if (auto t = weakTable.lock()) {
                    t->chains().erase(key);
                    t->watchedSources().erase(key);
                }
            });
        }
    }

    rt::Weak<ErrorHandlerTable> weakTable = table;
    rt::Weak<ErrorHandlerBlock> weakBlock = block;
    return BlockDisposable::disposableWithDisposeBlock([weakTable, weakBlock, key] {
        auto t = weakTable.lock();
        auto b = weakBlock.lock();
        if (!t || !b) return;
        auto it = t->chains().find(key);
        if (it == t->chains().end()) return;
        auto& chain = it->second;
        // An emptied chain stays, as an empty array.
        chain.erase(std::remove(chain.begin(), chain.end(), b), chain.end());
    });
}

void removeErrorHandlersForSource(rt::Object& receiver, const rt::Ref<rt::Object>& source) {
    auto table = receiver.associatedObject(TableAssociationKey).as<ErrorHandlerTable>();
    if (!table) return;
    table->chains().erase(source ? errorSourceKey(source.get()) : ErrorHandlerTable::AnySourceKey);
}

bool handleError(rt::Object& receiver, const rt::Ref<rt::Error>& error, const rt::Ref<rt::Object>& source,
                 const ErrorHandlerChain& chain) {
    // The chain is copied: a handler may dispose itself or others while it runs.
    ErrorHandlerChain handlers = chain;
    for (auto it = handlers.rbegin(); it != handlers.rend(); ++it) {
        long long result = (**it)(error, source);
        switch (result) {
            case ErrorHandlerResult::Handled:
            case ErrorHandlerResult::HandledStop: return true;
            case ErrorHandlerResult::Delegate: return delegateError(receiver, error, source);
            default: break;  // not handled: the next (older) handler
        }
    }
    return false;
}

bool handleError(rt::Object& receiver, const rt::Ref<rt::Error>& error, const rt::Ref<rt::Object>& source) {
    auto table = receiver.associatedObject(TableAssociationKey).as<ErrorHandlerTable>();
    if (!table) return false;
    if (const auto* chain = table->chainForKey(errorSourceKey(source.get()))) {
        if (handleError(receiver, error, source, *chain)) return true;
    }
    if (const auto* any = table->chainForKey(ErrorHandlerTable::AnySourceKey))
        return handleError(receiver, error, source, *any);
    return false;
}

bool delegateError(rt::Object& receiver, const rt::Ref<rt::Error>& error, const rt::Ref<rt::Object>& source) {
    if (std::find(delegatingReceivers.begin(), delegatingReceivers.end(), &receiver) != delegatingReceivers.end())
        return false;
    delegatingReceivers.push_back(&receiver);
    struct Pop {
        ~Pop() { delegatingReceivers.pop_back(); }
    } pop;
    return anyListener(receiver, [&](ListenerProxy& proxy) {
        auto listener = proxy.target();
        if (!listener) return false;
        bool delegating = std::find(delegatingReceivers.begin(), delegatingReceivers.end(), listener.get()) !=
                          delegatingReceivers.end();
        return !delegating && handleError(*listener, error, source);
    });
}

}  // namespace zid
