#pragma once
// Standard Base64 (the standard alphabet with "=" padding) between bytes and text.

#include <optional>
#include <string>

#include <rt/Object.h>
#include <rt/Value.h>

namespace zid {

class QXBase64 : public rt::Object {
    RT_CLASS(QXBase64, rt::Object)
public:
    /// 4 symbols for every 3 bytes, the last group padded with "="; no line breaks.
    /// Absent or empty bytes give the empty text.
    static std::string base64Encoding(const std::optional<rt::Data>& data);
    /// The bytes of Base64 text. White space and "=" are skipped wherever they stand;
    /// any other character outside the alphabet, any non-ASCII character or a final
    /// group of a single symbol gives nothing. Absent text gives nothing, empty text
    /// empty bytes.
    static std::optional<rt::Data> dataWithBase64EncodedString(const std::optional<std::string>& text);
};

}  // namespace zid
