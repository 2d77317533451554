#include <ui/Text.h>

#include <cairo.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <mutex>

#include <fontconfig/fontconfig.h>
#include <pango/pangofc-fontmap.h>

#include <fnd/Bundle.h>
#include <fnd/Paths.h>

#include "KeptText.h"
#include "PangoContext.h"
#include "CairoDrawing.h"

namespace ui {

// ---- the pinned font configuration -----------------------------------------------------

namespace {

std::string findConfigurationFile() {
    namespace fs = std::filesystem;
    std::vector<std::string> candidates;
    if (const char* own = std::getenv("ZID_UI_FONTCONFIG_FILE")) candidates.emplace_back(own);
    // The project's resource folder, wherever it is (fnd::Bundle decides for every resource).
    if (std::string resources = fnd::Bundle::resourceDirectory(); !resources.empty())
        candidates.push_back(fnd::joinPath(resources, "fonts/fonts.conf"));
    for (const auto& c : candidates) {
        std::error_code ec;
        if (!c.empty() && fs::is_regular_file(c, ec)) return fs::weakly_canonical(c, ec).string();
    }
    return {};
}

struct PangoState {
    std::string file;
    PangoFontMap* fontMap = nullptr;
    PangoContext* context = nullptr;
};

PangoState& state() {
    // Made once and never released: fonts are used until the process ends.
    static PangoState* s = [] {
        auto* st = new PangoState;
        st->file = findConfigurationFile();
        if (!st->file.empty()) {
            // Fontconfig reads this at its first initialisation; the toolkit's own font
            // map below also gets a configuration made from the file explicitly, so the
            // pin holds even when the host initialised fontconfig before us.
            ::setenv("FONTCONFIG_FILE", st->file.c_str(), 1);
        }
        st->fontMap = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
        if (!st->file.empty() && st->fontMap && PANGO_IS_FC_FONT_MAP(st->fontMap)) {
            FcConfig* config = FcConfigCreate();
            if (FcConfigParseAndLoad(config, reinterpret_cast<const FcChar8*>(st->file.c_str()), FcTrue) &&
                FcConfigBuildFonts(config)) {
                pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(st->fontMap), config);
            }
            FcConfigDestroy(config);  // the font map holds its own reference
        }
        if (!st->fontMap) st->fontMap = pango_cairo_font_map_get_default();
        pango_cairo_font_map_set_resolution(PANGO_CAIRO_FONT_MAP(st->fontMap), 72.0);
        st->context = pango_font_map_create_context(st->fontMap);
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_subpixel_order(options, CAIRO_SUBPIXEL_ORDER_DEFAULT);
        pango_cairo_context_set_font_options(st->context, options);
        cairo_font_options_destroy(options);
        pango_context_set_round_glyph_positions(st->context, FALSE);
        return st;
    }();
    return *s;
}

}  // namespace

namespace detail {
std::recursive_mutex& pangoLock() {
    static auto* m = new std::recursive_mutex;
    return *m;
}
PangoContext* pangoContext() { return state().context; }
PangoFontDescription* fontDescription(double pointSize, int numericWeight) {
    PangoFontDescription* d = pango_font_description_new();
    pango_font_description_set_family(d, Font::familyName());
    pango_font_description_set_absolute_size(d, pointSize * PANGO_SCALE);
    pango_font_description_set_weight(d, static_cast<PangoWeight>(numericWeight));
    return d;
}
PangoAttrList* newAttributeList() {
    PangoAttrList* attrs = pango_attr_list_new();
    pango_attr_list_insert(attrs, pango_attr_insert_hyphens_new(FALSE));  // covers every index
    return attrs;
}
}  // namespace detail

void ensureFontConfiguration() { (void)state(); }
std::string fontConfigurationFile() { return state().file; }

// ---- attributed strings -----------------------------------------------------------------

AttributedString::AttributedString(std::string t, TextAttributes attributes) : text(std::move(t)) {
    runs.push_back({0, text.size(), std::move(attributes)});
}
void AttributedString::addAttributes(std::size_t start, std::size_t length, TextAttributes attributes) {
    runs.push_back({start, length, std::move(attributes)});
}
TextAttributes AttributedString::firstAttributes() const { return runs.empty() ? TextAttributes{} : runs.front().attributes; }

// ---- layout -------------------------------------------------------------------------------

