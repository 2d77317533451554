#pragma once
// The screen of an age or birth-date lock: the lock's message on black.

#include "CPMediaStatusViewSingleMessage.h"

namespace zid {

class CPMediaStatusViewAgeLock : public CPMessageStatusView<CPMediaStatusViewAgeLock, CPMediaStatusViewSingleMessage> {
    RT_CLASS(CPMediaStatusViewAgeLock, CPMediaStatusViewSingleMessage)
public:
    using CPMessageStatusView::CPMessageStatusView;
};

}  // namespace zid
