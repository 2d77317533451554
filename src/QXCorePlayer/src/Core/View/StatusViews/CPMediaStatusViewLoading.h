#pragma once
// The loading screen: a spinner and an optional text, centred together as one group,
// on a clear background so the last picture stays visible behind it.

#include <ui/Slider.h>

#include "CPMediaStatusView.h"

namespace zid {

class CPMediaStatusViewLoading : public CPMessageStatusView<CPMediaStatusViewLoading> {
    RT_CLASS(CPMediaStatusViewLoading, CPMediaStatusView)
public:
    using CPMessageStatusView::CPMessageStatusView;

    const rt::Ref<ui::Label>& loadingLabel() const { return mainLabel(); }
    const rt::Ref<QXEventTransparentView>& loadingItemsHolderView() const { return loadingItemsHolderView_; }
    const rt::Ref<ui::ActivityIndicatorView>& activityIndicator() const { return activityIndicator_; }

    /// After the font step, the holder takes the width of spinner and text and is
    /// centred horizontally.
    void layoutSubviews() override;

protected:
    void didInitialize() override;

private:
    rt::Ref<QXEventTransparentView> loadingItemsHolderView_;
    rt::Ref<ui::ActivityIndicatorView> activityIndicator_;
};

}  // namespace zid
