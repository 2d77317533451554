#include "Common/Serializers/QXTextResponseSerializer.h"

#include <memory>

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unicode/ustring.h>

namespace zid {

QXTextResponseSerializer::QXTextResponseSerializer() {
    acceptableContentTypes_ = {"text/html", "text/json", "text/javascript"};
}

rt::Ref<QXTextResponseSerializer> QXTextResponseSerializer::serializer() { return rt::make<QXTextResponseSerializer>(); }

std::optional<std::string> QXTextResponseSerializer::decode(const std::string& data, const std::string& encoding) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, void (*)(UConverter*)> from(ucnv_open(encoding.c_str(), &status), ucnv_close);
    if (U_FAILURE(status) || !from) return std::nullopt;
    // Bytes that are not valid in the encoding stop the conversion instead of becoming
    // replacement characters.
    ucnv_setToUCallBack(from.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    std::u16string units(data.size() * 2 + 16, u'\0');
    const int32_t count = ucnv_toUChars(from.get(), reinterpret_cast<UChar*>(units.data()),
                                        static_cast<int32_t>(units.size()), data.data(),
                                        static_cast<int32_t>(data.size()), &status);
    if (U_FAILURE(status)) return std::nullopt;
    std::string out(static_cast<std::size_t>(count) * 3 + 4, '\0');
    int32_t length = 0;
    u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &length, reinterpret_cast<const UChar*>(units.data()), count,
                &status);
    if (U_FAILURE(status)) return std::nullopt;
    out.resize(static_cast<std::size_t>(length));
    return out;
}

rt::Value QXTextResponseSerializer::responseObjectForResponse(const HTTPURLResponse& response, const std::string& data,
                                                              rt::Ref<rt::Error>* error) const {
    validateResponse(response, data, error);
    if (data.empty()) return {};
    const std::string named = response.textEncodingName();
    std::optional<std::string> text;
    if (!named.empty()) {
        UErrorCode status = U_ZERO_ERROR;
        UConverter* probe = ucnv_open(named.c_str(), &status);
        if (U_SUCCESS(status) && probe) {
            ucnv_close(probe);
            text = decode(data, named);
            return text ? rt::Value(*text) : rt::Value();
        }
        if (probe) ucnv_close(probe);
    }
    text = decode(data, stringEncoding_);
    return text ? rt::Value(*text) : rt::Value();
}

}  // namespace zid
