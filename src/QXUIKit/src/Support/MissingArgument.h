#pragma once
// The refusal of a nil where the kit needs an object: the kit's parts are reached from
// the player facade's hand-outs, so a host meets the facade's parameter error, at the
// call that passed the nil, not a crash at the next call that uses it.

#include <rt/Exception.h>

#include <string_view>

namespace zid {

[[noreturn]] inline void refuseMissingArgument(std::string_view call, std::string_view what) {
    throw rt::Exception("QXQuorvexPlayerParameterError",
                        std::string(call) + ": must be called with a non-nil " + std::string(what) + "!");
}

}  // namespace zid
