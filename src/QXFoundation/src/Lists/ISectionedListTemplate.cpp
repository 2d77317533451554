#include "Lists/ISectionedListTemplate.h"

#include <rt/Format.h>

namespace zid {

std::string IndexPath::description() const {
    return rt::format("(row %llu, section %llu)", static_cast<unsigned long long>(row),
                      static_cast<unsigned long long>(section));
}

std::vector<IndexPath> allIndexPathes(const ISectionedListTemplate& list) {
    std::vector<IndexPath> paths;
    for (std::uint64_t section = 0; section < list.numberOfSections(); ++section)
        for (std::uint64_t row = 0; row < list.numberOfRowsInSection(section); ++row)
            paths.push_back(IndexPath::indexPathForRow(row, section));
    return paths;
}

std::optional<IndexPath> indexPathForItem(const ISectionedListTemplate& list, const rt::Value& item) {
    for (std::uint64_t section = 0; section < list.numberOfSections(); ++section)
        for (std::uint64_t row = 0; row < list.numberOfRowsInSection(section); ++row) {
            auto path = IndexPath::indexPathForRow(row, section);
            if (list.objectAtIndexPath(path).isEqual(item)) return path;
        }
    return std::nullopt;
}

}  // namespace zid
