#include <QXCorePlayer/Core/View/QXPlayerDebugConsoleView.h>

#include <QXCorePlayer/Core/MediaPlayer/MoviePlayerController/QXMoviePlayerController.h>
#include <QXFoundation/CentralLog/QXCentralLoggerHandler.h>
#include <QXFoundation/Log/QXLogger.h>
#include <rt/MainThread.h>
#include <rt/Format.h>
#include <ui/Color.h>
#include <ui/Font.h>

#include <cstdio>

namespace zid {

namespace {
std::string fourCC(std::uint32_t code) {
    std::string s;
    // A missing code shows as "0000" (a NUL would cut the console text short).
    for (int shift = 24; shift >= 0; shift -= 8) {
        auto byte = static_cast<char>((code >> shift) & 0xff);
        s.push_back(byte == 0 ? '0' : byte);
    }
    return s;
}
std::string valueText(const rt::Value& v) {
    if (v.isString()) return v.string();
    if (v.isNumber()) {
        auto n = v.numberValue();
        if (n.isFloatingPoint()) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%g", v.doubleValue());
            return buf;
        }
        return std::to_string(v.longLongValue());
    }
    return rt::format("%@", v);
}
}  // namespace

QXPlayerDebugConsoleView::QXPlayerDebugConsoleView(const rt::Ref<QXMoviePlayerController>& controller)
    : ui::View(ui::Rect()), controller_(controller) {
    setBackgroundColor(ui::Color::white(0.0, 0.7));
}

QXPlayerDebugConsoleView::~QXPlayerDebugConsoleView() {
    if (pollTimer_) pollTimer_->invalidate();
}

void QXPlayerDebugConsoleView::didInitialize() {
    ui::View::didInitialize();
    debugLabel_ = addLabel();
    rt::Weak<QXPlayerDebugConsoleView> weak = selfAs<QXPlayerDebugConsoleView>();
    pollTimer_ = fnd::RunLoop::main()->schedule(1.0, true, [weak](fnd::Timer&) {
        if (auto self = weak.lock()) self->poll();
    });
    poll();
}

rt::Ref<ui::Label> QXPlayerDebugConsoleView::addLabel() {
    auto label = rt::make<ui::Label>(ui::Rect(0, 0, bounds().size.width, bounds().size.height));
    label->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    label->setBackgroundColor(ui::Color::clearColor());
    label->setTextColor(ui::Color::whiteColor());
    label->setFont(ui::Font::systemFontOfSize(13.0));
    label->setLineBreakMode(ui::LineBreakMode::CharWrapping);
    label->setNumberOfLines(0);
    addSubview(label);
    return label;
}

void QXPlayerDebugConsoleView::setDebugValue(const rt::Value& value, const std::string& key) {
    RT_MAIN_THREAD_ONLY();
    debugValues_.set(key, value.isNilOrNull() ? rt::Value("Unknown") : value);
    updateValues();
}

void QXPlayerDebugConsoleView::setValueForUndefinedKey(const rt::Value& value, std::string_view key) {
    setDebugValue(value, std::string(key));
}

void QXPlayerDebugConsoleView::updateValues() {
    RT_MAIN_THREAD_ONLY();
    std::string text;
    for (const auto& key : debugValues_.keys()) text += valueText(key) + ": " + valueText(debugValues_.get(key)) + "\n";
    if (debugLabel_) debugLabel_->setText(text);
}

void QXPlayerDebugConsoleView::poll() {
    RT_MAIN_THREAD_ONLY();
    for (const auto& handler : QXLogger::defaultLogger()->handlers()) {
        auto central = std::dynamic_pointer_cast<QXCentralLoggerHandler>(handler);
        if (!central) continue;
        if (central->level() >= 1) debugValues_.set("LOG ID", central->uuid());
        break;
    }
    auto controller = controller_.lock();
    if (!controller) {
        updateValues();  // the controller is gone: its entries stay as they were
        return;
    }
    double buffered = controller->bufferedDuration();
    rt::Ref<media::AssetTrack> audio, video;
    auto item = controller->player() ? controller->player()->currentItem() : nullptr;
    if (item) {
        for (const auto& track : item->tracks()) {
            if (track->mediaType() == media::MediaTypeAudio) audio = track;
            else if (track->mediaType() == media::MediaTypeVideo) video = track;
        }
    }
    auto unknownIfEmpty = [](const std::string& s) { return s.empty() ? rt::Value("Unknown") : rt::Value(s); };
    debugValues_.set("Content URL", unknownIfEmpty(controller->contentURL()));
    debugValues_.set("Access URI", unknownIfEmpty(controller->accessURI()));
    debugValues_.set("Buffered duration", buffered);
    char bitrate[64];
    std::snprintf(bitrate, sizeof bitrate, "%.0f bit/s", controller->observedBitrate());
    debugValues_.set("Bitrate", controller->observedBitrate() >= 0 ? rt::Value(bitrate) : rt::Value("Unknown"));
    auto dropped = controller->numberOfDroppedVideoFrames();
    debugValues_.set("Dropped frames", dropped >= 0 ? rt::Value(static_cast<long long>(dropped)) : rt::Value("Unknown"));
    debugValues_.set("FPS", video ? static_cast<double>(video->nominalFrameRate()) : 0.0);
    auto size = video ? video->naturalSize() : media::Size{};
    debugValues_.set("Format", fourCC(video ? video->codecFourCC() : 0) + " - " + fourCC(audio ? audio->codecFourCC() : 0) +
                                   " (" + std::to_string(static_cast<int>(size.width)) + " x " +
                                   std::to_string(static_cast<int>(size.height)) + ")");
    updateValues();
}

}  // namespace zid
