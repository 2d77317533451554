#pragma once
// A path of lines and curves in points: rectangles, rounded rectangles, ovals and
// free shapes. Views use it for shadow paths and mask shapes; drawing code fills,
// strokes or clips with it.

#include <vector>

#include <ui/CairoTypes.h>

#include <rt/Object.h>
#include <ui/Geometry.h>
#include <rt/MainThread.h>
#include <rt/KVC.h>

namespace ui {

class BezierPath : public rt::Object {
    RT_CLASS(BezierPath, rt::Object)
public:
    static void describe(rt::ClassBuilder<BezierPath>& c) { c.mainThreadOnly(); }
    static rt::Ref<BezierPath> path();
    static rt::Ref<BezierPath> rect(const Rect& r);
    static rt::Ref<BezierPath> roundedRect(const Rect& r, double cornerRadius);
    static rt::Ref<BezierPath> oval(const Rect& r);

    void moveTo(Point p);
    void lineTo(Point p);
    void curveTo(Point end, Point control1, Point control2);
    void close();
    void append(const BezierPath& other);
    void applyTransform(const AffineTransform& t);

    /// The bounding box of the points (control points included).
    Rect bounds() const;
    bool isEmpty() const { RT_MAIN_THREAD_ONLY(); return elements_.empty(); }
    /// Whether the point lies inside the filled path (non-zero winding).
    bool containsPoint(Point p) const;

    bool isEqual(const rt::Object& other) const override;

private:
    // Replays the path onto a Cairo context (CairoDrawing.h, the toolkit's own).
    friend struct BezierPathCairo;
    enum class Op { Move, Line, Curve, Close };
    struct Element {
        Op op;
        Point p[3];
        bool operator==(const Element& o) const {
            return op == o.op && p[0] == o.p[0] && p[1] == o.p[1] && p[2] == o.p[2];
        }
    };
    std::vector<Element> elements_;
};

}  // namespace ui