namespace {

guint16 channel(double v) { return static_cast<guint16>(std::lround(v * 65535.0)); }

struct Laid {
    PangoLayout* layout = nullptr;
    int lineCount = 0;      // lines kept
    double height = 0;      // height of the kept lines
    double width = 0;       // widest kept line (logical)
    ~Laid() {
        if (layout) g_object_unref(layout);
    }
};

bool finite(double v) { return std::isfinite(v) && v > 0; }

/// Inserts `a` to cover the bytes [start, end) of the text.
void insertRanged(PangoAttrList* attrs, PangoAttribute* a, guint start, guint end) {
    a->start_index = start;
    a->end_index = end;
    pango_attr_list_insert(attrs, a);
}

/// The runs' fonts and colours as Pango attributes on the layout.
void applyRunAttributes(PangoLayout* layout, const AttributedString& text) {
    PangoAttrList* attrs = detail::newAttributeList();
    for (const auto& run : text.runs) {
        auto start = static_cast<guint>(std::min(run.start, text.text.size()));
        auto end = static_cast<guint>(std::min(run.start + run.length, text.text.size()));
        if (run.attributes.font) {
            PangoFontDescription* d =
                detail::fontDescription(run.attributes.font->pointSize(), run.attributes.font->numericWeight());
            PangoAttribute* a = pango_attr_font_desc_new(d);
            pango_font_description_free(d);
            insertRanged(attrs, a, start, end);
        }
        if (run.attributes.foregroundColor) {
            const auto& c = *run.attributes.foregroundColor;
            insertRanged(attrs, pango_attr_foreground_new(channel(c.red()), channel(c.green()), channel(c.blue())),
                         start, end);
            insertRanged(attrs, pango_attr_foreground_alpha_new(std::max<guint16>(1, channel(c.alpha()))), start,
                         end);
        }
        if (run.attributes.backgroundColor) {
            const auto& c = *run.attributes.backgroundColor;
            insertRanged(attrs, pango_attr_background_new(channel(c.red()), channel(c.green()), channel(c.blue())),
                         start, end);
        }
    }
    pango_layout_set_attributes(layout, attrs);
    pango_attr_list_unref(attrs);
}

void applyAlignment(PangoLayout* layout, TextAlignment alignment) {
    switch (alignment) {
    case TextAlignment::Center: pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER); break;
    case TextAlignment::Right: pango_layout_set_alignment(layout, PANGO_ALIGN_RIGHT); break;
    case TextAlignment::Justified:
        pango_layout_set_justify(layout, TRUE);
        pango_layout_set_alignment(layout, PANGO_ALIGN_LEFT);
        break;
    default: pango_layout_set_alignment(layout, PANGO_ALIGN_LEFT); break;
    }
}

PangoEllipsizeMode ellipsizeModeOf(LineBreakMode mode) {
    switch (mode) {
    case LineBreakMode::TruncatingHead: return PANGO_ELLIPSIZE_START;
    case LineBreakMode::TruncatingMiddle: return PANGO_ELLIPSIZE_MIDDLE;
    case LineBreakMode::TruncatingTail: return PANGO_ELLIPSIZE_END;
    default: return PANGO_ELLIPSIZE_NONE;
    }
}

/// Wrapping, clipping and ellipsizing within a finite width; without one the text is laid on unbroken lines.
void applyLineBreaking(PangoLayout* layout, LineBreakMode mode, Size constraint, const TextLayout& opts) {
    if (!finite(constraint.width)) return;
    bool single = opts.numberOfLines == 1;
    pango_layout_set_width(layout, static_cast<int>(std::floor(constraint.width * PANGO_SCALE)));
    pango_layout_set_wrap(layout, mode == LineBreakMode::CharWrapping ? PANGO_WRAP_CHAR : PANGO_WRAP_WORD_CHAR);
    PangoEllipsizeMode ell = ellipsizeModeOf(mode);
    if (single && ell == PANGO_ELLIPSIZE_NONE && mode != LineBreakMode::WordWrapping &&
        mode != LineBreakMode::CharWrapping) {
        pango_layout_set_width(layout, -1);  // clipping: one line, cut by the rectangle
    }
    // Ellipsizing needs to know where the text ends: the line limit, else the
    // height; with neither, the text is not cut.
    if (ell != PANGO_ELLIPSIZE_NONE) {
        if (opts.numberOfLines > 0) pango_layout_set_height(layout, -opts.numberOfLines);
        else if (finite(constraint.height))
            pango_layout_set_height(layout, static_cast<int>(constraint.height * PANGO_SCALE));
        else ell = PANGO_ELLIPSIZE_NONE;
    }
    pango_layout_set_ellipsize(layout, ell);
    if (single && ell == PANGO_ELLIPSIZE_NONE) pango_layout_set_width(layout, -1);
}

