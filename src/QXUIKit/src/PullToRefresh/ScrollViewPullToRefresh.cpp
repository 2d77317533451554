#include "QXUIKit/PullToRefresh/ScrollViewPullToRefresh.h"

#include <QXFoundation/ObjectAssociation/ObjectAssociation.h>
#include <ui/Animation.h>

namespace zid {

namespace {

constexpr double kInsetAnimation = 0.3;

/// What the extension keeps on each scroll view.
class PullToRefreshStore : public rt::Object {
    RT_CLASS(PullToRefreshStore, rt::Object)
public:
    rt::Ref<PullToRefreshView> view;
    rt::Weak<rt::Object> delegate;
    unsigned state = PullToRefreshState::Idle;
    float topLayoutGuide = 0;
    bool hooked = false;
};

rt::Ref<PullToRefreshStore> store(const ui::ScrollView& scrollView) {
    return associatedObjectOrMake<PullToRefreshStore>(scrollView, "__pullToRefresh",
                                                      [] { return rt::make<PullToRefreshStore>(); });
}

/// Only the top inset belongs to pull-to-refresh; the host's other insets stay.
void setTopInset(ui::ScrollView& scrollView, double top, bool animated) {
    ui::animate(animated ? kInsetAnimation : 0, [&] {
        ui::EdgeInsets insets = scrollView.contentInset();
        insets.top = top;
        scrollView.setContentInset(insets);
    });
}

void showPullToRefreshView(ui::ScrollView& scrollView, bool animated) {
    auto s = store(scrollView);
    setTopInset(scrollView, s->view->frame().size.height + s->topLayoutGuide, animated);
}

void hidePullToRefreshView(ui::ScrollView& scrollView, bool animated) {
    double top = store(scrollView)->topLayoutGuide;
    setTopInset(scrollView, top, animated);
    // The content held open for the indicator goes back to its rest.
    ui::Point offset = scrollView.contentOffset();
    if (offset.y < -top) scrollView.setContentOffset(ui::Point{offset.x, -top}, animated);
}

void doRefresh(ui::ScrollView& scrollView) {
    auto delegate = store(scrollView)->delegate.lock();
    if (auto* d = dynamic_cast<PullToRefreshDelegate*>(delegate.get())) d->requestRefresh(scrollView);
}

}  // namespace

void setPullToRefreshView(ui::ScrollView& scrollView, const rt::Ref<PullToRefreshView>& view) {
    auto s = store(scrollView);
    if (s->view) s->view->removeFromSuperview();
    s->view = view;
    if (!view) return;
    if (!s->hooked) {
        s->hooked = true;
        scrollView.setAfterLayoutHook([](ui::View& v) { updatePullToRefreshView(static_cast<ui::ScrollView&>(v)); });
        scrollView.setAlwaysBounceVertical(true);
    }
    double h = view->frame().size.height;
    view->setFrame(ui::Rect(0, -h, scrollView.bounds().size.width, h));
    scrollView.addSubview(view);
}

rt::Ref<PullToRefreshView> pullToRefreshView(const ui::ScrollView& scrollView) { return store(scrollView)->view; }

void setPullToRefreshDelegate(ui::ScrollView& scrollView, const rt::Ref<rt::Object>& delegate) {
    store(scrollView)->delegate = delegate;
}

rt::Ref<rt::Object> pullToRefreshDelegate(const ui::ScrollView& scrollView) {
    return store(scrollView)->delegate.lock();
}

unsigned pullToRefreshState(const ui::ScrollView& scrollView) { return store(scrollView)->state; }

void setTopLayoutGuide(ui::ScrollView& scrollView, double guide) {
    store(scrollView)->topLayoutGuide = static_cast<float>(guide);
    setTopInset(scrollView, static_cast<float>(guide), false);
}

double topLayoutGuide(const ui::ScrollView& scrollView) { return store(scrollView)->topLayoutGuide; }

void finishRefresh(ui::ScrollView& scrollView) {
    auto s = store(scrollView);
    if (s->state != PullToRefreshState::Refreshing) return;
    if (s->view) s->view->setRefreshing(false);
    hidePullToRefreshView(scrollView, true);
    s->state = PullToRefreshState::Idle;
}

void commitRefresh(ui::ScrollView& scrollView) { finishRefresh(scrollView); }

void cancelRefresh(ui::ScrollView& scrollView) { finishRefresh(scrollView); }

bool shouldRefresh(const ui::ScrollView& scrollView) {
    auto s = store(scrollView);
    if (!s->view) return false;
    return scrollView.contentOffset().y <= -0.75 * s->view->frame().size.height - s->topLayoutGuide;
}

void updatePullToRefreshView(ui::ScrollView& scrollView) {
    auto s = store(scrollView);
    auto view = s->view;
    if (!view) return;
    view->updateContentOffset(scrollView.contentOffset());
    if (s->state == PullToRefreshState::Refreshing) return;
    view->setRefreshing(false);
    if (scrollView.isDragging() || !shouldRefresh(scrollView)) return;
    view->setRefreshing(true);
    showPullToRefreshView(scrollView, true);
    // Refreshing before the delegate hears of it, so a delegate that finishes at once
    // does end the refresh.
    s->state = PullToRefreshState::Refreshing;
    doRefresh(scrollView);
}

}  // namespace zid
