#pragma once
// Bar items: what navigation bars, toolbars and tab bars show. A bar button item sends
// its one action to its target when pressed; its view (a button, or the custom view)
// is made by the bar that shows it.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <ui/Button.h>
#include <rt/MainThread.h>

namespace ui {

class BarItem : public rt::Object {
    RT_CLASS(BarItem, rt::Object)
private:
    std::string title_;
    rt::Ref<Image> image_;
    bool enabled_ = true;
    long tag_ = 0;

public:
    static constexpr rt::Key<BarItem, std::string> titleKey{"title", &BarItem::title_};
    static constexpr rt::Key<BarItem, rt::Ref<Image>> imageKey{"image", &BarItem::image_};
    static constexpr rt::Key<BarItem, bool> enabledKey{"enabled", &BarItem::enabled_};
    static void describe(rt::ClassBuilder<BarItem>& c);

    std::string title() const { RT_MAIN_THREAD_ONLY(); return title_; }
    virtual void setTitle(std::string t) { RT_MAIN_THREAD_ONLY(); titleKey.set(*this, std::move(t)); }
    rt::Ref<Image> image() const { RT_MAIN_THREAD_ONLY(); return image_; }
    virtual void setImage(rt::Ref<Image> i) { RT_MAIN_THREAD_ONLY(); imageKey.set(*this, std::move(i)); }
    bool isEnabled() const { RT_MAIN_THREAD_ONLY(); return enabled_; }
    virtual void setEnabled(bool e) { RT_MAIN_THREAD_ONLY(); enabledKey.set(*this, e); }
    long tag() const { RT_MAIN_THREAD_ONLY(); return tag_; }
    void setTag(long t) { RT_MAIN_THREAD_ONLY(); tag_ = t; }
};

enum class BarButtonItemStyle { Plain = 0, Bordered = 1, Done = 2 };

/// The standard items a bar offers; an item made from one shows its English title.
enum class BarButtonSystemItem {
    Done = 0, Cancel = 1, Edit = 2, Save = 3, Add = 4, FlexibleSpace = 5, FixedSpace = 6, Compose = 7,
    Reply = 8, Action = 9, Organize = 10, Bookmarks = 11, Search = 12, Refresh = 13, Stop = 14, Camera = 15,
    Trash = 16, Play = 17, Pause = 18, Rewind = 19, FastForward = 20, Undo = 21, Redo = 22, PageCurl = 23,
    Close = 24
};

class BarButtonItem : public BarItem {
    RT_CLASS(BarButtonItem, BarItem)
public:
    using Action = std::function<void(const rt::Ref<BarButtonItem>& sender)>;

    BarButtonItem() = default;
    BarButtonItem(std::string title, BarButtonItemStyle style);
    explicit BarButtonItem(rt::Ref<View> customView);
    /// A standard item; an unknown kind gets an empty title. Done is drawn as the done style.
    explicit BarButtonItem(BarButtonSystemItem item);
    static void describe(rt::ClassBuilder<BarButtonItem>& c);

    BarButtonItemStyle style() const { RT_MAIN_THREAD_ONLY(); return style_; }
    /// The standard kind the item was made from, if it was.
    std::optional<BarButtonSystemItem> systemItem() const { RT_MAIN_THREAD_ONLY(); return systemItem_; }
    void setStyle(BarButtonItemStyle s) { RT_MAIN_THREAD_ONLY(); style_ = s; }
    rt::Ref<View> customView() const { RT_MAIN_THREAD_ONLY(); return customView_; }
    void setCustomView(rt::Ref<View> v) { RT_MAIN_THREAD_ONLY(); customView_ = std::move(v); }

    /// The target is weak; a press with a gone target does nothing. An item without a
    /// target still runs its action.
    rt::Ref<rt::Object> target() const { RT_MAIN_THREAD_ONLY(); return target_.lock(); }
    void setTarget(const rt::Ref<rt::Object>& target);
    /// The action's name ("" for none) and what it does.
    const std::string& action() const { RT_MAIN_THREAD_ONLY(); return actionName_; }
    const Action& actionBlock() const { RT_MAIN_THREAD_ONLY(); return action_; }
    void setAction(std::string name, Action action);

    /// Sends the action, as a press on the item's view does (when enabled).
    void press();

