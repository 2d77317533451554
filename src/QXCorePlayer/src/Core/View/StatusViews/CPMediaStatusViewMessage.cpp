#include "CPMediaStatusViewMessage.h"

namespace zid {

rt::Ref<CPMediaStatusViewMessage> CPMediaStatusViewMessage::statusViewWithFrame(const ui::Rect& frame, const std::string& message) {
    auto view = rt::make<CPMediaStatusViewMessage>(frame);
    view->setMessage(message);
    return view;
}

void CPMediaStatusViewMessage::didInitialize() {
    CPMediaStatusView::didInitialize();
    buildMessageDesign(container_, message_);
}

std::string CPMediaStatusViewMessage::description() const {
    return CPMediaStatusView::description() + " MSG: " + message_->text();
}

}  // namespace zid
