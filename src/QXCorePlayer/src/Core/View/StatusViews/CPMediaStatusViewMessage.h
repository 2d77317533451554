#pragma once
// A status screen with one message: offline, finished, an error, a content lock.

#include "CPMediaStatusViewSingleMessage.h"

namespace zid {

class CPMediaStatusViewMessage : public CPMessageStatusView<CPMediaStatusViewMessage, CPMediaStatusViewSingleMessage> {
    RT_CLASS(CPMediaStatusViewMessage, CPMediaStatusViewSingleMessage)
public:
    using CPMessageStatusView::CPMessageStatusView;

    std::string description() const override {
        return CPMediaStatusView::description() + " MSG: " + message()->text();
    }
};

}  // namespace zid
