#include "CPMediaStatusViewSingleMessage.h"

namespace zid {

void CPMediaStatusViewSingleMessage::didInitialize() {
    CPMediaStatusView::didInitialize();
    buildMessageDesign();
}

}  // namespace zid
