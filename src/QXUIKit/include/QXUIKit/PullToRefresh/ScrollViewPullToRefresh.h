#pragma once
// Pull-to-refresh on any scroll view: an indicator above the content and a two-state
// machine stepped once after each layout pass of the scroll view. A release with the
// content pulled past three quarters of the indicator's height asks the delegate for
// a refresh; the owner ends it with finishRefresh (or commitRefresh, cancelRefresh).
// Only the top content inset is ever changed here.

#include <QXUIKit/PullToRefresh/PullToRefreshView.h>
#include <ui/ScrollView.h>

namespace zid {

class PullToRefreshDelegate {
public:
    virtual ~PullToRefreshDelegate() = default;
    virtual void requestRefresh(ui::ScrollView& scrollView) { (void)scrollView; }
};

namespace PullToRefreshState {
inline constexpr unsigned Idle = 0;
inline constexpr unsigned Refreshing = 1;
}  // namespace PullToRefreshState

/// Replaces the indicator (nil removes it). The first one hooks the scroll view's
/// layout passes and lets drags pull the content past its top.
void setPullToRefreshView(ui::ScrollView& scrollView, const rt::Ref<PullToRefreshView>& view);
rt::Ref<PullToRefreshView> pullToRefreshView(const ui::ScrollView& scrollView);
/// Held weakly: a delegate that is gone reads as none. It must implement
/// PullToRefreshDelegate to be asked.
void setPullToRefreshDelegate(ui::ScrollView& scrollView, const rt::Ref<rt::Object>& delegate);
rt::Ref<rt::Object> pullToRefreshDelegate(const ui::ScrollView& scrollView);
unsigned pullToRefreshState(const ui::ScrollView& scrollView);
/// The top inset the content keeps when no indicator shows; applied at once.
void setTopLayoutGuide(ui::ScrollView& scrollView, double guide);
double topLayoutGuide(const ui::ScrollView& scrollView);

/// While refreshing: stops the spin, hides the indicator (0.3 s) and goes idle.
void finishRefresh(ui::ScrollView& scrollView);
void commitRefresh(ui::ScrollView& scrollView);
void cancelRefresh(ui::ScrollView& scrollView);

/// One step of the state machine (run after each layout pass).
void updatePullToRefreshView(ui::ScrollView& scrollView);
/// Whether the content is pulled far enough for a refresh.
bool shouldRefresh(const ui::ScrollView& scrollView);

}  // namespace zid
