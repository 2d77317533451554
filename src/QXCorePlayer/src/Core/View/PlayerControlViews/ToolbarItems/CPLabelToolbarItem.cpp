#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPLabelToolbarItem.h>

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
    configure_(*label_);
    rt::Weak<CPLabelToolbarItem> weak = selfAs<CPLabelToolbarItem>();
    // The label reads what it shows itself, so a change is observed without its value:
    // nothing is read, boxed or passed through a signal before the text is made.
    for (const char* path : *observedKeypaths_)
        observations_.push_back(rt::observe(self(), path, 0, [weak](const rt::KVOChange&) {
            if (auto self = weak.lock()) self->refresh();
        }));
    if (tickInterval_)
        onSignal(signalWithTimeInterval(*tickInterval_, true), deallocSignal(*this), [weak](const rt::Value&) {
            if (auto self = weak.lock()) self->refresh();
        });
    refresh();
}

void CPLabelToolbarItem::refresh() {
    label_->setText(text_(*this));
    label_->setHidden(hidden_ && hidden_(*this));
}

rt::Date CPLabelToolbarItem::now() {
    return fnd::RunLoop::main()->clock().date();
}

}  // namespace zid
