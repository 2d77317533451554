#include "Core/MediaPlayer/MoviePlayerController/QXDebugConsolePresenter.h"

#include <rt/KVO.h>
#include <ui/Animation.h>

namespace zid {

namespace {
/// The frame one height above `bounds`: where the console slides from and to.
ui::Rect above(const ui::Rect& b) {
    return ui::Rect(b.origin.x, b.origin.y - b.size.height, b.size.width, b.size.height);
}
}  // namespace

void QXDebugConsolePresenter::show(const rt::Ref<QXMoviePlayerController>& controller, ui::View& over) {
    if (console_) return;
    auto console = rt::make<QXPlayerDebugConsoleView>(controller);
    console->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    console->setHidden(true);
    over.addSubview(console);
    auto b = over.bounds();
    console->setFrame(above(b));
    console->setHidden(false);
    rt::kvoSet(&owner_, "debugConsoleView", console_, console);
    ui::animate(0.5, [console, b] { console->setFrame(b); });
}

void QXDebugConsolePresenter::hide(ui::View& over) {
    auto console = console_;
    if (!console) return;
    auto b = over.bounds();
    // The owner may be gone when the slide ends; the presenter goes with it.
    rt::Weak<rt::Object> owner = owner_.self();
    ui::animate(
        0.5, [console, b] { console->setFrame(above(b)); },
        [owner, console, this](bool) {
            console->setHidden(true);
            console->removeFromSuperview();
            if (owner.lock() && console_ == console)
                rt::kvoSet(&owner_, "debugConsoleView", console_, rt::Ref<QXPlayerDebugConsoleView>());
        });
}

void QXDebugConsolePresenter::setValue(const rt::Value& value, const std::string& key) {
    if (console_) console_->setValueForKey(value, key);
}

}  // namespace zid
