#pragma once
// The facade's record of one legible or audible choice, for a host's own menu; handed
// back to the facade to select it. Made with its language tag and title; its display
// name is empty unless the host sets one. Equal only to itself.

#include <string>

#include <QXSDKPlayer/Common/QXMediaSelectionRecord.h>

namespace zid {

class QXMediaSelectionOption : public QXMediaSelectionRecord {
    RT_CLASS(QXMediaSelectionOption, QXMediaSelectionRecord)
public:
    QXMediaSelectionOption(std::string languageTag, std::string title)
        : QXMediaSelectionRecord(std::move(languageTag), std::move(title), std::string()) {}
    static rt::Ref<QXMediaSelectionOption> mediaSelectionOptionWithLanguageTag(std::string languageTag,
                                                                              std::string title) {
        return rt::make<QXMediaSelectionOption>(std::move(languageTag), std::move(title));
    }
};

}  // namespace zid
