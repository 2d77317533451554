#include <ui/Screen.h>

#include <algorithm>

#include <fnd/NotificationCenter.h>

namespace ui {

namespace {
std::vector<rt::Ref<Screen>>& connected() {
    static auto* list = new std::vector<rt::Ref<Screen>>{rt::make<Screen>(Rect(0, 0, 1280, 720), 1.0)};
    return *list;
}
}  // namespace

Screen::Screen(const Rect& bounds, double scale) : bounds_(bounds), scale_(scale > 0 ? scale : 1) {}

rt::Ref<Screen> Screen::mainScreen() {
    RT_MAIN_THREAD_ONLY_CALL("Screen::mainScreen");
    return connected().front();
}

std::vector<rt::Ref<Screen>> Screen::screens() {
    RT_MAIN_THREAD_ONLY_CALL("Screen::screens");
    return connected();
}

void Screen::connect(const rt::Ref<Screen>& screen) {
    RT_MAIN_THREAD_ONLY_CALL("Screen::connect");
    auto& list = connected();
    if (!screen || std::find(list.begin(), list.end(), screen) != list.end()) return;
    list.push_back(screen);
    fnd::NotificationCenter::defaultCenter()->post(ScreenDidConnectNotification, screen);
}

void Screen::disconnect(const rt::Ref<Screen>& screen) {
    RT_MAIN_THREAD_ONLY_CALL("Screen::disconnect");
    auto& list = connected();
    auto it = std::find(list.begin(), list.end(), screen);
    if (it == list.end() || it == list.begin()) return;
    list.erase(it);
    fnd::NotificationCenter::defaultCenter()->post(ScreenDidDisconnectNotification, screen);
}

}  // namespace ui
