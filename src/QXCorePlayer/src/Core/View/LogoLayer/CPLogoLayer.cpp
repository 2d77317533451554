#include <rt/MainThread.h>
#include <QXCorePlayer/Core/View/LogoLayer/CPLogoLayer.h>

#include <QXFoundation/Listening/IListenable.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>
#include <dev/Device.h>

#include <cmath>

#include "CPLogoView.h"

namespace zid {

CPLogoLayer::CPLogoLayer(const ui::Rect& frame) : QXEventTransparentView(frame) {}

void CPLogoLayer::didInitialize() {
    QXEventTransparentView::didInitialize();
    logoScaleReference_ = dev::Device::current()->userInterfaceIdiom() == dev::UserInterfaceIdiom::Pad
                              ? kTabletLogoScaleReference
                              : kLogoScaleReference;
    rt::Weak<CPLogoLayer> weak = selfAs<CPLogoLayer>();
    onSignal(signalForKeypath(*this, "session.logoInfos"), deallocSignal(*this), [weak](const rt::Value& infos) {
        if (auto self = weak.lock()) self->logosChanged(infos);
    });
}

void CPLogoLayer::setFrame(const ui::Rect& frame) {
    RT_MAIN_THREAD_ONLY();
    QXEventTransparentView::setFrame(frame);
    layoutLogos();
}

void CPLogoLayer::resizeSubviewsWithOldSize(ui::Size oldSize) {
    QXEventTransparentView::resizeSubviewsWithOldSize(oldSize);
    layoutLogos();
}

void CPLogoLayer::logosChanged(const rt::Value& logoInfos) {
    RT_MAIN_THREAD_ONLY();
    removeLogos();
    long logoType = logoTypeForSource(session_ ? session_->source() : nullptr);
    auto self = selfAs<CPLogoLayer>();
    if (logoInfos.isArray()) {
        for (const auto& item : logoInfos.array()) {
            auto info = item.as<VexaLogoInfo>();
            if (!info) continue;
            auto logo = CPLogoView::logoViewForInfo(info, logoType);
            addListener(*logo, self);
            logoViews_.push_back(logo);
            addSubview(logo);
        }
    }
    layoutLogos();
}

void CPLogoLayer::removeLogos() {
    RT_MAIN_THREAD_ONLY();
    auto old = std::move(logoViews_);
    logoViews_.clear();
    for (const auto& logo : old) logo->removeFromSuperview();
}

long CPLogoLayer::logoTypeForSource(const rt::Ref<ICPMediaSource>& source) {
    if (!source) return 0;
    switch (source->sourceType()) {
        case CPMediaSourceType::Recorded:
        case CPMediaSourceType::Highlight: return 2;
        case CPMediaSourceType::LiveChannel: return 1;
        default: return 0;
    }
}

void CPLogoLayer::layoutLogos() {
    RT_MAIN_THREAD_ONLY();
    for (const auto& logo : logoViews_) {
        logo->setHidden(!logo->isValid());
        if (logo->isValid()) positionLogo(*logo);
    }
}

void CPLogoLayer::positionLogo(CPLogoView& logo) {
    ui::Size reference = logo.referenceSize();
    ui::Size layer = bounds().size;
    // Single precision, as the placement has always been computed: frames of logos
    // agree to the point with what broadcasters design against.
    float scale = static_cast<float>(layer.height / logoScaleReference_);
    double w = reference.width * scale;
    double h = reference.height * scale;
    double off = std::trunc(static_cast<float>(logo.margin() * scale));
    long position = logo.position();
    double x = 0, y = 0;
    if (position >= 0 && position <= 8) {
        switch (position % 3) {
            case 0: x = off; break;
            case 1: x = (layer.width - w) * 0.5; break;
            default: x = layer.width - w - off; break;
        }
        switch (position / 3) {
            case 0: y = off; break;
            case 1: y = (layer.height - h) * 0.5; break;
            default: y = layer.height - h - off; break;
        }
    }
    logo.setFrame(ui::rectIntegral(ui::Rect(x, y, w, h)));
}

void CPLogoLayer::logoViewDidChange(CPLogoView&) { layoutLogos(); }

}  // namespace zid
