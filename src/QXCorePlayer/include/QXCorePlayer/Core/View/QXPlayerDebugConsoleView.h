#pragma once
// A translucent overlay with live facts about the stream a movie player controller
// plays: the central log id, the content URL and access URI, the buffered time ahead,
// the observed bitrate, dropped frames, frame rate, codecs and picture size. It polls
// once a second on the main loop's clock. It refers to its controller weakly; once the
// controller is gone the polled entries are left as they were.
#include <rt/MainThread.h>
#include <fnd/RunLoop.h>
#include <ui/Label.h>
#include <ui/View.h>

namespace zid {

class QXMoviePlayerController;

class QXPlayerDebugConsoleView : public ui::View {
    RT_CLASS(QXPlayerDebugConsoleView, ui::View)
public:
    explicit QXPlayerDebugConsoleView(const rt::Ref<QXMoviePlayerController>& controller);
    ~QXPlayerDebugConsoleView() override;

    rt::Ref<QXMoviePlayerController> moviePlayerController() const { RT_MAIN_THREAD_ONLY(); return controller_.lock(); }
    const rt::Dictionary& debugValues() const { RT_MAIN_THREAD_ONLY(); return debugValues_; }
    const rt::Ref<ui::Label>& debugLabel() const { RT_MAIN_THREAD_ONLY(); return debugLabel_; }

    /// Shows the value under the key ("Unknown" for nil) at once.
    void setDebugValue(const rt::Value& value, const std::string& key);
    void updateValues();
    void poll();

protected:
    void didInitialize() override;
    /// Key-value writes of keys the view does not have become shown entries.
    void setValueForUndefinedKey(const rt::Value& value, std::string_view key) override;

private:
    rt::Ref<ui::Label> addLabel();

    rt::Weak<QXMoviePlayerController> controller_;
    rt::Dictionary debugValues_;
    rt::Ref<ui::Label> debugLabel_;
    rt::Ref<fnd::Timer> pollTimer_;
};

}  // namespace zid
