#pragma once
// What of a view tree looks different since it was last looked at, found without
// drawing it: for each view the renderer would draw, a digest of everything it reads
// for that view (where the view lands in the window and how transparent it is, the
// clips above it, its bounds, background, border, corners, clip, shadow and mask, its
// place among its siblings, and the content of the toolkit's views that draw their own:
// labels, image views, controls' states and values, text fields and views, activity
// indicators) and the window pixels it may touch. A view whose digest changed, or that
// appeared or went, damages the pixels it touched and touches. What a custom view
// draws of its own state is not read: such a view reports it with setNeedsDisplay.
// Main thread only.

#include <cstdint>
#include <string>
#include <unordered_map>

#include <ui/View.h>

namespace ui {

class TreeDamage {
public:
    /// Compares the tree as it would be drawn now, into a target of `scaleX` x `scaleY`
    /// pixels a point, with the last call, and keeps it for the next. Answers the
    /// bounding box of the damaged pixels: null when nothing changed.
    Rect update(View& root, double scaleX, double scaleY);
    /// Forgets the tree: the next update damages everything it shows.
    void forget() { last_.clear(); }
    /// The pixels the view touched at the last update (null when it was not drawn).
    Rect areaOf(const View* view) const;

private:
    struct Record {
        std::uint64_t digest = 0;
        Rect area;
    };
    struct Hash {
        std::uint64_t value = 0xcbf29ce484222325ull;
        void add(std::uint64_t word);
        void add(double value);
        void add(const Color* color);
        void add(const std::string& text);
        void add(const void* pointer) { add(std::uint64_t(reinterpret_cast<std::uintptr_t>(pointer))); }
    };
    void visit(View& view, const AffineTransform& toWindow, double alpha, std::uint64_t clips, long index);
    static void content(View& view, Hash& hash);
    void damage(const Rect& area);

    std::unordered_map<const View*, Record> last_, now_;
    Rect damaged_;
};

}  // namespace ui
