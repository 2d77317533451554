#pragma once
// The screen of an age or birth-date lock: the lock's message on black.

#include "CPMediaStatusView.h"

namespace zid {

class CPMediaStatusViewAgeLock : public CPMediaStatusView {
    RT_CLASS(CPMediaStatusViewAgeLock, CPMediaStatusView)
public:
    explicit CPMediaStatusViewAgeLock(const ui::Rect& frame = ui::Rect()) : CPMediaStatusView(frame) {}
    static rt::Ref<CPMediaStatusViewAgeLock> statusViewWithFrame(const ui::Rect& frame, const std::string& message);

    const rt::Ref<ui::Label>& message() const { return message_; }
    rt::Ref<ui::Label> mainLabel() const override { return message_; }

protected:
    void didInitialize() override;

private:
    rt::Ref<QXEventTransparentView> container_;
    rt::Ref<ui::Label> message_;
};

}  // namespace zid