    /// The view a bar shows: the custom view, or a button made once that presses the item.
    rt::Ref<View> itemView();
    void setEnabled(bool e) override;
    void setTitle(std::string t) override;
    void setImage(rt::Ref<Image> i) override;

private:
    void refreshButton();
    BarButtonItemStyle style_ = BarButtonItemStyle::Plain;
    std::optional<BarButtonSystemItem> systemItem_;
    rt::Ref<View> customView_;
    rt::Weak<rt::Object> target_;
    bool hasTarget_ = false;
    std::string actionName_;
    Action action_;
    rt::Ref<Button> button_;
};

/// What a navigation bar shows for one controller.
class NavigationItem : public rt::Object {
    RT_CLASS(NavigationItem, rt::Object)
private:
    std::string title_;

public:
    static constexpr rt::Key<NavigationItem, std::string> titleKey{"title", &NavigationItem::title_};
    NavigationItem() = default;
    explicit NavigationItem(std::string title) : title_(std::move(title)) {}
    static void describe(rt::ClassBuilder<NavigationItem>& c);

    std::string title() const { RT_MAIN_THREAD_ONLY(); return title_; }
    void setTitle(std::string t) { RT_MAIN_THREAD_ONLY(); titleKey.set(*this, std::move(t)); }
    rt::Ref<View> titleView() const { RT_MAIN_THREAD_ONLY(); return titleView_; }
    void setTitleView(rt::Ref<View> v) { RT_MAIN_THREAD_ONLY(); titleView_ = std::move(v); }
    rt::Ref<BarButtonItem> leftBarButtonItem() const {
        RT_MAIN_THREAD_ONLY();
        return left_.empty() ? nullptr : left_.front();
    }
    void setLeftBarButtonItem(rt::Ref<BarButtonItem> item);
    rt::Ref<BarButtonItem> rightBarButtonItem() const {
        RT_MAIN_THREAD_ONLY();
        return right_.empty() ? nullptr : right_.front();
    }
    void setRightBarButtonItem(rt::Ref<BarButtonItem> item);
    const std::vector<rt::Ref<BarButtonItem>>& leftBarButtonItems() const { RT_MAIN_THREAD_ONLY(); return left_; }
    void setLeftBarButtonItems(std::vector<rt::Ref<BarButtonItem>> items) {
        RT_MAIN_THREAD_ONLY();
        left_ = std::move(items);
    }
    const std::vector<rt::Ref<BarButtonItem>>& rightBarButtonItems() const { RT_MAIN_THREAD_ONLY(); return right_; }
    void setRightBarButtonItems(std::vector<rt::Ref<BarButtonItem>> items) {
        RT_MAIN_THREAD_ONLY();
        right_ = std::move(items);
    }
    rt::Ref<BarButtonItem> backBarButtonItem() const { RT_MAIN_THREAD_ONLY(); return back_; }
    void setBackBarButtonItem(rt::Ref<BarButtonItem> item) { RT_MAIN_THREAD_ONLY(); back_ = std::move(item); }
    bool hidesBackButton() const { RT_MAIN_THREAD_ONLY(); return hidesBackButton_; }
    void setHidesBackButton(bool h) { RT_MAIN_THREAD_ONLY(); hidesBackButton_ = h; }

private:
    rt::Ref<View> titleView_;
    std::vector<rt::Ref<BarButtonItem>> left_, right_;
    rt::Ref<BarButtonItem> back_;
    bool hidesBackButton_ = false;
};

/// What a tab bar shows for one controller.
class TabBarItem : public BarItem {
    RT_CLASS(TabBarItem, BarItem)
public:
    TabBarItem() = default;
    TabBarItem(std::string title, rt::Ref<Image> image, long tag);
    rt::Ref<Image> selectedImage() const { RT_MAIN_THREAD_ONLY(); return selectedImage_; }
    void setSelectedImage(rt::Ref<Image> i) { RT_MAIN_THREAD_ONLY(); selectedImage_ = std::move(i); }
    std::optional<std::string> badgeValue() const { RT_MAIN_THREAD_ONLY(); return badge_; }
    void setBadgeValue(std::optional<std::string> b) { RT_MAIN_THREAD_ONLY(); badge_ = std::move(b); }

private:
    rt::Ref<Image> selectedImage_;
    std::optional<std::string> badge_;
};

}  // namespace ui
