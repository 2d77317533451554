#include <RuzEzo/Interface/FKActionSignal.h>

#include <cstdio>
#include <type_traits>

#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>

namespace zid {

namespace {
constexpr const char* kActionName = "action:";
}  // namespace

// ---- control events --------------------------------------------------------------------

FKActionSignal::FKActionSignal(const rt::Ref<ui::Control>& target, unsigned events) : target_(target), events_(events) {}

rt::Ref<FKActionSignal> FKActionSignal::signalWithTarget(const rt::Ref<ui::Control>& target, unsigned events) {
    return rt::make<FKActionSignal>(target, events);
}

void FKActionSignal::didInitialize() {
    FKSignal::didInitialize();
    auto control = target_.lock();
    if (!control) return;
    rt::Weak<FKActionSignal> weak = selfAs<FKActionSignal>();
    control->addTarget(self(), kActionName, events_, [weak](const rt::Ref<ui::Control>& sender) {
        if (auto s = weak.lock()) s->action(sender);
    });
}

void FKActionSignal::willDestroy() {
    if (auto control = target_.lock()) control->removeTarget(this, kActionName, events_);
    FKSignal::willDestroy();
}

void FKActionSignal::action(const rt::Ref<ui::Control>& sender) {
    auto keep = self();
    callOnValueHandlers(rt::Value(std::static_pointer_cast<rt::Object>(sender)));
}

// ---- bar button items --------------------------------------------------------------------

FKBarButtonItemActionSignal::FKBarButtonItemActionSignal(const rt::Ref<ui::BarButtonItem>& target) : target_(target) {}

rt::Ref<FKBarButtonItemActionSignal> FKBarButtonItemActionSignal::signalWithTarget(
    const rt::Ref<ui::BarButtonItem>& target) {
    return rt::make<FKBarButtonItemActionSignal>(target);
}

void FKBarButtonItemActionSignal::didInitialize() {
    FKSignal::didInitialize();
    auto item = target_.lock();
    if (!item) return;
    // The host's own target and action go on working through the signal.
    previousTarget_ = item->target();
    hadTarget_ = bool(item->target());
    previousName_ = item->action();
    previousAction_ = item->actionBlock();
    rt::Weak<FKBarButtonItemActionSignal> weak = selfAs<FKBarButtonItemActionSignal>();
    item->setTarget(self());
    item->setAction("action", [weak](const rt::Ref<ui::BarButtonItem>&) {
        if (auto s = weak.lock()) s->action();
    });
}

void FKBarButtonItemActionSignal::willDestroy() {
    if (auto item = target_.lock()) {
        // Only an item still wired to this signal gets its former action back.
        if (item->target().get() == this || item->target() == nullptr) {
            item->setTarget(previousTarget_.lock());
            item->setAction(previousName_, previousAction_);
            if (hadTarget_ && previousTarget_.expired()) {
                item->setTarget(nullptr);
                item->setAction("", {});
            }
        }
    }
    FKSignal::willDestroy();
}

void FKBarButtonItemActionSignal::action() {
    auto keep = self();
    auto item = target_.lock();
    if (!item) return;
    if (previousAction_ && !(hadTarget_ && previousTarget_.expired())) previousAction_(item);
    callOnValueHandlers(rt::Value(std::static_pointer_cast<rt::Object>(item)));
}

// ---- gestures --------------------------------------------------------------------------------

FKGestureSignal::FKGestureSignal(const rt::Ref<ui::GestureRecognizer>& recognizer) : recognizer_(recognizer) {}

rt::Ref<FKGestureSignal> FKGestureSignal::signalWithGestureRecognizer(const rt::Ref<ui::GestureRecognizer>& recognizer) {
    return rt::make<FKGestureSignal>(recognizer);
}

void FKGestureSignal::didInitialize() {
    FKSignal::didInitialize();
    auto r = recognizer_.lock();
    if (!r) return;
    rt::Weak<FKGestureSignal> weak = selfAs<FKGestureSignal>();
    r->addTarget(self(), "fire", [weak](ui::GestureRecognizer&) {
        if (auto s = weak.lock()) s->fire();
    });
}

void FKGestureSignal::fire() {
    auto keep = self();
    if (auto r = recognizer_.lock()) setValue(rt::Value(std::static_pointer_cast<rt::Object>(r)));
}

void FKGestureSignal::close() {
    bool wasClosed = isClosed();
    FKSignal::close();
    if (wasClosed) return;
    auto r = recognizer_.lock();
    if (!r) return;
    r->removeTarget(this, "fire");
    if (auto v = r->view()) v->removeGestureRecognizer(r);
}

// ---- caches ------------------------------------------------------------------------------------

namespace {

rt::Ref<FKSignalHolder> holderOf(rt::Object& owner, std::string_view key) {
    auto holder = owner.associatedObject(key).as<FKSignalHolder>();
    if (!holder) {
        holder = rt::make<FKSignalHolder>();
        owner.setAssociatedObject(rt::Value(holder), key);
        // When the owner goes, the signals it still keeps close.
        auto dealloc = deallocSignal(owner);
        onSignal(dealloc, dealloc, [holder](const rt::Value&) { holder->closeSignals(); });
    }
    return holder;
}

/// The signal of a recognizer of type R set up by two setters and added to the view;
/// one per kind and pair of settings, kept under a key naming the three.
template <class R, class First>
FKSignalRef gestureSignal(ui::View& view, const char* kind, void (R::*setFirst)(First),
                          std::type_identity_t<First> first, void (R::*setSecond)(long), int second) {
    char key[64];
    std::snprintf(key, sizeof key, "__%sGestureSignal[%d,%d]", kind, int(first), second);
    return customSignal(view, rt::Value(std::string(key)), [&]() -> FKSignalRef {
        auto recognizer = rt::make<R>();
        (*recognizer.*setFirst)(first);
        (*recognizer.*setSecond)(second);
        view.addGestureRecognizer(recognizer);
        return FKGestureSignal::signalWithGestureRecognizer(recognizer);
    });
}

}  // namespace

FKSignalRef signalForEvents(ui::Control& control, unsigned events) {
    auto holder = holderOf(control, "__ActionSignals");
    rt::Value key(events);
    if (auto existing = holder->signalForKey(key)) return existing;
    auto signal = FKActionSignal::signalWithTarget(control.selfAs<ui::Control>(), events);
    holder->setSignal(signal, key);
    return signal;
}

FKSignalRef actionSignal(ui::BarButtonItem& item) {
    auto holder = holderOf(item, "__Signals");
    rt::Value key(std::string("__PressSignal"));
    if (auto existing = holder->signalForKey(key)) return existing;
    auto signal = FKBarButtonItemActionSignal::signalWithTarget(item.selfAs<ui::BarButtonItem>());
    holder->setSignal(signal, key);
    return signal;
}

FKSignalRef actionSignal(ui::GestureRecognizer& recognizer) {
    constexpr std::string_view key = "kGestureRecognizerActionSignal";
    if (auto existing = recognizer.associatedObject(key).as<FKSignal>()) return existing;
    auto signal = rt::make<FKSignal>();
    recognizer.setAssociatedObject(rt::Value(std::static_pointer_cast<rt::Object>(signal)), key);
    rt::Weak<FKSignal> weak = signal;
    recognizer.addTarget(recognizer.self(), "fireActionSignal", [weak](ui::GestureRecognizer&) {
        if (auto s = weak.lock()) s->setValue(rt::Value(rt::Date::now()));
    });
    return signal;
}

FKSignalRef tapSignal(ui::View& view, int taps, int touches) {
    return gestureSignal(view, "Tap", &ui::TapGestureRecognizer::setNumberOfTapsRequired, taps,
                         &ui::TapGestureRecognizer::setNumberOfTouchesRequired, touches);
}
FKSignalRef singleTapSignal(ui::View& view) { return tapSignal(view, 1, 1); }
FKSignalRef doubleTapSignal(ui::View& view) { return tapSignal(view, 2, 1); }

FKSignalRef panGestureSignal(ui::View& view, int minimum, int maximum) {
    return gestureSignal(view, "Pan", &ui::PanGestureRecognizer::setMinimumNumberOfTouches, minimum,
                         &ui::PanGestureRecognizer::setMaximumNumberOfTouches, maximum);
}
FKSignalRef panGestureSignal(ui::View& view) { return panGestureSignal(view, 1, 1); }

FKSignalRef swipeSignal(ui::View& view, unsigned direction, int touches) {
    return gestureSignal(view, "Swipe", &ui::SwipeGestureRecognizer::setDirection, direction,
                         &ui::SwipeGestureRecognizer::setNumberOfTouchesRequired, touches);
}
FKSignalRef rightSwipeSignal(ui::View& view) { return swipeSignal(view, ui::SwipeDirection::Right, 1); }
FKSignalRef leftSwipeSignal(ui::View& view) { return swipeSignal(view, ui::SwipeDirection::Left, 1); }
FKSignalRef upSwipeSignal(ui::View& view) { return swipeSignal(view, ui::SwipeDirection::Up, 1); }
FKSignalRef downSwipeSignal(ui::View& view) { return swipeSignal(view, ui::SwipeDirection::Down, 1); }

}  // namespace zid
