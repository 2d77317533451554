#pragma once
// The size text takes within a maximum size, rounded outwards to whole points.

#include <string>

#include <ui/Text.h>

namespace zid {

ui::Size boundingSizeWithAttributes(const std::string& text, const ui::TextAttributes& attributes, ui::Size size);
ui::Size boundingSizeWithFont(const std::string& text, const rt::Ref<ui::Font>& font, ui::Size size);

}  // namespace zid
