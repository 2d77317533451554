#pragma once
// A view that shows an image (or its highlighted image) placed by its content mode;
// template images are painted in the view's tint colour.

#include <rt/MainThread.h>
#include <ui/Image.h>
#include <ui/View.h>

namespace ui {

class ImageView : public View {
    RT_CLASS(ImageView, View)
private:  // fields first: each key names its field
    rt::Ref<Image> image_;
    rt::Ref<Image> highlightedImage_;
    bool highlighted_ = false;

public:
    static constexpr rt::Key<ImageView, rt::Ref<Image>> imageKey{"image", &ImageView::image_};
    static constexpr rt::Key<ImageView, rt::Ref<Image>> highlightedImageKey{"highlightedImage",
                                                                           &ImageView::highlightedImage_};
    static constexpr rt::Key<ImageView, bool> highlightedKey{"highlighted", &ImageView::highlighted_};

    explicit ImageView(const Rect& frame = Rect());
    /// A view the size of the image.
    explicit ImageView(rt::Ref<Image> image);
    static void describe(rt::ClassBuilder<ImageView>& c);

    rt::Ref<Image> image() const { RT_MAIN_THREAD_ONLY(); return image_; }
    void setImage(rt::Ref<Image> image) { RT_MAIN_THREAD_ONLY(); imageKey.set(*this, std::move(image)); }
    rt::Ref<Image> highlightedImage() const { RT_MAIN_THREAD_ONLY(); return highlightedImage_; }
    void setHighlightedImage(rt::Ref<Image> image) {
        RT_MAIN_THREAD_ONLY();
        highlightedImageKey.set(*this, std::move(image));
    }
    bool isHighlighted() const { RT_MAIN_THREAD_ONLY(); return highlighted_; }
    void setHighlighted(bool v) { RT_MAIN_THREAD_ONLY(); highlightedKey.set(*this, v); }

    /// The image's size (zero without an image).
    Size sizeThatFits(Size size) const override;
    /// Where the shown image lands in the bounds for the content mode.
    Rect imageRect() const;

    bool drawsContent() const override { RT_MAIN_THREAD_ONLY(); return true; }
    void draw(ImageContext& context, const Rect& rect) override;

private:
    rt::Ref<Image> shown() const { return (highlighted_ && highlightedImage_) ? highlightedImage_ : image_; }
};

}  // namespace ui
