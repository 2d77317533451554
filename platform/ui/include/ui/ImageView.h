#pragma once
// A view that shows an image (or its highlighted image) placed by its content mode;
// template images are painted in the view's tint colour.

#include <ui/Image.h>
#include <ui/View.h>

namespace ui {

class ImageView : public View {
    RT_CLASS(ImageView, View)
public:
    explicit ImageView(const Rect& frame = Rect());
    /// A view the size of the image.
    explicit ImageView(rt::Ref<Image> image);
    static void describe(rt::ClassBuilder<ImageView>& c);

    rt::Ref<Image> image() const { return image_; }
    void setImage(rt::Ref<Image> image) { rt::kvoSet(this, "image", image_, std::move(image)); }
    rt::Ref<Image> highlightedImage() const { return highlightedImage_; }
    void setHighlightedImage(rt::Ref<Image> image) { rt::kvoSet(this, "highlightedImage", highlightedImage_, std::move(image)); }
    bool isHighlighted() const { return highlighted_; }
    void setHighlighted(bool v) { rt::kvoSet(this, "highlighted", highlighted_, v); }

    /// The image's size (zero without an image).
    Size sizeThatFits(Size size) const override;
    /// Where the shown image lands in the bounds for the content mode.
    Rect imageRect() const;

    bool drawsContent() const override { return true; }
    void draw(ImageContext& context, const Rect& rect) override;

private:
    rt::Ref<Image> shown() const { return (highlighted_ && highlightedImage_) ? highlightedImage_ : image_; }
    rt::Ref<Image> image_;
    rt::Ref<Image> highlightedImage_;
    bool highlighted_ = false;
};

}  // namespace ui
