#pragma once
// A modal date-picking panel laid over any view: a dimmed backdrop filling the view
// with a rounded 300 x 260 panel in its middle, a navigation bar (title, cancel on the
// left, done on the right) above a date picker. It zooms in when shown and out when
// dismissed, and reports through one callback after it has left the screen: the
// picker's date on done, nothing (nullopt) on cancel.

#include <functional>
#include <optional>
#include <string>

#include <ui/BarItem.h>
#include <ui/DatePicker.h>
#include <ui/NavigationController.h>
#include <rt/MainThread.h>
#include <rt/Property.h>
#include <ui/View.h>

namespace zid {

class QXDatePickerView : public ui::View {
    RT_CLASS(QXDatePickerView, ui::View)
private:  // fields first: each key names its field
    std::string title_;
    std::string cancelTitle_;
    std::string doneTitle_;

public:
    static constexpr rt::Stored<&QXDatePickerView::title_, "title", rt::writable> titleKey{};
    static constexpr rt::Stored<&QXDatePickerView::cancelTitle_, "cancelTitle", rt::writable> cancelTitleKey{};
    static constexpr rt::Stored<&QXDatePickerView::doneTitle_, "doneTitle", rt::writable> doneTitleKey{};
    static constexpr double kPanelWidth = 300;
    static constexpr double kPanelHeight = 260;
    /// The panel's scale when the show animation starts; dismissing shrinks it by the same.
    static constexpr double kZoomScale = 1.26;

    using Callback = std::function<void(std::optional<rt::Date> date)>;
    using Completion = std::function<void()>;

    explicit QXDatePickerView(const ui::Rect& frame = ui::Rect());
    static void describe(rt::ClassBuilder<QXDatePickerView>& c);

    double animationDuration() const { RT_MAIN_THREAD_ONLY(); return animationDuration_; }
    void setAnimationDuration(double d) { RT_MAIN_THREAD_ONLY(); animationDuration_ = d; }
    const rt::Ref<ui::View>& contentView() const { RT_MAIN_THREAD_ONLY(); return contentView_; }
    const rt::Ref<ui::DatePicker>& datePicker() const { RT_MAIN_THREAD_ONLY(); return datePicker_; }
    const rt::Ref<ui::NavigationBar>& navigationBar() const { RT_MAIN_THREAD_ONLY(); return navigationBar_; }
    const rt::Ref<ui::NavigationItem>& navigationItem() const { RT_MAIN_THREAD_ONLY(); return navigationItem_; }
    const rt::Ref<ui::BarButtonItem>& cancelBarButtonItem() const {
        RT_MAIN_THREAD_ONLY();
        return cancelBarButtonItem_;
    }
    const rt::Ref<ui::BarButtonItem>& doneBarButtonItem() const { RT_MAIN_THREAD_ONLY(); return doneBarButtonItem_; }

    ui::DatePickerMode datePickerMode() const { RT_MAIN_THREAD_ONLY(); return datePickerMode_; }
    void setDatePickerMode(ui::DatePickerMode mode);
    const std::optional<rt::Date>& minimumDate() const { RT_MAIN_THREAD_ONLY(); return minimumDate_; }
    void setMinimumDate(std::optional<rt::Date> date);
    const std::optional<rt::Date>& maximumDate() const { RT_MAIN_THREAD_ONLY(); return maximumDate_; }
    void setMaximumDate(std::optional<rt::Date> date);
    /// Nullopt until set or until the picker is moved; follows the picker.
    const std::optional<rt::Date>& date() const { RT_MAIN_THREAD_ONLY(); return date_; }
    /// Leaves everything alone for an equal date; otherwise stores it and moves the picker.
    void setDate(std::optional<rt::Date> date);

    const Callback& callback() const { RT_MAIN_THREAD_ONLY(); return callback_; }
    void setCallback(Callback cb) { RT_MAIN_THREAD_ONLY(); callback_ = std::move(cb); }
    /// Hides the cancel button from the next showing on; the title and done stay.
    bool isCancelDisabled() const { RT_MAIN_THREAD_ONLY(); return cancelDisabled_; }
    void setCancelDisabled(bool disabled) { RT_MAIN_THREAD_ONLY(); cancelDisabled_ = disabled; }

    const std::string& title() const { RT_MAIN_THREAD_ONLY(); return title_; }
    void setTitle(std::string t) { RT_MAIN_THREAD_ONLY(); titleKey.set(*this, std::move(t)); }
    const std::string& cancelTitle() const { RT_MAIN_THREAD_ONLY(); return cancelTitle_; }
    void setCancelTitle(std::string t) { RT_MAIN_THREAD_ONLY(); cancelTitleKey.set(*this, std::move(t)); }
    const std::string& doneTitle() const { RT_MAIN_THREAD_ONLY(); return doneTitle_; }
    void setDoneTitle(std::string t) { RT_MAIN_THREAD_ONLY(); doneTitleKey.set(*this, std::move(t)); }

    /// Fills the view's bounds, zooms the panel in from 1.26 and fades the backdrop in.
    void showInView(const rt::Ref<ui::View>& view, Completion completion = {});
    /// Zooms the panel out and fades away, then leaves the superview and completes.
    void dismissWithCompletion(Completion completion = {});
    /// The bar buttons' actions.
    void done();
    void cancel();

    void layoutSubviews() override;

protected:
    void didInitialize() override;

private:
    void createSubviews();
    void applyCancelDisabled();

    double animationDuration_ = 0.35;
    rt::Ref<ui::View> contentView_;
    rt::Ref<ui::DatePicker> datePicker_;
    rt::Ref<ui::NavigationBar> navigationBar_;
    rt::Ref<ui::NavigationItem> navigationItem_;
    rt::Ref<ui::BarButtonItem> cancelBarButtonItem_;
    rt::Ref<ui::BarButtonItem> doneBarButtonItem_;
    ui::DatePickerMode datePickerMode_ = ui::DatePickerMode::Time;
    std::optional<rt::Date> minimumDate_, maximumDate_, date_;
    Callback callback_;
    bool cancelDisabled_ = false;
};

}  // namespace zid
