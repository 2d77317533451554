#include "CPMediaStatusViewSingleMessage.h"

namespace zid {

void CPMediaStatusViewSingleMessage::didInitialize() {
    CPMediaStatusView::didInitialize();
    buildMessageDesign(container_, message_);
}

}  // namespace zid
