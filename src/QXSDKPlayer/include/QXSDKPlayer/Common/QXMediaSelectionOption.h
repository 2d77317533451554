#pragma once
// The facade's record of one legible or audible choice, for a host's own menu; handed
// back to the facade to select it. Equal only to itself.

#include <string>

#include <QXCorePlayer/Core/MediaPlayer/ICPMediaSelectionOption.h>
#include <rt/Object.h>

namespace zid {

class QXMediaSelectionOption : public rt::Object, public ICPMediaSelectionOption {
    RT_CLASS(QXMediaSelectionOption, rt::Object)
public:
    QXMediaSelectionOption(std::string languageTag, std::string title)
        : languageTag_(std::move(languageTag)), title_(std::move(title)) {}
    static rt::Ref<QXMediaSelectionOption> mediaSelectionOptionWithLanguageTag(std::string languageTag,
                                                                              std::string title) {
        return rt::make<QXMediaSelectionOption>(std::move(languageTag), std::move(title));
    }

    std::string languageTag() const override { return languageTag_; }
    void setLanguageTag(std::string v) { languageTag_ = std::move(v); }
    std::string title() const override { return title_; }
    void setTitle(std::string v) { title_ = std::move(v); }
    /// Empty unless the host sets one.
    std::string displayName() const override { return displayName_; }
    void setDisplayName(std::string v) { displayName_ = std::move(v); }

private:
    std::string languageTag_, title_, displayName_;
};

}  // namespace zid
