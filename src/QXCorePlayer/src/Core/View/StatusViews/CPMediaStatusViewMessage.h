#pragma once
// A status screen with one message: offline, finished, an error, a content lock.

#include "CPMediaStatusView.h"

namespace zid {

class CPMediaStatusViewMessage : public CPMediaStatusView {
    RT_CLASS(CPMediaStatusViewMessage, CPMediaStatusView)
public:
    explicit CPMediaStatusViewMessage(const ui::Rect& frame = ui::Rect()) : CPMediaStatusView(frame) {}
    static rt::Ref<CPMediaStatusViewMessage> statusViewWithFrame(const ui::Rect& frame, const std::string& message);

    const rt::Ref<ui::Label>& message() const { return message_; }
    rt::Ref<ui::Label> mainLabel() const override { return message_; }
    std::string description() const override;

protected:
    void didInitialize() override;

private:
    rt::Ref<QXEventTransparentView> container_;
    rt::Ref<ui::Label> message_;
};

}  // namespace zid
