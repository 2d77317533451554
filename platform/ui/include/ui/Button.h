#pragma once
// A button: a control with a title, title colour, image and background image per
// state. A value set for a combination of states is used in exactly that state; a
// state with no value of its own shows the normal state's.

#include <rt/MainThread.h>
#include <map>
#include <optional>

#include <ui/Control.h>
#include <ui/Image.h>
#include <ui/ImageView.h>
#include <ui/Label.h>

namespace ui {

enum class ButtonType { Custom = 0, System = 1 };

class Button : public Control {
    RT_CLASS(Button, Control)
public:
    explicit Button(const Rect& frame = Rect());
    static rt::Ref<Button> buttonWithType(ButtonType type);

    ButtonType buttonType() const { RT_MAIN_THREAD_ONLY(); return type_; }

    void setTitle(std::optional<std::string> title, unsigned state);
    std::optional<std::string> titleForState(unsigned state) const;
    void setTitleColor(rt::Ref<Color> color, unsigned state);
    rt::Ref<Color> titleColorForState(unsigned state) const;
    void setImage(rt::Ref<Image> image, unsigned state);
    rt::Ref<Image> imageForState(unsigned state) const;
    void setBackgroundImage(rt::Ref<Image> image, unsigned state);
    rt::Ref<Image> backgroundImageForState(unsigned state) const;

    /// What the current state shows.
    std::optional<std::string> currentTitle() const { RT_MAIN_THREAD_ONLY(); return titleForState(state()); }
    rt::Ref<Color> currentTitleColor() const { RT_MAIN_THREAD_ONLY(); return titleColorForState(state()); }
    rt::Ref<Image> currentImage() const { RT_MAIN_THREAD_ONLY(); return imageForState(state()); }
    rt::Ref<Image> currentBackgroundImage() const { RT_MAIN_THREAD_ONLY(); return backgroundImageForState(state()); }

    rt::Ref<Label> titleLabel();
    rt::Ref<ImageView> imageView();

    EdgeInsets contentEdgeInsets() const { RT_MAIN_THREAD_ONLY(); return contentInsets_; }
    void setContentEdgeInsets(EdgeInsets insets);

    /// Image then title side by side, plus the content insets.
    Size sizeThatFits(Size size) const override;
    void layoutSubviews() override;

    void setEnabled(bool enabled) override;
    void setSelected(bool selected) override;
    void setHighlighted(bool highlighted) override;

private:
    template <class T> static T lookup(const std::map<unsigned, T>& map, unsigned state) {
        auto it = map.find(state);
        if (it != map.end()) return it->second;
        it = map.find(ControlState::Normal);
        return it != map.end() ? it->second : T{};
    }
    void refresh();

    ButtonType type_ = ButtonType::Custom;
    std::map<unsigned, std::optional<std::string>> titles_;
    std::map<unsigned, rt::Ref<Color>> titleColors_;
    std::map<unsigned, rt::Ref<Image>> images_;
    std::map<unsigned, rt::Ref<Image>> backgrounds_;
    rt::Ref<Label> titleLabel_;
    rt::Ref<ImageView> imageView_;
    rt::Ref<ImageView> backgroundView_;
    EdgeInsets contentInsets_;
};

}  // namespace ui
