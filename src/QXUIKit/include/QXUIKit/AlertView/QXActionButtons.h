#pragma once
// What the alert view and the action sheet add to the toolkit's button boxes: buttons
// that each carry their own action, given when the button is added, and the box as its
// own delegate with a delegate set by the host sitting behind it.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zid {

/// Box is the toolkit's alert view or action sheet, Delegate its delegate protocol.
template <class Box, class Delegate> class QXActionButtons : public Box, public Delegate {
public:
    using Action = std::function<void()>;

    /// Adds a button with its action (empty for none); answers the button's index.
    long addButtonWithTitle(const std::string& title, Action action) {
        long index = Box::addButtonWithTitle(title);
        if (static_cast<long>(actionBlocks_.size()) <= index) actionBlocks_.resize(static_cast<std::size_t>(index) + 1);
        actionBlocks_[static_cast<std::size_t>(index)] = std::move(action);
        return index;
    }
    /// The same, and the button becomes the cancel button.
    long addCancelButtonWithTitle(const std::string& title, Action action) {
        long index = addButtonWithTitle(title, std::move(action));
        this->setCancelButtonIndex(index);
        return index;
    }
    /// Entry i is the action of button i (empty for a button without one).
    const std::vector<Action>& actionBlocks() const { return actionBlocks_; }

    /// The host's delegate, behind the box; the box itself leaves none.
    void setDelegate(const std::shared_ptr<Delegate>& d) override {
        if (d.get() == static_cast<Delegate*>(this)) realDelegate_.reset();
        else realDelegate_ = d;
        Box::setDelegate(nullptr);
        Box::setDelegate(ownDelegate());
    }
    std::shared_ptr<Delegate> realDelegate() const { return realDelegate_.lock(); }

protected:
    void didInitialize() override {
        Box::didInitialize();
        Box::setDelegate(ownDelegate());
    }

    /// Runs the action of the button at the index; a button added without one (through
    /// the toolkit's plain call) or an index of no button runs none.
    void runActionAtIndex(long index) const {
        if (index < 0 || index >= static_cast<long>(actionBlocks_.size())) return;
        Action action = actionBlocks_[static_cast<std::size_t>(index)];
        if (action) action();
    }

private:
    std::shared_ptr<Delegate> ownDelegate() { return std::dynamic_pointer_cast<Delegate>(this->self()); }

    std::vector<Action> actionBlocks_;
    std::weak_ptr<Delegate> realDelegate_;
};

}  // namespace zid
