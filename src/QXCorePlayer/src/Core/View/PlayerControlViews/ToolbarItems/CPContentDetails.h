#pragma once
// The two halves of a content details item: the title fills the upper half, a date
// line the lower; both take the composite item's source whenever it changes.

#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPContentTitleToolbarItem.h>
#include <RuzEzo/Binding/FKBindingCategory.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>

namespace zid {

inline void CPFollowSource(CPToolbarItem& owner, const rt::Ref<CPLabelToolbarItem>& part) {
    bindingWithKeypath(*part, "mediaSource")->setSignal(signalForKeypath(owner, "mediaSource"));
}

inline rt::Ref<CPContentTitleToolbarItem> CPMakeDetailsTitle(CPToolbarItem& owner,
                                                             const rt::Ref<ICPMediaSource>& source) {
    ui::Rect b = owner.bounds();
    auto title = rt::make<CPContentTitleToolbarItem>(
        ui::Rect(b.origin.x, b.origin.y, b.size.width, b.size.height / 2), source);
    title->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight |
                               ui::Autoresizing::FlexibleBottomMargin);
    title->label()->setTextAlignment(ui::TextAlignment::Center);
    title->label()->setAdjustsFontSizeToFitWidth(true);
    CPFollowSource(owner, title);
    owner.addSubview(title);
    return title;
}

template <class DateItem>
rt::Ref<DateItem> CPMakeDetailsLine(CPToolbarItem& owner, const rt::Ref<ICPMediaSource>& source) {
    ui::Rect b = owner.bounds();
    auto line = rt::make<DateItem>(ui::Rect(b.origin.x, b.size.height / 2, b.size.width, b.size.height / 2), source);
    line->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleTopMargin |
                              ui::Autoresizing::FlexibleHeight);
    line->label()->setTextAlignment(ui::TextAlignment::Center);
    CPFollowSource(owner, line);
    owner.addSubview(line);
    return line;
}

}  // namespace zid
