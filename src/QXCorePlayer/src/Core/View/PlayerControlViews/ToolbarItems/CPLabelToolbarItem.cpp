#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPLabelToolbarItem.h>

#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Signal/Timer/FKTimerSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>
#include <fnd/RunLoop.h>

namespace zid {

void CPLabelToolbarItem::didInitialize() {
    CPToolbarItem::didInitialize();
    label_ = rt::make<ui::Label>(bounds());
    label_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    label_->setTextColor(ui::Color::whiteColor());
    addSubview(label_);
    configureLabel();
    rt::Weak<CPLabelToolbarItem> weak = selfAs<CPLabelToolbarItem>();
    auto update = [weak](const rt::Value&) {
        if (auto self = weak.lock()) self->refresh();
    };
    auto dealloc = deallocSignal(*this);
    for (const char* path : observedKeypaths()) onSignal(signalForKeypath(*this, path), dealloc, update);
    if (auto interval = tickInterval()) onSignal(signalWithTimeInterval(*interval, true), dealloc, update);
    refresh();
}

void CPLabelToolbarItem::refresh() {
    label_->setText(currentText());
    label_->setHidden(currentlyHidden());
}

rt::Date CPLabelToolbarItem::now() const {
    return fnd::RunLoop::main()->clock().date();
}

}  // namespace zid
