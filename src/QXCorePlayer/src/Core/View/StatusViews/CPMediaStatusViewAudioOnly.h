#pragma once
// The screen of a stream that carries sound only: an icon and a notice.

#include "CPMediaStatusView.h"

namespace zid {

class CPMediaStatusViewAudioOnly : public CPMessageStatusView<CPMediaStatusViewAudioOnly> {
    RT_CLASS(CPMediaStatusViewAudioOnly, CPMediaStatusView)
public:
    using CPMessageStatusView::CPMessageStatusView;

    const rt::Ref<ui::Label>& audioOnlyMessage() const { return mainLabel(); }

protected:
    void didInitialize() override;

private:
    rt::Ref<ui::ImageView> icon_;
};

}  // namespace zid
