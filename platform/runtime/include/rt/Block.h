#pragma once
// Blocks that must be kept, compared and removed by identity are objects: a
// rt::Block<R(Args...)> wraps a callable and is held by Ref like any object.

#include <functional>
#include <utility>

#include <rt/Object.h>

namespace rt {

class BlockBase : public Object {
    RT_CLASS(BlockBase, Object)
};

template <class Sig> class Block;

template <class R, class... Args> class Block<R(Args...)> : public BlockBase {
public:
    using Function = std::function<R(Args...)>;
    explicit Block(Function fn) : fn_(std::move(fn)) {}
    R operator()(Args... args) const { return fn_(std::forward<Args>(args)...); }
    const Function& function() const { return fn_; }
    explicit operator bool() const { return static_cast<bool>(fn_); }

private:
    Function fn_;
};

template <class Sig> using BlockRef = Ref<Block<Sig>>;

/// Makes a block of the given signature: rt::block<void(int)>([](int) {...})
template <class Sig, class F> BlockRef<Sig> block(F&& fn) {
    return make<Block<Sig>>(typename Block<Sig>::Function(std::forward<F>(fn)));
}

}  // namespace rt
