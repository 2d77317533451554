#include "CPMediaStatusViewAgeLock.h"

namespace zid {

rt::Ref<CPMediaStatusViewAgeLock> CPMediaStatusViewAgeLock::statusViewWithFrame(const ui::Rect& frame, const std::string& message) {
    auto view = rt::make<CPMediaStatusViewAgeLock>(frame);
    view->setMessage(message);
    return view;
}

void CPMediaStatusViewAgeLock::didInitialize() {
    CPMediaStatusView::didInitialize();
    buildMessageDesign(container_, message_);
}

}  // namespace zid
