#pragma once
// Renders a record as one compact JSON object, for readers that want structured lines.

#include <QXFoundation/Log/QXLogFormatter.h>

namespace zid {

class QXJSONLogFormatter : public QXLogFormatter {
    RT_CLASS(QXJSONLogFormatter, QXLogFormatter)
public:
    /// The text returned when the record cannot be serialised (for example a message
    /// that is not valid UTF-8). It is itself valid JSON, so a reader never chokes.
    static constexpr const char* SerializationFailure = "{\"error\":\"FAILED TO JSON SERIALIZE\"}";

    /// {"address":…,"message":…,"date":…,"level":…} plus "module" and "source" when
    /// the record has them; no whitespace, no line break.
    std::string formatLog(const QXLogRecord& record) const override;
};

}  // namespace zid
