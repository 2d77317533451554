#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPSeekbarToolbarItem.h>

#include <RuzEzo/Binding/FKBindingCategory.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>

namespace zid {

void CPSeekbarToolbarItem::describe(rt::ClassBuilder<CPSeekbarToolbarItem>& c) {
    c.readonly("seekbar", &CPSeekbarToolbarItem::seekbar);
}

void CPSeekbarToolbarItem::didInitialize() {
    CPPlayerToolbarItem::didInitialize();
    seekbar_ = rt::make<QXSeekbar>(bounds());
    seekbar_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    addSubview(seekbar_);
    seekbar_->setValueMapping([](double value) { return CPTimeTextFromTime(value); });
    const std::pair<const char*, const char*> rows[] = {{"minValue", "mediaPlayer.timeInfo.startTime"},
                                                        {"maxValue", "mediaPlayer.timeInfo.endTime"},
                                                        {"progressValue", "mediaPlayer.playbackTime"},
                                                        {"seekValue", "mediaPlayer.seekValue"}};
    for (const auto& [target, source] : rows)
        bindingWithKeypath(*seekbar_, target)->setSignal(signalForKeypath(*this, source)->toFloat());
}

}  // namespace zid
