#pragma once
// URIs as errors quote them: a URI can be megabytes long (a data: URI), an error is read
// by a person.

#include <cstddef>
#include <string>

namespace media {

/// Characters of a URI an error quotes.
inline constexpr std::size_t kQuotedURILength = 200;

/// The URI's first kQuotedURILength characters, with "..." after a longer one.
std::string quotedURI(const std::string& uri);

}  // namespace media
