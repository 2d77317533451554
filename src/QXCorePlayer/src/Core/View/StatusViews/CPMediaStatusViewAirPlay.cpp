#include "CPMediaStatusViewAirPlay.h"

#include <QXUIKit/Extensions/FontSystemFont.h>
#include <ui/Color.h>

namespace zid {

rt::Ref<CPMediaStatusViewAirPlay> CPMediaStatusViewAirPlay::statusViewWithFrame(const ui::Rect& frame,
                                                                               const std::string& title,
                                                                               const std::string& message) {
    auto view = rt::make<CPMediaStatusViewAirPlay>(frame);
    view->title_->setText(title);
    view->message_->setText(message);
    return view;
}

void CPMediaStatusViewAirPlay::didInitialize() {
    CPMediaStatusView::didInitialize();
    icon_ = makeIcon("player_airplay_display_normal.png", ui::ContentMode::ScaleToFill);
    title_ = makeLabel(ui::Rect(0, 99, 401, 17));
    title_->setTextColor(ui::Color::white(0.333, 1));
    title_->setFont(qx_systemFontOfSize(13, 6));
    message_ = makeLabel(ui::Rect(0, 119, 401, 19));
    message_->setTextColor(ui::Color::white(0.667, 1));
    buildDesign(ui::Rect(0, 0, 401, 138), {icon_, title_, message_});
}

}  // namespace zid
