#pragma once
// A toolbar item showing one image at the image's size; it never takes a touch.

#include <rt/MainThread.h>
#include <ui/ImageView.h>

#include "QXUIKit/Toolbar/QXToolbarItem.h"

namespace zid {

class QXImageToolbarItem : public QXToolbarItem {
    RT_CLASS(QXImageToolbarItem, QXToolbarItem)
public:
    explicit QXImageToolbarItem(rt::Ref<ui::Image> image = nullptr) : image_(std::move(image)) {}

    const rt::Ref<ui::ImageView>& imageView() const { RT_MAIN_THREAD_ONLY(); return imageView_; }
    /// Raises QXQuorvexPlayerParameterError for nil: the item always has an image view.
    void setImageView(rt::Ref<ui::ImageView> view);

protected:
    void didInitialize() override;

private:
    rt::Ref<ui::Image> image_;
    rt::Ref<ui::ImageView> imageView_;
};

}  // namespace zid
