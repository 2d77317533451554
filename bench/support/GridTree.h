#pragma once
// The 200-view tree the interface benchmarks draw at 1280 x 720 (a grid laid out in
// layoutSubviews: 120 plain tiles, 40 rounded tiles with a border, 40 single-line
// labels), and the same picture drawn directly with Cairo and Pango.

#include <string>
#include <vector>

#include <cairo.h>
#include <pango/pangocairo.h>

#include <ui/Label.h>
#include <ui/View.h>

namespace zidbench {


constexpr int kColumns = 20;
constexpr int kRows = 10;  // 200 cells
constexpr double kWidth = 1280, kHeight = 720;
constexpr double kCellW = kWidth / kColumns, kCellH = kHeight / kRows;

/// What each cell shows: a tile (every fourth rounded with a border), every fifth a
/// label instead.
struct Cell {
    double x, y, w, h;
    double r, g, b;
    bool rounded;
    bool label;
    std::string text;
};

inline std::vector<Cell> cells() {
    std::vector<Cell> out;
    for (int i = 0; i < kColumns * kRows; ++i) {
        int c = i % kColumns, row = i / kColumns;
        Cell cell{c * kCellW + 4, row * kCellH + 4, kCellW - 8, kCellH - 8, (c % 5) / 5.0, (row % 4) / 4.0, 0.6,
                  i % 4 == 0, i % 5 == 0, "Channel " + std::to_string(i)};
        out.push_back(cell);
    }
    return out;
}

/// A grid container that places its cells in layoutSubviews.
class Grid : public ui::View {
    RT_CLASS(Grid, ui::View)
public:
    using ui::View::View;
    void layoutSubviews() override {
        const auto& subs = subviews();
        for (std::size_t i = 0; i < subs.size(); ++i) {
            int c = int(i) % kColumns, row = int(i) / kColumns;
            subs[i]->setFrame(ui::Rect(c * kCellW + 4, row * kCellH + 4, kCellW - 8, kCellH - 8));
        }
    }
};

inline rt::Ref<Grid> makeTree() {
    auto root = rt::make<Grid>(ui::Rect(0, 0, kWidth, kHeight));
    root->setBackgroundColor(ui::Color::whiteColor());
    for (const auto& cell : cells()) {
        rt::Ref<ui::View> v;
        if (cell.label) {
            auto label = rt::make<ui::Label>();
            label->setText(cell.text);
            label->setFont(ui::Font::systemFontOfSize(12));
            v = label;
        } else {
            v = rt::make<ui::View>();
            v->setBackgroundColor(ui::Color::rgba(cell.r, cell.g, cell.b, 1));
            if (cell.rounded) {
                v->layer()->setCornerRadius(8);
                v->layer()->setBorderWidth(2);
                v->layer()->setBorderColor(ui::Color::blackColor());
            }
        }
        root->addSubview(v);
    }
    return root;
}

inline void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    const double k = 0.5522847498307936 * r;
    cairo_move_to(cr, x + r, y);
    cairo_line_to(cr, x + w - r, y);
    cairo_curve_to(cr, x + w - r + k, y, x + w, y + r - k, x + w, y + r);
    cairo_line_to(cr, x + w, y + h - r);
    cairo_curve_to(cr, x + w, y + h - r + k, x + w - r + k, y + h, x + w - r, y + h);
    cairo_line_to(cr, x + r, y + h);
    cairo_curve_to(cr, x + r - k, y + h, x, y + h - r + k, x, y + h - r);
    cairo_line_to(cr, x, y + r);
    cairo_curve_to(cr, x, y + r - k, x + r - k, y, x + r, y);
    cairo_close_path(cr);
}

/// The grid's shapes and texts, drawn straight to Cairo and Pango over a white page.
inline void drawRawGrid(cairo_t* cr, const std::vector<Cell>& list, PangoFontDescription* font) {
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_rectangle(cr, 0, 0, kWidth, kHeight);
    cairo_fill(cr);
    for (const auto& c : list) {
        if (c.label) {
            PangoLayout* layout = pango_cairo_create_layout(cr);
            pango_layout_set_font_description(layout, font);
            pango_layout_set_text(layout, c.text.c_str(), -1);
            int w = 0, h = 0;
            pango_layout_get_size(layout, &w, &h);
            cairo_save(cr);
            cairo_rectangle(cr, c.x, c.y, c.w, c.h);
            cairo_clip(cr);
            cairo_set_source_rgb(cr, 0, 0, 0);
            cairo_move_to(cr, c.x, c.y + (c.h - h / double(PANGO_SCALE)) / 2);
            pango_cairo_show_layout(cr, layout);
            cairo_restore(cr);
            g_object_unref(layout);
            continue;
        }
        cairo_new_path(cr);
        if (c.rounded) roundedRect(cr, c.x, c.y, c.w, c.h, 8);
        else cairo_rectangle(cr, c.x, c.y, c.w, c.h);
        cairo_set_source_rgb(cr, c.r, c.g, c.b);
        cairo_fill(cr);
        if (c.rounded) {
            cairo_new_path(cr);
            roundedRect(cr, c.x + 1, c.y + 1, c.w - 2, c.h - 2, 7);
            cairo_set_line_width(cr, 2);
            cairo_set_source_rgb(cr, 0, 0, 0);
            cairo_stroke(cr);
        }
    }
}

}  // namespace zidbench