/// Keeps the lines that fit the line limit and the height (the first always counts) and measures them.
void measureKeptLines(Laid& out, const AttributedString& text, Size constraint, const TextLayout& opts) {
    int total = pango_layout_get_line_count(out.layout);
    int limit = opts.numberOfLines > 0 ? std::min(total, opts.numberOfLines) : total;
    double maxHeight = finite(constraint.height) ? constraint.height : kInfinity;
    int kept = 0;
    double height = 0, width = 0;
    PangoLayoutIter* it = pango_layout_get_iter(out.layout);
    for (int i = 0; i < limit; ++i) {
        int y0 = 0, y1 = 0;
        pango_layout_iter_get_line_yrange(it, &y0, &y1);
        PangoRectangle logical;
        pango_layout_iter_get_line_extents(it, nullptr, &logical);
        double bottom = y1 / double(PANGO_SCALE);
        if (kept > 0 && bottom > maxHeight + 1e-9) break;
        ++kept;
        height = bottom;
        width = std::max(width, logical.width / double(PANGO_SCALE));
        if (!pango_layout_iter_next_line(it)) break;
    }
    pango_layout_iter_free(it);
    if (text.text.empty()) {
        kept = 0;
        height = 0;
        width = 0;
    }
    out.lineCount = kept;
    out.height = height;
    out.width = finite(constraint.width) ? std::min(width, constraint.width) : width;
}

void layOut(Laid& out, const AttributedString& text, Size constraint, const TextLayout& opts) {
    PangoLayout* layout = pango_layout_new(detail::pangoContext());
    out.layout = layout;
    pango_layout_set_text(layout, text.text.c_str(), static_cast<int>(text.text.size()));

    rt::Ref<Font> baseFont = opts.font ? opts.font : Font::systemFontOfSize(17);
    PangoFontDescription* base = detail::fontDescription(baseFont->pointSize(), baseFont->numericWeight());
    pango_layout_set_font_description(layout, base);
    pango_font_description_free(base);
    applyRunAttributes(layout, text);

    TextAttributes first = text.firstAttributes();
    applyAlignment(layout, first.alignment.value_or(opts.alignment));
    applyLineBreaking(layout, first.lineBreakMode.value_or(opts.lineBreakMode), constraint, opts);
    measureKeptLines(out, text, constraint, opts);
}

}  // namespace

Size measureText(const AttributedString& text, Size constraint, const TextLayout& layout) {
    ensureFontConfiguration();
    std::lock_guard lock(detail::pangoLock());
    Laid laid;
    layOut(laid, text, constraint, layout);
    return {laid.width, laid.height};
}

