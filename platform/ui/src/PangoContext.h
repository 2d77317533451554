#pragma once
// The toolkit's private Pango set-up: a font map over the pinned fontconfig
// configuration, one context with fixed font options, and the lock every Pango call
// of the library takes (Pango objects are not thread-safe).

#include <mutex>

#include <pango/pangocairo.h>

namespace ui::detail {

std::recursive_mutex& pangoLock();
/// The shared context (created on first use, never released). Call under pangoLock().
PangoContext* pangoContext();
/// A font description for a toolkit font (caller frees).
PangoFontDescription* fontDescription(double pointSize, int numericWeight);
/// A new attribute list for a layout of the toolkit (caller unrefs). Pango hyphenates
/// lines it breaks inside a word; the toolkit's text never shows characters that are
/// not in the string, so the list turns that off for the whole text.
PangoAttrList* newAttributeList();

}  // namespace ui::detail
