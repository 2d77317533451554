#pragma once
// The screen shown while the video plays on an external display: an icon, a title and
// a message, with fonts that stay as designed.

#include "CPMediaStatusView.h"

namespace zid {

class CPMediaStatusViewAirPlay : public CPMediaStatusView {
    RT_CLASS(CPMediaStatusViewAirPlay, CPMediaStatusView)
public:
    using CPMediaStatusView::CPMediaStatusView;
    static rt::Ref<CPMediaStatusViewAirPlay> statusViewWithFrame(const ui::Rect& frame, const std::string& title,
                                                                 const std::string& message);

    const rt::Ref<ui::Label>& title() const { return title_; }
    const rt::Ref<ui::Label>& message() const { return message_; }

protected:
    void didInitialize() override;

private:
    rt::Ref<ui::ImageView> icon_;
    rt::Ref<ui::Label> title_;
    rt::Ref<ui::Label> message_;
};

}  // namespace zid
