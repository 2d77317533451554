#pragma once
// Errors of other objects offered to the receiver's error handlers: each time a
// registered source's "error" becomes non-nil, the receiver handles it as coming from
// that source. Registration ends with the receiver.

#include <map>
#include <string>

#include <RuzEzo/Trigger/OnSignalHelper.h>
#include <rt/Object.h>

namespace zid {

/// The receiver's registry: the source's address ("%p") to the trigger feeding its
/// errors. Kept under the association "errorHandles".
class ErrorHandles : public rt::Object {
    RT_CLASS(ErrorHandles, rt::Object)
public:
    std::map<std::string, rt::Ref<OnSignalHelper>>& triggers() { return triggers_; }

private:
    std::map<std::string, rt::Ref<OnSignalHelper>> triggers_;
};

/// The registry, made on first use.
rt::Ref<ErrorHandles> errorHandles(rt::Object& receiver);
/// Follows the source's "error" (once per source); an error it holds already is
/// handled during the call.
void registerErrorSource(rt::Object& receiver, const rt::Ref<rt::Object>& source);
/// Stops following the source and drops the receiver's handlers for it.
void unregisterErrorSource(rt::Object& receiver, const rt::Ref<rt::Object>& source);

}  // namespace zid
