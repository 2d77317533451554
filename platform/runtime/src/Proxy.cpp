#include <rt/Proxy.h>

namespace rt {

std::optional<MethodSignature> Proxy::methodSignatureForSelector(Selector) const { return std::nullopt; }

void Proxy::forwardInvocation(Invocation& invocation) { raiseUnrecognizedSelector(this, nullptr, invocation.selector()); }

}  // namespace rt
