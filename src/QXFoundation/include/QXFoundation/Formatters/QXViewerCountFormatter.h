#pragma once
// Viewer counts as the player shows them: "123 viewers", "12.3k views".

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include <rt/Object.h>
#include <rt/Value.h>

namespace zid {

class QXViewerCountFormatter : public rt::Object {
    RT_CLASS(QXViewerCountFormatter, rt::Object)
public:
    enum Type : std::uint64_t { Viewers = 0, Views = 1, TotalViews = 2 };

    QXViewerCountFormatter() = default;
    QXViewerCountFormatter(std::uint64_t type, std::uint64_t style) : type_(type), style_(style) {}

    /// 0 viewers, 1 views, 2 total views.
    std::uint64_t type() const { return type_; }
    void setType(std::uint64_t type) { type_ = type; }
    /// 0 shortens counts above 1000; any other value always writes the full count.
    std::uint64_t style() const { return style_; }
    void setStyle(std::uint64_t style) { style_ = style; }

    /// The text of the shared formatter for the type and style.
    static std::optional<std::string> stringFromViewerCount(const rt::Value& count, std::uint64_t type,
                                                            std::uint64_t style = 0);
    std::optional<std::string> stringFromViewerCount(const rt::Value& count) const;
    /// The count text; nothing for a value that is not a number or a type without a
    /// format. Counts below zero read as zero.
    std::optional<std::string> stringForObjectValue(const rt::Value& object) const;
    /// "1234", "12.3k", "2.50M", "1M"; counts below zero read as zero.
    static std::string shortenViewerCount(std::int64_t count);
    /// The type's format for a ready count text ("%@ viewers") when asked, else the
    /// format for a number ("%lu viewers"), both keys of the strings table; nothing for
    /// another type.
    std::optional<std::string> viewerCountFormatForTextRepresentation(bool textRepresentation) const;

    /// "viewercount-formatter-<type>.<style>"
    static std::string cacheKeyForType(std::uint64_t type, std::uint64_t style);
    /// The shared formatter for a type and style, made on first use and kept.
    static rt::Ref<QXViewerCountFormatter> formatterFor(std::uint64_t type, std::uint64_t style);
    /// A snapshot of the shared formatters by cache key.
    static std::map<std::string, rt::Ref<QXViewerCountFormatter>> formatterCache();

private:
    std::uint64_t type_ = Viewers;
    std::uint64_t style_ = 0;
};

}  // namespace zid
