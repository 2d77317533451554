#include "Functions/ProtocolContainsSelector.h"

namespace zid {

bool protocol_containsSelector(const rt::Protocol& protocol, rt::Selector selector) {
    // Optional class, optional instance, required class, required instance.
    for (bool required : {false, true})
        for (bool instance : {false, true})
            if (protocol.methodDescription(selector, required, instance)) return true;
    return false;
}

}  // namespace zid
