#pragma once
// A response serializer that answers the body as text: "text/html", "text/json" and
// "text/javascript" bodies with a 2xx status are accepted; the body is decoded in the
// charset the response names, or in the serializer's own encoding (UTF-8 unless set)
// when it names none or one that is not known.

#include <string>

#include <QXNetworking/Common/Session/HTTPResponseSerializer.h>

namespace zid {

class QXTextResponseSerializer : public HTTPResponseSerializer {
    RT_CLASS(QXTextResponseSerializer, HTTPResponseSerializer)
public:
    QXTextResponseSerializer();
    static rt::Ref<QXTextResponseSerializer> serializer();

    /// An encoding name ICU knows ("utf-8", "iso-8859-1", "shift_jis", ...).
    const std::string& stringEncoding() const { return stringEncoding_; }
    void setStringEncoding(std::string name) { stringEncoding_ = std::move(name); }

    /// The body as text (also when the check failed; the error is reported then); nil
    /// for no body or bytes that do not decode.
    rt::Value responseObjectForResponse(const HTTPURLResponse& response, const std::string& data,
                                        rt::Ref<rt::Error>* error) const override;

    /// The bytes decoded in the named encoding as UTF-8; nothing for an unknown
    /// encoding or bytes that are not valid in it.
    static std::optional<std::string> decode(const std::string& data, const std::string& encoding);

private:
    std::string stringEncoding_ = "utf-8";
};

}  // namespace zid