namespace {

// Draws laid-out text; the colours and the shadow are read from the arguments, not from
// the layout. Call under the Pango lock.
Size paintLaid(cairo_t* cr, const Laid& laid, const AttributedString& text, const Rect& rect0, const TextLayout& opts) {
    cairo_save(cr);
    cairo_rectangle(cr, rect0.origin.x, rect0.origin.y, rect0.size.width, rect0.size.height);
    cairo_clip(cr);
    Rect rect = rect0;
    if (opts.centerVertically) rect.origin.y += std::max(0.0, (rect.size.height - laid.height) / 2);
    rt::Ref<Color> color = opts.color ? opts.color : Color::blackColor();
    auto drawLines = [&](double dx, double dy, const Color* only) {
        PangoLayoutIter* it = pango_layout_get_iter(laid.layout);
        int index = 0;
        do {
            if (index >= laid.lineCount) break;
            PangoLayoutLine* line = pango_layout_iter_get_line_readonly(it);
            int baseline = pango_layout_iter_get_baseline(it);
            PangoRectangle logical;
            pango_layout_iter_get_line_extents(it, nullptr, &logical);
            double x = rect.origin.x + dx + logical.x / double(PANGO_SCALE);
            if (pango_layout_get_width(laid.layout) < 0 && finite(rect.size.width)) {
                // Unwrapped single line: align it within the rectangle ourselves.
                double w = logical.width / double(PANGO_SCALE);
                PangoAlignment a = pango_layout_get_alignment(laid.layout);
                if (a == PANGO_ALIGN_CENTER) x = rect.origin.x + dx + (rect.size.width - w) / 2;
                if (a == PANGO_ALIGN_RIGHT) x = rect.origin.x + dx + rect.size.width - w;
            }
            const Color& c = only ? *only : *color;
            cairo_set_source_rgba(cr, c.red(), c.green(), c.blue(), c.alpha());
            cairo_move_to(cr, x, rect.origin.y + dy + baseline / double(PANGO_SCALE));
            if (only) {
                pango_cairo_layout_line_path(cr, line);
                cairo_fill(cr);
            } else {
                pango_cairo_show_layout_line(cr, line);
            }
            ++index;
        } while (pango_layout_iter_next_line(it));
        pango_layout_iter_free(it);
    };
    const TextAttributes first = text.firstAttributes();
    const Shadow* shadow = first.shadow ? &*first.shadow : (opts.shadow ? &*opts.shadow : nullptr);
    if (shadow && shadow->color) drawLines(shadow->offset.width, shadow->offset.height, shadow->color.get());
    drawLines(0, 0, nullptr);
    cairo_restore(cr);
    return {laid.width, laid.height};
}

template <class T> void appendBytes(std::string& key, const T& value) {
    key.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void appendFont(std::string& key, const rt::Ref<Font>& font) {
    appendBytes(key, font ? font->pointSize() : -1.0);
    appendBytes(key, font ? font->numericWeight() : -1);
}

void appendColor(std::string& key, const rt::Ref<Color>& color) {
    double rgba[4] = {-1, -1, -1, -1};
    if (color) {
        rgba[0] = color->red();
        rgba[1] = color->green();
        rgba[2] = color->blue();
        rgba[3] = color->alpha();
    }
    appendBytes(key, rgba);
}

// Everything layOut reads, as bytes: equal keys make equal layouts.
std::string layoutKey(const AttributedString& text, Size constraint, const TextLayout& opts) {
    std::string key;
    key.reserve(text.text.size() + 64 + text.runs.size() * 96);
    appendBytes(key, text.text.size());
    key += text.text;
    for (const auto& run : text.runs) {
        appendBytes(key, run.start);
        appendBytes(key, run.length);
        appendFont(key, run.attributes.font);
        appendColor(key, run.attributes.foregroundColor);
        appendColor(key, run.attributes.backgroundColor);
        appendBytes(key, run.attributes.alignment ? int(*run.attributes.alignment) : -1);
        appendBytes(key, run.attributes.lineBreakMode ? int(*run.attributes.lineBreakMode) : -1);
    }
    appendFont(key, opts.font);
    appendBytes(key, int(opts.alignment));
    appendBytes(key, int(opts.lineBreakMode));
    appendBytes(key, opts.numberOfLines);
    appendBytes(key, constraint.width);
    appendBytes(key, constraint.height);
    return key;
}

}  // namespace

Size drawText(cairo_t* cr, const AttributedString& text, const Rect& rect, const TextLayout& opts) {
    if (text.text.empty()) return {0, 0};
    ensureFontConfiguration();
    std::lock_guard lock(detail::pangoLock());
    Laid laid;
    layOut(laid, text, rect.size, opts);
    return paintLaid(cr, laid, text, rect, opts);
}

namespace detail {

struct LaidText {
    std::string key;
    Laid laid;
    ~LaidText() {
        std::lock_guard lock(pangoLock());
        if (laid.layout) g_object_unref(laid.layout);
        laid.layout = nullptr;
    }
};

Size drawTextKeepingLayout(cairo_t* cr, const AttributedString& text, const Rect& rect, const TextLayout& opts,
                           std::shared_ptr<LaidText>& kept) {
    if (text.text.empty()) return {0, 0};
    ensureFontConfiguration();
    std::lock_guard lock(pangoLock());
    std::string key = layoutKey(text, rect.size, opts);
    if (!kept || kept->key != key) {
        auto fresh = std::make_shared<LaidText>();
        layOut(fresh->laid, text, rect.size, opts);
        fresh->key = std::move(key);
        kept = std::move(fresh);
    }
    return paintLaid(cr, kept->laid, text, rect, opts);
}

}  // namespace detail

}  // namespace ui
