#pragma once
// Includes no base and nothing else, yet uses <string>.
namespace ui {
inline std::string title() { return {}; }
}  // namespace ui
