#pragma once
// What the ads of one document may keep of their URLs. A URL without a scheme is
// resolved against the address of the document that names it; then only http and https
// addresses stay (a media file with another scheme goes whole), at most a given number
// per event. A blank URL text names nothing and is left as it is.
#include <QXMediaPlayer/Ad/VAST/VASTVersionParser.h>

#include <cstddef>
#include <set>
#include <string>
#include <string_view>

namespace zid {

class VASTUrlPolicy {
public:
    /// documentUrl: the address the document was fetched from; empty when not known, so
    /// that a relative URL in it resolves to nothing.
    VASTUrlPolicy(std::size_t maxUrlsPerEvent, std::string_view documentUrl);

    /// Resolves, drops from every ad what the policy refuses and counts it. A wrapper's
    /// address is resolved too but never dropped here: the fetch that would follow it
    /// refuses it with its own error.
    void apply(VASTAdList& ads);
    /// One line on what was dropped; empty when nothing was.
    std::string report() const;

private:
    /// True when the URL stays exactly as written: http or https, or blank.
    static bool keptAsWritten(std::string_view url);
    /// The URL resolved and checked; false (and counted) when it is to go.
    bool admit(std::string& url);
    void filterList(std::vector<std::string>& urls, const std::string& event);
    void filterMap(VASTUrlMap& map);

    std::size_t maxUrlsPerEvent_;
    std::string_view documentUrl_;
    bool documentHasScheme_ = false;
    std::size_t refusedSchemeCount_ = 0;
    std::set<std::string> refusedSchemes_;
    std::size_t unresolvedCount_ = 0;
    std::size_t overCapCount_ = 0;
    std::set<std::string> overCapEvents_;
};

}  // namespace zid
