#pragma once
// The base of every toolbar item. The bar sets the whole frame of its items on every
// layout pass (x, y and height always; the width only of flexible items), so an item
// lays its content out by autoresizing masks or in its own layout pass. An item takes
// a touch only where one of its visible, interactive subviews does.

#include <rt/MainThread.h>
#include <ui/View.h>

namespace zid {

class QXToolbar;

namespace QXToolbarItemAutoresizing {
/// The item shares the width the fixed items leave.
inline constexpr unsigned FlexibleWidth = 1;
}  // namespace QXToolbarItemAutoresizing

class QXToolbarItem : public ui::View {
    RT_CLASS(QXToolbarItem, ui::View)
private:
    unsigned toolbarAutoresizingMask_ = 0;

public:
    static constexpr rt::Key<QXToolbarItem, unsigned> toolbarAutoresizingMaskKey{
        "toolbarAutoresizingMask", &QXToolbarItem::toolbarAutoresizingMask_};

    explicit QXToolbarItem(const ui::Rect& frame = ui::Rect()) : ui::View(frame) {}
    static void describe(rt::ClassBuilder<QXToolbarItem>& c);

    /// A new empty item of 44 x 44 points with a flexible width.
    static rt::Ref<QXToolbarItem> flexibleSpaceItem();
    /// A new empty item of the width and 44 points high, fixed.
    static rt::Ref<QXToolbarItem> fixedSpaceItemWithWidth(double width);
    /// A new item with the view's frame holding the view (which stretches with it).
    static rt::Ref<QXToolbarItem> itemWithCustomView(const rt::Ref<ui::View>& view);

    /// The bar the item is attached to; written by the bar only.
    rt::Ref<QXToolbar> toolbar() const { RT_MAIN_THREAD_ONLY(); return toolbar_.lock(); }
    void setToolbar(const rt::Ref<QXToolbar>& toolbar) { RT_MAIN_THREAD_ONLY(); toolbar_ = toolbar; }

    unsigned toolbarAutoresizingMask() const { RT_MAIN_THREAD_ONLY(); return toolbarAutoresizingMask_; }
    /// Stores the mask and marks the item's bar for layout.
    void setToolbarAutoresizingMask(unsigned mask);
    bool isFlexible() const {
        RT_MAIN_THREAD_ONLY();
        return (toolbarAutoresizingMask_ & QXToolbarItemAutoresizing::FlexibleWidth) != 0;
    }

    bool pointInside(ui::Point point) const override;

private:
    rt::Weak<QXToolbar> toolbar_;
};

}  // namespace zid
