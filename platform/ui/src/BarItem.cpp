#include <ui/BarItem.h>

#include <iterator>

namespace ui {

void BarItem::describe(rt::ClassBuilder<BarItem>& c) {
    c.mainThreadOnly();
    c.property(titleKey, &BarItem::setTitle);
    c.property(imageKey, &BarItem::setImage);
    c.property(enabledKey, &BarItem::setEnabled);
}

BarButtonItem::BarButtonItem(std::string title, BarButtonItemStyle style) : style_(style) {
    BarItem::setTitle(std::move(title));
}

BarButtonItem::BarButtonItem(rt::Ref<View> customView) : customView_(std::move(customView)) {}

BarButtonItem::BarButtonItem(BarButtonSystemItem item) : systemItem_(item) {
    static const char* const titles[] = {"Done",    "Cancel",   "Edit",    "Save",         "Add",    "",
                                         "",        "Compose",  "Reply",   "Action",       "Organize", "Bookmarks",
                                         "Search",  "Refresh",  "Stop",    "Camera",       "Trash",  "Play",
                                         "Pause",   "Rewind",   "Fast Forward", "Undo",    "Redo",   "Page Curl",
                                         "Close"};
    auto index = static_cast<std::size_t>(item);
    if (index < std::size(titles)) BarItem::setTitle(titles[index]);
    if (item == BarButtonSystemItem::Done) style_ = BarButtonItemStyle::Done;
}

void BarButtonItem::describe(rt::ClassBuilder<BarButtonItem>& c) {
    c.readonly("target", [](const BarButtonItem& i) { return rt::Value(i.target()); });
    c.readonly("action", [](const BarButtonItem& i) { return rt::Value(i.actionName_); });
}

void BarButtonItem::setTarget(const rt::Ref<rt::Object>& target) {
    RT_MAIN_THREAD_ONLY();
    target_ = target;
    hasTarget_ = bool(target);
}

void BarButtonItem::setAction(std::string name, Action action) {
    RT_MAIN_THREAD_ONLY();
    actionName_ = std::move(name);
    action_ = std::move(action);
}

void BarButtonItem::press() {
    RT_MAIN_THREAD_ONLY();
    if (!isEnabled() || !action_) return;
    if (hasTarget_ && target_.expired()) return;
    auto keep = selfAs<BarButtonItem>();
    auto action = action_;  // the action may replace itself
    action(keep);
}

rt::Ref<View> BarButtonItem::itemView() {
    RT_MAIN_THREAD_ONLY();
    if (customView_) return customView_;
    if (!button_) {
        button_ = Button::buttonWithType(ButtonType::System);
        rt::Weak<BarButtonItem> weak = selfAs<BarButtonItem>();
        button_->addTarget(nullptr, "press", ControlEvents::TouchUpInside, [weak](const rt::Ref<Control>&) {
            if (auto item = weak.lock()) item->press();
        });
        refreshButton();
    }
    return button_;
}

void BarButtonItem::refreshButton() {
    if (!button_) return;
    button_->setTitle(title().empty() ? std::nullopt : std::optional<std::string>(title()), ControlState::Normal);
    button_->setImage(image(), ControlState::Normal);
    button_->setEnabled(isEnabled());
    button_->sizeToFit();
}

void BarButtonItem::setEnabled(bool e) {
    RT_MAIN_THREAD_ONLY();
    BarItem::setEnabled(e);
    refreshButton();
}
void BarButtonItem::setTitle(std::string t) {
    RT_MAIN_THREAD_ONLY();
    BarItem::setTitle(std::move(t));
    refreshButton();
}
void BarButtonItem::setImage(rt::Ref<Image> i) {
    RT_MAIN_THREAD_ONLY();
    BarItem::setImage(std::move(i));
    refreshButton();
}

void NavigationItem::describe(rt::ClassBuilder<NavigationItem>& c) {
    c.mainThreadOnly();
    c.property(titleKey);
}

void NavigationItem::setLeftBarButtonItem(rt::Ref<BarButtonItem> item) {
    RT_MAIN_THREAD_ONLY();
    left_.clear();
    if (item) left_.push_back(std::move(item));
}

void NavigationItem::setRightBarButtonItem(rt::Ref<BarButtonItem> item) {
    RT_MAIN_THREAD_ONLY();
    right_.clear();
    if (item) right_.push_back(std::move(item));
}

TabBarItem::TabBarItem(std::string title, rt::Ref<Image> image, long tag) {
    setTitle(std::move(title));
    setImage(std::move(image));
    setTag(tag);
}

}  // namespace ui
