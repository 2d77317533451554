#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPContentDetailsToolbarItem.h>
#include <RuzEzo/Binding/FKBindingCategory.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>

namespace zid {

void CPContentDetailsToolbarItem::didInitialize() {
    CPSourceToolbarItem::didInitialize();
    ui::Rect b = bounds();
    double half = b.size.height / 2;
    titleItem_ =
        rt::make<CPContentTitleToolbarItem>(ui::Rect(b.origin.x, b.origin.y, b.size.width, half), mediaSource());
    titleItem_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight |
                                    ui::Autoresizing::FlexibleBottomMargin);
    titleItem_->label()->setAdjustsFontSizeToFitWidth(true);
    lineItem_ = makeLine_(ui::Rect(b.origin.x, half, b.size.width, half), mediaSource());
    lineItem_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleTopMargin |
                                   ui::Autoresizing::FlexibleHeight);
    for (const rt::Ref<CPSourceLabelToolbarItem>& part : {rt::Ref<CPSourceLabelToolbarItem>(titleItem_), lineItem_}) {
        part->label()->setTextAlignment(ui::TextAlignment::Center);
        bindingWithKeypath(*part, "mediaSource")->setSignal(signalForKeypath(*this, "mediaSource"));
        addSubview(part);
    }
}

}  // namespace zid
