#pragma once
// The body of a multipart/form-data request: form fields and file parts in the order
// they are appended, between boundaries.

#include <string>
#include <vector>

#include <rt/Value.h>

namespace zid {

class MultipartFormData {
public:
    /// A boundary of random hexadecimal digits.
    MultipartFormData();
    explicit MultipartFormData(std::string boundary) : boundary_(std::move(boundary)) {}

    void appendPartWithFormData(const std::string& value, const std::string& name);
    void appendPartWithFileData(const rt::Data& data, const std::string& name, const std::string& fileName,
                                const std::string& mimeType);

    const std::string& boundary() const { return boundary_; }
    /// "multipart/form-data; boundary=<boundary>"
    std::string contentType() const;
    /// Every part, then the closing boundary.
    std::string body() const;
    std::size_t partCount() const { return parts_.size(); }

private:
    struct Part {
        std::string headers;
        std::string body;
    };
    std::string boundary_;
    std::vector<Part> parts_;
};

}  // namespace zid
