#include "CPMediaStatusViewSingleMessage.h"

namespace zid {

void CPMediaStatusViewSingleMessage::didInitialize() {
    CPMediaStatusView::didInitialize();
    buildMessageDesign(message_);
}

}  // namespace zid
