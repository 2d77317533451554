#pragma once
// Per-source chains of error handlers on any object.
//
// An error raised by a source is offered to the receiver's handlers for that source,
// newest first, then to its handlers for any source. A handler answers:
//   0 not handled (go on), 1 or 3 handled (stop), 2 delegate (stop and offer the error
//   to the receiver's listeners, each of which tries its own chains); any other value
//   counts as 0.
// Nothing here is locked: chains are changed and errors routed on one thread.

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <QXFoundation/Disposable/BlockDisposable.h>
#include <rt/Block.h>
#include <rt/Error.h>
#include <rt/Object.h>

namespace zid {

namespace ErrorHandlerResult {
constexpr long long NotHandled = 0;
constexpr long long Handled = 1;
constexpr long long Delegate = 2;
constexpr long long HandledStop = 3;
}  // namespace ErrorHandlerResult

using ErrorHandlerBlock = rt::Block<long long(const rt::Ref<rt::Error>& error, const rt::Ref<rt::Object>& source)>;
using ErrorHandlerChain = std::vector<rt::Ref<ErrorHandlerBlock>>;

/// The handler table of one object: source key ("%p" of the source, or "<ANY>") to
/// its chain, oldest handler first.
class ErrorHandlerTable : public rt::Object {
    RT_CLASS(ErrorHandlerTable, rt::Object)
public:
    static constexpr const char* AnySourceKey = "<ANY>";
    std::map<std::string, ErrorHandlerChain>& chains() { return chains_; }
    const ErrorHandlerChain* chainForKey(const std::string& key) const;
    /// Source keys whose source drops its chain from this table when it is destroyed.
    std::set<std::string>& watchedSources() { return watchedSources_; }

private:
    std::map<std::string, ErrorHandlerChain> chains_;
    std::set<std::string> watchedSources_;
};

/// The key of a source's chain: its address as "%p" (the null address for none).
std::string errorSourceKey(const rt::Object* source);

/// The receiver's handler table, made on first use (kept under the association
/// "errorHandler").
rt::Ref<ErrorHandlerTable> errorHandlers(rt::Object& receiver);

/// Appends handler to the chain of source ("<ANY>" for none). Disposing the result
/// removes exactly that handler; disposing again does nothing more.
rt::Ref<BlockDisposable> addErrorHandler(rt::Object& receiver,
                                         std::function<long long(const rt::Ref<rt::Error>&, const rt::Ref<rt::Object>&)> handler,
                                         const rt::Ref<rt::Object>& source);
/// Drops the whole chain of source ("<ANY>" for none).
void removeErrorHandlersForSource(rt::Object& receiver, const rt::Ref<rt::Object>& source);

/// Runs the chain of source, then, unless that handled it, the "<ANY>" chain.
bool handleError(rt::Object& receiver, const rt::Ref<rt::Error>& error, const rt::Ref<rt::Object>& source);
/// Walks the chain byHandlers from the newest handler to the oldest.
bool handleError(rt::Object& receiver, const rt::Ref<rt::Error>& error, const rt::Ref<rt::Object>& source,
                 const ErrorHandlerChain& byHandlers);
/// Offers the error to the receiver's listeners; true as soon as one handles it.
bool delegateError(rt::Object& receiver, const rt::Ref<rt::Error>& error, const rt::Ref<rt::Object>& source);

}  // namespace zid
