#pragma once
// A status screen with one message: offline, finished, an error, a content lock.

#include "CPMediaStatusViewSingleMessage.h"

namespace zid {

class CPMediaStatusViewMessage : public CPMediaStatusViewSingleMessage {
    RT_CLASS(CPMediaStatusViewMessage, CPMediaStatusViewSingleMessage)
public:
    using CPMediaStatusViewSingleMessage::CPMediaStatusViewSingleMessage;
    static rt::Ref<CPMediaStatusViewMessage> statusViewWithFrame(const ui::Rect& frame, const std::string& message) {
        return makeShowing<CPMediaStatusViewMessage>(frame, message);
    }

    std::string description() const override {
        return CPMediaStatusView::description() + " MSG: " + message()->text();
    }
};

}  // namespace zid
