#include <RuzEzo/Interface/FKActionSignal.h>

#include <cstdio>

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

std::string format(const char* pattern, int a, int b) {
    char buf[64];
    std::snprintf(buf, sizeof buf, pattern, a, b);
    return buf;
}

FKSignalRef gestureSignal(ui::View& view, const std::string& key,
                          const std::function<rt::Ref<ui::GestureRecognizer>()>& make) {
    return customSignal(view, rt::Value(key), [&]() -> FKSignalRef {
        auto recognizer = make();
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
    return gestureSignal(view, format("__TapGestureSignal[%d,%d]", taps, touches), [&] {
        auto r = rt::make<ui::TapGestureRecognizer>();
        r->setNumberOfTapsRequired(taps);
        r->setNumberOfTouchesRequired(touches);
        return r;
    });
}
FKSignalRef singleTapSignal(ui::View& view) { return tapSignal(view, 1, 1); }
FKSignalRef doubleTapSignal(ui::View& view) { return tapSignal(view, 2, 1); }

FKSignalRef panGestureSignal(ui::View& view, int minimum, int maximum) {
    return gestureSignal(view, format("__PanGestureSignal[%d,%d]", minimum, maximum), [&] {
        auto r = rt::make<ui::PanGestureRecognizer>();
        r->setMinimumNumberOfTouches(minimum);
        r->setMaximumNumberOfTouches(maximum);
        return r;
    });
}
FKSignalRef panGestureSignal(ui::View& view) { return panGestureSignal(view, 1, 1); }

FKSignalRef swipeSignal(ui::View& view, unsigned direction, int touches) {
    return gestureSignal(view, format("__SwipeGestureSignal[%d,%d]", int(direction), touches), [&] {
        auto r = rt::make<ui::SwipeGestureRecognizer>();
        r->setDirection(direction);
        r->setNumberOfTouchesRequired(touches);
        return r;
    });
}
FKSignalRef rightSwipeSignal(ui::View& view) { return swipeSignal(view, ui::SwipeDirection::Right, 1); }
FKSignalRef leftSwipeSignal(ui::View& view) { return swipeSignal(view, ui::SwipeDirection::Left, 1); }
FKSignalRef upSwipeSignal(ui::View& view) { return swipeSignal(view, ui::SwipeDirection::Up, 1); }
FKSignalRef downSwipeSignal(ui::View& view) { return swipeSignal(view, ui::SwipeDirection::Down, 1); }

}  // namespace zid
