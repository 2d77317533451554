#pragma once
// A text input that announces its focus on a signal: YES once it becomes first
// responder, NO once it resigns after having been it. The signal is made on the first
// request and kept weakly by the input, under the key named by Key.

#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Signal/FKSignal.h>
#include <rt/Property.h>

namespace zid {

template <class Input, rt::KeyName Key> class QXFocusSignalling : public Input {
public:
    using Input::Input;

    bool becomeFirstResponder() override {
        bool ok = Input::becomeFirstResponder();
        if (ok) announceFocus(true);
        return ok;
    }

    bool resignFirstResponder() override {
        bool wasFirst = this->isFirstResponder();
        bool ok = Input::resignFirstResponder();
        if (ok && wasFirst) {
            didResignFocus();
            announceFocus(false);
        }
        return ok;
    }

    /// The focus signal, made when none is held.
    FKSignalRef focusSignal() {
        return customSignal(*this, focusKey(), [] { return rt::make<FKSignal>(); });
    }

protected:
    /// Runs after a resignation, before it is announced.
    virtual void didResignFocus() {}

private:
    static const rt::Value& focusKey() {
        static const rt::Value key{std::string(Key.text)};
        return key;
    }
    void announceFocus(bool focused) {
        if (auto s = customSignalForKey(*this, focusKey())) s->setValue(rt::Value(focused));
    }
};

}  // namespace zid
