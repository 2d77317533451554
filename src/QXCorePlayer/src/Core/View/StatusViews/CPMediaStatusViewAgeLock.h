#pragma once
// The screen of an age or birth-date lock: the lock's message on black.

#include "CPMediaStatusViewSingleMessage.h"

namespace zid {

class CPMediaStatusViewAgeLock : public CPMediaStatusViewSingleMessage {
    RT_CLASS(CPMediaStatusViewAgeLock, CPMediaStatusViewSingleMessage)
public:
    using CPMediaStatusViewSingleMessage::CPMediaStatusViewSingleMessage;
    static rt::Ref<CPMediaStatusViewAgeLock> statusViewWithFrame(const ui::Rect& frame, const std::string& message) {
        return makeShowing<CPMediaStatusViewAgeLock>(frame, message);
    }
};

}  // namespace zid
