#pragma once
// The view ads are shown in, with optional companion slots (views for companion ads).
#include <ui/View.h>

#include <vector>

namespace ima {

class AdDisplayContainer : public rt::Object {
    RT_CLASS(AdDisplayContainer, rt::Object)
public:
    AdDisplayContainer(rt::Ref<ui::View> adContainer, std::vector<rt::Ref<ui::View>> companionSlots = {})
        : adContainer_(std::move(adContainer)), companionSlots_(std::move(companionSlots)) {}

    const rt::Ref<ui::View>& adContainer() const { return adContainer_; }
    const std::vector<rt::Ref<ui::View>>& companionSlots() const { return companionSlots_; }

private:
    rt::Ref<ui::View> adContainer_;
    std::vector<rt::Ref<ui::View>> companionSlots_;
};

}  // namespace ima
