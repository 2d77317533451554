#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPLabelToolbarItem.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Signal/Timer/FKTimerSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>
#include <fnd/RunLoop.h>

namespace zid {

template <class Holder>
void CPLabelToolbarItem<Holder>::didInitialize() {
    Holder::didInitialize();
    label_ = rt::make<ui::Label>(this->bounds());
    label_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    label_->setTextColor(ui::Color::whiteColor());
    this->addSubview(label_);
    configure_(*label_);
    rt::Weak<CPLabelToolbarItem> weak = this->template selfAs<CPLabelToolbarItem>();
    // The label reads what it shows itself, so a change is observed without its value:
    // nothing is read, boxed or passed through a signal before the text is made.
    for (const char* path : *observedKeypaths_)
        observations_.push_back(rt::observe(this->self(), path, 0, [weak](const rt::KVOChange&) {
            if (auto self = weak.lock()) self->refresh();
        }));
    if (tickInterval_)
        onSignal(signalWithTimeInterval(*tickInterval_, true), deallocSignal(*this), [weak](const rt::Value&) {
            if (auto self = weak.lock()) self->refresh();
        });
    refresh();
}

template <class Holder>
void CPLabelToolbarItem<Holder>::refresh() {
    label_->setText(text_(*this));
    label_->setHidden(hidden_ && hidden_(*this));
}

rt::Date CPLabelNow() { return fnd::RunLoop::main()->clock().date(); }

template class CPLabelToolbarItem<CPPlayerToolbarItem>;
template class CPLabelToolbarItem<CPSourceToolbarItem>;

}  // namespace zid
