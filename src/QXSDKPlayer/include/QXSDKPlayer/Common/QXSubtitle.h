#pragma once
// The facade's record of one subtitle choice, for a host's own menu; handed back to
// the facade to select it. Equal only to itself.

#include <string>

#include <QXCorePlayer/Core/MediaPlayer/ICPMediaSelectionOption.h>
#include <rt/Object.h>

namespace zid {

class QXSubtitle : public rt::Object, public ICPMediaSelectionOption {
    RT_CLASS(QXSubtitle, rt::Object)
public:
    QXSubtitle(std::string languageTag, std::string displayName)
        : languageTag_(std::move(languageTag)), displayName_(std::move(displayName)) {}
    static rt::Ref<QXSubtitle> subtitleWithLanguageTag(std::string languageTag, std::string displayName) {
        return rt::make<QXSubtitle>(std::move(languageTag), std::move(displayName));
    }

    std::string languageTag() const override { return languageTag_; }
    void setLanguageTag(std::string v) { languageTag_ = std::move(v); }
    std::string displayName() const override { return displayName_; }
    void setDisplayName(std::string v) { displayName_ = std::move(v); }
    /// Empty unless the host sets one.
    std::string title() const override { return title_; }
    void setTitle(std::string v) { title_ = std::move(v); }

private:
    std::string languageTag_, displayName_, title_;
};

}  // namespace zid
