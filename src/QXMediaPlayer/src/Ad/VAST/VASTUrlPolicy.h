#pragma once
// What the ads of one document may keep of their URLs: only http and https addresses
// (a media file with another scheme goes whole), and at most a given number per event.
#include <QXMediaPlayer/Ad/VAST/VASTParser.h>

#include <cstddef>
#include <set>
#include <string>
#include <string_view>

namespace zid {

class VASTUrlPolicy {
public:
    explicit VASTUrlPolicy(std::size_t maxUrlsPerEvent) : maxUrlsPerEvent_(maxUrlsPerEvent) {}

    /// Drops from every ad what the policy refuses and counts it.
    void apply(VASTAdList& ads);
    /// One line on what was dropped; empty when nothing was.
    std::string report() const;

    /// True for a URL whose scheme is neither http nor https (compared without regard to
    /// case); a text without a scheme is not refused here.
    static bool hasRefusedScheme(std::string_view url);

private:
    void filterList(std::vector<std::string>& urls, const std::string& event);
    void filterMap(VASTUrlMap& map);
    void refuse(std::string_view url);

    std::size_t maxUrlsPerEvent_;
    std::size_t refusedSchemeCount_ = 0;
    std::set<std::string> refusedSchemes_;
    std::size_t overCapCount_ = 0;
    std::set<std::string> overCapEvents_;
};

}  // namespace zid
