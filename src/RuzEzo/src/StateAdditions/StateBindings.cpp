#include "StateAdditions/StateBindings.h"

#include <algorithm>

#include <QXFoundation/Extensions/ErrorExtensions.h>
#include <RuzEzo/Binding/FKBindingCategory.h>
#include <RuzEzo/Lists/ListSignal.h>
#include <RuzEzo/Signal/Const/FKConstSignal.h>
#include <rt/Error.h>

namespace zid {

namespace {

bool truth(const rt::Value& value) { return value.isNumber() && value.boolValue(); }

void bindStateToSources(rt::Object& receiver, const char* key, StatePolicy policy, const rt::Ref<IList>& sources) {
    FKSignalRef signal;
    if (sources) {
        signal = ListSignal::signalWithList(sources, key)->map([policy = std::move(policy)](const rt::Value& values) {
            bool state = policy && values.isArray() && policy(values.array());
            return rt::Value(rt::Number::ofBool(state));
        });
    } else {
        signal = FKConstSignal::signalWithValue(rt::Value(rt::Number::ofBool(false)));
    }
    bindingWithKeypath(receiver, key)->setSignal(signal);
}

}  // namespace

void setEmptyStatePolicy(rt::Object& receiver, StatePolicy policy, const rt::Ref<IList>& sources) {
    bindStateToSources(receiver, "isEmpty", std::move(policy), sources);
}

void setLoadingStatePolicy(rt::Object& receiver, StatePolicy policy, const rt::Ref<IList>& sources) {
    bindStateToSources(receiver, "isLoading", std::move(policy), sources);
}

StatePolicy emptyStatePolicyIgnore() {
    return [](const rt::Value::Array&) { return false; };
}
StatePolicy emptyStatePolicyAny() {
    return [](const rt::Value::Array& values) { return values.empty() || std::any_of(values.begin(), values.end(), truth); };
}
StatePolicy emptyStatePolicyAll() {
    return [](const rt::Value::Array& values) { return values.empty() || std::all_of(values.begin(), values.end(), truth); };
}
StatePolicy loadingStatePolicyIgnore() {
    return [](const rt::Value::Array&) { return false; };
}
StatePolicy loadingStatePolicyAny() {
    return [](const rt::Value::Array& values) { return std::any_of(values.begin(), values.end(), truth); };
}
StatePolicy loadingStatePolicyAll() {
    return [](const rt::Value::Array& values) { return !values.empty() && std::all_of(values.begin(), values.end(), truth); };
}

void bindErrorStateToSources(rt::Object& receiver, const rt::Ref<IList>& sources) {
    if (!sources) {
        if (auto binding = bindingWithKey(receiver, "__FKB_KP::error")) fk_unbind(receiver, binding);
        return;
    }
    auto signal = ListSignal::signalWithList(sources, "error")->map([](const rt::Value& values) -> rt::Value {
        std::vector<rt::Ref<rt::Error>> errors;
        if (values.isArray())
            for (const auto& value : values.array())
                if (auto error = value.as<rt::Error>()) errors.push_back(error);
        if (errors.empty()) return rt::Value();
        if (errors.size() == 1) return rt::Value(errors.front());
        return rt::Value(errorWithDomain("MultiError", 0, errors));
    });
    bindingWithKeypath(receiver, "error")->setSignal(signal);
}

}  // namespace zid
