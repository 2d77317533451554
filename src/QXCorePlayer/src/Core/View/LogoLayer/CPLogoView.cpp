#include "CPLogoView.h"
#include "Core/CoreLogModule.h"

#include <QXCorePlayer/Core/View/LogoLayer/CPLogoLayer.h>
#include <QXFoundation/Listening/IListenable.h>
#include <QXFoundation/Log/QXLogger.h>
#include <QXUIKit/ImageFetching/ImageViewImageFetching.h>
#include <RuzEzo/Interface/FKActionSignal.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>
#include <fnd/URLRequest.h>
#include <ui/Application.h>
#include <ui/Color.h>

#include <cctype>

namespace zid {

namespace {

std::string lowercaseScheme(const std::string& url) {
    auto colon = url.find(':');
    if (colon == std::string::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(url[0]))) return {};
    std::string scheme;
    for (char c : url.substr(0, colon)) {
        auto u = static_cast<unsigned char>(c);
        if (!std::isalnum(u) && c != '+' && c != '-' && c != '.') return {};
        scheme.push_back(static_cast<char>(std::tolower(u)));
    }
    return scheme;
}

}  // namespace

CPLogoView::CPLogoView(const ui::Rect& frame) : ui::View(frame) {}

rt::Ref<CPLogoView> CPLogoView::logoViewForInfo(const rt::Ref<VexaLogoInfo>& info, long logoType) {
    auto view = rt::make<CPLogoView>(ui::Rect());
    if (info) view->configure(*info, logoType);
    return view;
}

void CPLogoView::didInitialize() {
    ui::View::didInitialize();
    setUserInteractionEnabled(true);
    setupLogoView();
    setupGestureRecognizer();
    decorate();
}

void CPLogoView::willDestroy() {
    // The load has no one to show its image to any more.
    qxCancelImageRequestOperation(*logoView_);
    ui::View::willDestroy();
}

void CPLogoView::configure(const VexaLogoInfo& info, long logoType) {
    clickURL_ = info.clickUrl && isWellFormedURL(*info.clickUrl) ? *info.clickUrl : std::string();
    position_ = static_cast<long>(info.align);
    margin_ = info.url ? static_cast<long>(info.margin) : kDefaultMargin;
    logoType_ = logoType;
    updateLogoWithUrl(info.url);
}

void CPLogoView::setupLogoView() {
    logoView_ = rt::make<ui::ImageView>(bounds());
    logoView_->setAutoresizingMask(ui::Autoresizing::FlexibleLeftMargin | ui::Autoresizing::FlexibleWidth |
                                   ui::Autoresizing::FlexibleRightMargin | ui::Autoresizing::FlexibleTopMargin |
                                   ui::Autoresizing::FlexibleHeight | ui::Autoresizing::FlexibleBottomMargin);
}

void CPLogoView::setupGestureRecognizer() {
    tapLayer_ = rt::make<ui::View>(bounds());
    tapLayer_->setBackgroundColor(ui::Color::clearColor());
    tapLayer_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    rt::Weak<CPLogoView> weak = selfAs<CPLogoView>();
    onSignal(singleTapSignal(*tapLayer_), deallocSignal(*this), [weak](const rt::Value&) {
        auto self = weak.lock();
        // The host's open-URL hook decides what to do with the address.
        if (self && !self->clickURL_.empty()) ui::Application::sharedApplication()->openURL(self->clickURL_);
    });
}

void CPLogoView::decorate() {
    addSubview(logoView_);
    addSubview(tapLayer_);
}

void CPLogoView::updateLogoWithUrl(const std::optional<std::string>& url) {
    if (!url) return;
    loadImageFromUrl(*url);
}

void CPLogoView::loadImageFromUrl(const std::string& url) {
    if (!isFetchableImageURL(url)) {
        QXLog(kCoreLogModule, CPLogoView::staticClass(), 3, "Logo image not loaded: only http and https addresses are fetched, not %@",
              url);
        return;
    }
    auto request = rt::make<fnd::URLRequest>(url);
    request->setValueForHTTPHeaderField("image/*", "Accept");
    request->setTimeoutInterval(kLoadTimeout);
    request->setMaxResponseBytes(kMaxImageBytes);
    rt::Weak<CPLogoView> weak = selfAs<CPLogoView>();
    qxSetImageWithURLRequest(
        logoView_, request, nullptr,
        [weak](const rt::Ref<fnd::URLRequest>&, const rt::Ref<ui::Image>& image) {
            if (auto self = weak.lock()) self->setImage(image);
        },
        [weak, url](const rt::Ref<fnd::URLRequest>&, const rt::Ref<rt::Error>& error) {
            QXLog(kCoreLogModule, CPLogoView::staticClass(), 2, "Logo image at %@ not loaded: %@", url,
                  error ? error->localizedDescription() : std::string("no reason given"));
            if (auto self = weak.lock()) self->setImage(nullptr);
        });
}

void CPLogoView::setImage(const rt::Ref<ui::Image>& image) {
    logoView_->setImage(image);
    resetLayout();
    setValid(image != nullptr);
}

ui::Size CPLogoView::logoSize() const {
    auto image = logoView_ ? logoView_->image() : nullptr;
    return image ? image->size() : ui::Size{0, 0};
}

void CPLogoView::resetLayout() {
    ui::Size size = referenceSize();
    setFrame(ui::Rect(0, 0, size.width, size.height));
    ui::Size logo = logoSize();
    logoView_->setFrame(ui::Rect(0, 0, logo.width, logo.height));
}

void CPLogoView::setValid(bool valid) {
    if (valid_ == valid) return;
    valid_ = valid;
    notifyListeners();
}

void CPLogoView::notifyListeners() {
    zid::notifyListeners<ILogoViewListener>(*this, [this](ILogoViewListener& l) { l.logoViewDidChange(*this); });
}

bool CPLogoView::isFetchableImageURL(const std::string& url) {
    std::string scheme = lowercaseScheme(url);
    return (scheme == "http" || scheme == "https") && isWellFormedURL(url);
}

bool CPLogoView::isWellFormedURL(const std::string& url) {
    if (lowercaseScheme(url).empty()) return false;
    for (std::size_t i = 0; i < url.size(); ++i) {
        auto c = static_cast<unsigned char>(url[i]);
        if (c <= 0x20 || c >= 0x7f) return false;
        if (std::string_view("<>\"{}|\\^`").find(static_cast<char>(c)) != std::string_view::npos) return false;
        if (c == '%') {
            if (i + 2 >= url.size() || !std::isxdigit(static_cast<unsigned char>(url[i + 1])) ||
                !std::isxdigit(static_cast<unsigned char>(url[i + 2])))
                return false;
        }
    }
    return true;
}

}  // namespace zid
