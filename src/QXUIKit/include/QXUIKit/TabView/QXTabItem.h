#pragma once
// One tab: a title, an icon name, a disabled flag and the content view the tab stands
// for, held weakly (its owner, a tab view or the host, keeps the view alive).

#include <limits>
#include <string>

#include <RudoreVaz/Command/ICommand.h>
#include <rt/Object.h>
#include <ui/View.h>

namespace zid {

/// The index of no item: a bar or tab view without a selection, an item not found.
inline constexpr long QXTabNotFound = std::numeric_limits<long>::max();

class QXTabItem : public rt::Object, public IPresentable {
    RT_CLASS(QXTabItem, rt::Object)
public:
    explicit QXTabItem(const rt::Ref<ui::View>& view = nullptr, std::string title = {});
    static rt::Ref<QXTabItem> itemWithView(const rt::Ref<ui::View>& view, std::string title);

    rt::Ref<ui::View> view() const { return view_.lock(); }
    void setView(const rt::Ref<ui::View>& view) { view_ = view; }
    std::string title() const override { return title_; }
    void setTitle(std::string title) override { title_ = std::move(title); }
    /// Kept for the host; the bar does not show it.
    std::string icon() const override { return icon_; }
    void setIcon(std::string icon) override { icon_ = std::move(icon); }
    /// Kept for the host; the bar does not read it.
    bool disabled() const override { return disabled_; }
    void setDisabled(bool disabled) override { disabled_ = disabled; }

private:
    rt::Weak<ui::View> view_;
    std::string title_;
    std::string icon_;
    bool disabled_ = false;
};

/// The view's own tab item, made on first use with the view and no title and kept on
/// the view; later calls answer the same item.
rt::Ref<QXTabItem> qxTabItem(const rt::Ref<ui::View>& view);

}  // namespace zid
