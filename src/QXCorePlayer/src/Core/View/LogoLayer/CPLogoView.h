#pragma once
// One broadcaster logo: an image loaded from the address the media server gave, shown
// once it arrives (invalid and hidden until then, and for good when the load fails),
// and a transparent layer on top that opens the click-through address when tapped.
//
// The address comes from a peer, so only http and https are fetched, through the
// interface kit's image loading with a time-out and a bound on the answer's size; the
// load is cancelled when the logo view goes.

#include <QXCorePlayer/VexaWebSocketClient/Model/VexaLogoInfo.h>
#include <ui/ImageView.h>

#include <cstddef>
#include <string>

namespace zid {

class CPLogoView : public ui::View {
    RT_CLASS(CPLogoView, ui::View)
public:
    /// The longest a logo load may take, in seconds.
    static constexpr double kLoadTimeout = 30;
    /// The largest answer a logo load accepts: a logo needs a few megabytes at most.
    static constexpr std::size_t kMaxImageBytes = 4u << 20;
    /// The margin of a record that has no image address.
    static constexpr long kDefaultMargin = 30;

    explicit CPLogoView(const ui::Rect& frame = ui::Rect());
    static rt::Ref<CPLogoView> logoViewForInfo(const rt::Ref<VexaLogoInfo>& info, long logoType);

    bool isValid() const { return valid_; }
    /// Where a tap leads; empty when the record had none or it was malformed.
    const std::string& clickURL() const { return clickURL_; }
    long position() const { return position_; }
    long margin() const { return margin_; }
    long logoType() const { return logoType_; }
    const rt::Ref<ui::ImageView>& logoView() const { return logoView_; }
    const rt::Ref<ui::View>& tapLayer() const { return tapLayer_; }
    /// The image's size; zero without an image.
    ui::Size logoSize() const;
    ui::Size referenceSize() const { return logoSize(); }

    /// Loads the image of an http or https address; any other address, or none,
    /// leaves the logo invalid.
    void updateLogoWithUrl(const std::optional<std::string>& url);
    /// Shows the image (nil: none) and becomes valid when there is one; the listeners
    /// hear of every change of validity.
    void setImage(const rt::Ref<ui::Image>& image);

    /// Whether a click-through string is a URL that can be opened: a scheme, no
    /// characters a URL cannot hold, and well-formed percent escapes.
    static bool isWellFormedURL(const std::string& url);
    /// Whether an image address is one a logo is fetched from (http or https).
    static bool isFetchableImageURL(const std::string& url);

protected:
    void didInitialize() override;
    void willDestroy() override;

private:
    void configure(const VexaLogoInfo& info, long logoType);
    void setupLogoView();
    void setupGestureRecognizer();
    void decorate();
    void loadImageFromUrl(const std::string& url);
    void resetLayout();
    void setValid(bool valid);
    void notifyListeners();

    bool valid_ = false;
    std::string clickURL_;
    long position_ = 0;
    long margin_ = 0;
    long logoType_ = 0;
    rt::Ref<ui::ImageView> logoView_;
    rt::Ref<ui::View> tapLayer_;
};

}  // namespace zid
