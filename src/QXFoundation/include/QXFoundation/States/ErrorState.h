#pragma once
// An object that exposes its last error under the key path "error".

#include <rt/Error.h>
#include <rt/Object.h>

namespace zid {

/// Adopters register "error" as an observable property of their class, so that the
/// error-state bindings can follow it by key-value observing.
class ErrorState {
public:
    virtual ~ErrorState() = default;
    virtual rt::Ref<rt::Error> error() const = 0;
    virtual void setError(rt::Ref<rt::Error> error) = 0;
};

}  // namespace zid
