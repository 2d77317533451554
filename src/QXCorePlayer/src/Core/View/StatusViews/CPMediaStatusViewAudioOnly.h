#pragma once
// The screen of a stream that carries sound only: an icon and a notice.

#include "CPMediaStatusView.h"

namespace zid {

class CPMediaStatusViewAudioOnly : public CPMediaStatusView {
    RT_CLASS(CPMediaStatusViewAudioOnly, CPMediaStatusView)
public:
    using CPMediaStatusView::CPMediaStatusView;
    static rt::Ref<CPMediaStatusViewAudioOnly> statusViewWithFrame(const ui::Rect& frame, const std::string& message) {
        return makeShowing<CPMediaStatusViewAudioOnly>(frame, message);
    }

    const rt::Ref<ui::Label>& audioOnlyMessage() const { return audioOnlyMessage_; }
    rt::Ref<ui::Label> mainLabel() const override { return audioOnlyMessage_; }

protected:
    void didInitialize() override;

private:
    rt::Ref<ui::ImageView> icon_;
    rt::Ref<ui::Label> audioOnlyMessage_;
};

}  // namespace zid
