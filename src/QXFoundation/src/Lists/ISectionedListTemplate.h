#pragma once
// Two operations for any object that answers the questions of a sectioned list
// (sections, rows per section, the object at a row): every index path in order, and
// the first index path of an item.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <rt/Value.h>

namespace zid {

/// A row within a section.
struct IndexPath {
    std::uint64_t row = 0;
    std::uint64_t section = 0;
    static IndexPath indexPathForRow(std::uint64_t row, std::uint64_t section) { return IndexPath{row, section}; }
    bool operator==(const IndexPath&) const = default;
    std::string description() const;
};

class ISectionedListTemplate {
public:
    virtual ~ISectionedListTemplate() = default;
    virtual std::uint64_t numberOfSections() const = 0;
    virtual std::uint64_t numberOfRowsInSection(std::uint64_t section) const = 0;
    virtual rt::Value objectAtIndexPath(const IndexPath& indexPath) const = 0;
};

/// Every index path, sections ascending, rows ascending within each; the counts are
/// asked again on every step.
std::vector<IndexPath> allIndexPathes(const ISectionedListTemplate& list);
/// The first index path, in the same order, whose object is equal to the item.
std::optional<IndexPath> indexPathForItem(const ISectionedListTemplate& list, const rt::Value& item);

}  // namespace zid
