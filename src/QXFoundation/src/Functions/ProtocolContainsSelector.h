#pragma once
// Whether a protocol declares a selector.

#include <rt/Protocol.h>
#include <rt/Selector.h>

namespace zid {

/// True when the protocol declares the selector as an optional or required, class or
/// instance method. Protocols it adopts are not searched.
bool protocol_containsSelector(const rt::Protocol& protocol, rt::Selector selector);

}  // namespace zid
