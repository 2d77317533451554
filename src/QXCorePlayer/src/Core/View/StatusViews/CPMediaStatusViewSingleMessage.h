#pragma once
// The one-message screen: the message on black, its font following the view's width.
// The lock and message screens are this design under their own names.

#include "CPMediaStatusView.h"

namespace zid {

class CPMediaStatusViewSingleMessage : public CPMediaStatusView {
    RT_CLASS(CPMediaStatusViewSingleMessage, CPMediaStatusView)
public:
    using CPMediaStatusView::CPMediaStatusView;

    const rt::Ref<ui::Label>& message() const { return mainLabel(); }

protected:
    void didInitialize() override;
};

}  // namespace zid
