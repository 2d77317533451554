#include "Common/Session/MultipartFormData.h"

#include <cstdio>
#include <random>

namespace zid {

namespace {
// Names and file names go inside double quotes; a quote or a line break there would end
// the header early, so they are escaped the way browsers do.
std::string quoted(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '"') out += "%22";
        else if (c == '\r') out += "%0D";
        else if (c == '\n') out += "%0A";
        else out.push_back(c);
    }
    return out;
}
}  // namespace

MultipartFormData::MultipartFormData() {
    std::random_device device;
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "Boundary+%08X%08X", device(), device());
    boundary_ = buffer;
}

void MultipartFormData::appendPartWithFormData(const std::string& value, const std::string& name) {
    parts_.push_back({"Content-Disposition: form-data; name=\"" + quoted(name) + "\"\r\n", value});
}

void MultipartFormData::appendPartWithFileData(const rt::Data& data, const std::string& name,
                                               const std::string& fileName, const std::string& mimeType) {
    parts_.push_back({"Content-Disposition: form-data; name=\"" + quoted(name) + "\"; filename=\"" + quoted(fileName) +
                          "\"\r\nContent-Type: " + mimeType + "\r\n",
                      std::string(data.begin(), data.end())});
}

std::string MultipartFormData::contentType() const { return "multipart/form-data; boundary=" + boundary_; }

std::string MultipartFormData::body() const {
    std::string out;
    for (const auto& part : parts_) {
        out += "--" + boundary_ + "\r\n" + part.headers + "\r\n" + part.body + "\r\n";
    }
    out += "--" + boundary_ + "--\r\n";
    return out;
}

}  // namespace zid
