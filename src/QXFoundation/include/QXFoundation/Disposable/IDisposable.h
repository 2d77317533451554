#pragma once
// A handle that ends a subscription, a trigger or an observer registration.

namespace zid {

class IDisposable {
public:
    virtual ~IDisposable() = default;
    virtual void dispose() = 0;
};

}  // namespace zid
