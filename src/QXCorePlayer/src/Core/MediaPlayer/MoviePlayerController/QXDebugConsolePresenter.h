#pragma once
// The controller's debug console: at most one, slid down over the player view when shown
// and up and away when hidden, offered as the owner's observable "debugConsoleView" from
// the moment it is shown until its slide out ends.
#include <QXCorePlayer/Core/View/QXPlayerDebugConsoleView.h>
#include <ui/View.h>

namespace zid {

class QXDebugConsolePresenter {
public:
    /// `owner` announces "debugConsoleView" and outlives the presenter.
    explicit QXDebugConsolePresenter(rt::Object& owner) : owner_(owner) {}

    const rt::Ref<QXPlayerDebugConsoleView>& console() const { return console_; }

    /// Makes a console for the controller and slides it in over the view; nothing when
    /// one is shown.
    void show(const rt::Ref<QXMoviePlayerController>& controller, ui::View& over);
    /// Slides the console out of the view and lets it go; nothing when none is shown.
    void hide(ui::View& over);
    /// A key-value write into the shown console (an entry it shows).
    void setValue(const rt::Value& value, const std::string& key);

private:
    rt::Object& owner_;
    rt::Ref<QXPlayerDebugConsoleView> console_;
};

}  // namespace zid
