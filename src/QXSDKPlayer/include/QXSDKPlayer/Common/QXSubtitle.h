#pragma once
// The facade's record of one subtitle choice, for a host's own menu; handed back to the
// facade to select it. Made with its language tag and display name; its title is empty
// unless the host sets one. Equal only to itself.

#include <string>

#include <QXSDKPlayer/Common/QXMediaSelectionRecord.h>

namespace zid {

class QXSubtitle : public QXMediaSelectionRecord {
    RT_CLASS(QXSubtitle, QXMediaSelectionRecord)
public:
    QXSubtitle(std::string languageTag, std::string displayName)
        : QXMediaSelectionRecord(std::move(languageTag), std::string(), std::move(displayName)) {}
    static rt::Ref<QXSubtitle> subtitleWithLanguageTag(std::string languageTag, std::string displayName) {
        return rt::make<QXSubtitle>(std::move(languageTag), std::move(displayName));
    }
};

}  // namespace zid
