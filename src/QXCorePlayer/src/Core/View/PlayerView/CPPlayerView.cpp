#include <QXCorePlayer/Core/View/PlayerView/CPPlayerView.h>

#include <QXFoundation/Listening/IListenable.h>
#include <RuzEzo/Binding/FKBindingCategory.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Signal/Multi/FKMultiSignal.h>
#include <rt/MainThread.h>
#include <rt/KVO.h>

namespace zid {

namespace {

rt::Ref<rt::Object> presentationObject(const CPPlayerView& view) { return view.presentationLayer(); }

}  // namespace

void CPPlayerView::describe(rt::ClassBuilder<CPPlayerView>& c) {
    c.property("playbackControl", &CPPlayerView::playbackControl, &CPPlayerView::setPlaybackControl);
    c.property("presentationLayer", &presentationObject, &CPPlayerView::setPresentationLayer);
    c.property("statusIndicator", &CPPlayerView::statusIndicator, &CPPlayerView::setStatusIndicator);
    c.readonly("statusController", &CPPlayerView::statusController);
    c.readonly("logoLayer", &CPPlayerView::logoLayer);
    c.readonly("controlsVisible", &CPPlayerView::controlsVisible);
    c.dependent("controlsVisible", {"playbackControl.controlsVisible"});
}

void CPPlayerView::didInitialize() {
    ui::View::didInitialize();
    using namespace ui::Autoresizing;
    setBackgroundColor(ui::Color::blackColor());

    logoLayer_ = rt::make<CPLogoLayer>(bounds());
    logoLayer_->setAutoresizingMask(FlexibleWidth | FlexibleHeight);
    addSubview(logoLayer_);
    bindingWithKeypath(*logoLayer_, "session")->setSignal(signalForKeypath(*this, "session"));

    rt::Weak<CPPlayerView> weak = selfAs<CPPlayerView>();
    auto pair = FKMultiSignal::signalWithSignals({signalForKeypath(*this, "session.source"),
                                                  signalForKeypath(*this, "session.player"),
                                                  signalForKeypath(*this, "playbackControlFactory")});
    bindingWithKeypath(*this, "playbackControl")->setSignal(pair->map([weak](const rt::Value& v) -> rt::Value {
        auto self = weak.lock();
        auto factory = self ? self->playbackControlFactory_ : nullptr;
        if (!factory) return rt::Value();
        if (!v.isArray()) return rt::Value();
        const auto& values = v.array();
        // A source or player not there yet arrives as the null placeholder.
        auto objectAt = [&](std::size_t i) {
            return i < values.size() && values[i].isObject() ? values[i].object() : nullptr;
        };
        auto source = std::dynamic_pointer_cast<ICPMediaSource>(objectAt(0));
        auto player = std::dynamic_pointer_cast<ICPMediaPlayer>(objectAt(1));
        return rt::Value(factory->controlForMediaSource(source, player));
    }));

    bindingWithKeypath(*this, "presentationLayer")->setSignal(signalForKeypath(*this, "session.player.presentationLayer"));
    statusController_ = rt::make<CPPlaybackStatusController>();
    bindingWithKeypath(*statusController_, "session")->setSignal(signalForKeypath(*this, "session"));
    bindingWithKeypath(*this, "statusIndicator")
        ->setSignal(signalForKeypath(*this, "statusController.statusIndicator"));
}

void CPPlayerView::install(rt::Ref<ui::View>& field, const rt::Ref<ui::View>& view) {
    if (field) field->removeFromSuperview();
    field = view;
    if (!view) return;
    view->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    view->setFrame(bounds());
    addSubview(view);
    layoutLayers();
}

void CPPlayerView::setPresentationLayer(const rt::Ref<rt::Object>& layer) {
    RT_MAIN_THREAD_ONLY();
    auto view = std::dynamic_pointer_cast<ui::View>(layer);
    rt::kvoChange(this, "presentationLayer", [&] { install(presentationLayer_, view); });
}

void CPPlayerView::setStatusIndicator(const rt::Ref<ui::View>& indicator) {
    RT_MAIN_THREAD_ONLY();
    rt::kvoChange(this, "statusIndicator", [&] { install(statusIndicator_, indicator); });
}

void CPPlayerView::setPlaybackControl(const rt::Ref<ICPPlaybackControl>& control) {
    RT_MAIN_THREAD_ONLY();
    rt::kvoChange(this, "playbackControl", [&] {
        if (playbackControl_) removeListener(*playbackControl_, *this);
        rt::Ref<ui::View> field = playbackControl_;
        install(field, control);
        playbackControl_ = control;
        if (control) addListener(*control, selfAs<CPPlayerView>());
    });
    if (control && control->canBecomeFirstResponder()) control->becomeFirstResponder();
}

void CPPlayerView::layoutLayers() {
    RT_MAIN_THREAD_ONLY();
    for (const rt::Ref<ui::View>& layer : {rt::Ref<ui::View>(playbackControl_), statusIndicator_,
                                           rt::Ref<ui::View>(logoLayer_), presentationLayer_})
        if (layer) sendSubviewToBack(layer);
}

void CPPlayerView::showControls(bool show, bool animated, double timeout) {
    RT_MAIN_THREAD_ONLY();
    if (playbackControl_) playbackControl_->show(show, animated, timeout);
}

void CPPlayerView::playbackControlWillPresentControls(ICPPlaybackControl&, bool animated, double duration) {
    RT_MAIN_THREAD_ONLY();
    notifyListeners<CPPlayerViewListener>(
        *this, [&](CPPlayerViewListener& l) { l.playerViewWillPresentControls(*this, animated, duration); });
}

void CPPlayerView::playbackControlWillHideControls(ICPPlaybackControl&, bool animated, double duration) {
    RT_MAIN_THREAD_ONLY();
    notifyListeners<CPPlayerViewListener>(
        *this, [&](CPPlayerViewListener& l) { l.playerViewWillHideControls(*this, animated, duration); });
}

void CPPlayerView::playbackControlRequestsPresentingViewController(ICPPlaybackControl&,
                                                                   const rt::Ref<ui::ViewController>& controller) {
    RT_MAIN_THREAD_ONLY();
    notifyListeners<CPPlayerViewListener>(
        *this, [&](CPPlayerViewListener& l) { l.playerViewRequestsPresentingViewController(*this, controller); });
}

}  // namespace zid
