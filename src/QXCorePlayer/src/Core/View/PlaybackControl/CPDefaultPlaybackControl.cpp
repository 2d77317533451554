#include "CPDefaultPlaybackControl.h"

namespace zid {

void CPDefaultPlaybackControl::didInitialize() {
    CPToolbarPlaybackControl::didInitialize();
    setTopToolbarHeight(kBarHeight);
    setBottomToolbarHeight(kBarHeight);
    bottomToolbar()->setContentInsets(ui::EdgeInsets{58, 15, 0, 15});
    topToolbar()->setContentInsets(ui::EdgeInsets{10, 10, 56, 10});
    auto details = contentDetailsItem();
    details->setToolbarAutoresizingMask(QXToolbarItemAutoresizing::FlexibleWidth);
    topToolbar()->setToolbarItems({details}, false);
    bottomToolbar()->setToolbarItems(bottomItems(), false);
}

void CPDefaultPlaybackControl::configureGestures() {
    // One double-tap recognizer only: a second one would toggle the aspect fill back.
    CPToolbarPlaybackControl::configureGestures();
    addDownSwipeRecognizer();
    addUpSwipeRecognizer();
}

rt::Ref<ui::TapGestureRecognizer> CPDefaultPlaybackControl::addDoubleTapRecognizer() {
    auto recognizer = CPToolbarPlaybackControl::addDoubleTapRecognizer();
    recognizer->setCancelsTouchesInView(false);
    return recognizer;
}

rt::Ref<ui::SwipeGestureRecognizer> CPDefaultPlaybackControl::addDownSwipeRecognizer() {
    return addSwipeRecognizer(ui::SwipeDirection::Down, true);
}

rt::Ref<ui::SwipeGestureRecognizer> CPDefaultPlaybackControl::addUpSwipeRecognizer() {
    return addSwipeRecognizer(ui::SwipeDirection::Up, false);
}

rt::Ref<ui::SwipeGestureRecognizer> CPDefaultPlaybackControl::addSwipeRecognizer(unsigned direction,
                                                                                 bool showConsole) {
    rt::Weak<CPDefaultPlaybackControl> weak = selfAs<CPDefaultPlaybackControl>();
    auto recognizer = rt::make<ui::SwipeGestureRecognizer>();
    recognizer->setDirection(direction);
    recognizer->setNumberOfTouchesRequired(2);
    recognizer->addTarget(nullptr, showConsole ? "handleDownSwipeFrom:" : "handleUpSwipeFrom:",
                          [weak, showConsole](ui::GestureRecognizer& r) {
                              auto self = weak.lock();
                              if (!self) return;
                              if (showConsole) self->handleDownSwipeFrom(r);
                              else self->handleUpSwipeFrom(r);
                          });
    addGestureRecognizer(recognizer);
    return recognizer;
}

void CPDefaultPlaybackControl::handleDownSwipeFrom(ui::GestureRecognizer&) {
    if (auto player = mediaPlayer()) player->setShowDebugConsole(true);
}

void CPDefaultPlaybackControl::handleUpSwipeFrom(ui::GestureRecognizer&) {
    if (auto player = mediaPlayer()) player->setShowDebugConsole(false);
}

}  // namespace zid
