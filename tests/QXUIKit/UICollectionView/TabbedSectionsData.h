#pragma once
// Sections of plain cells for the tabbed-sections layout, every header and footer kind
// answered (the layout always lays them out); shared by the tests and the benchmark.

#include <string>
#include <vector>

#include <ui/CollectionView.h>

namespace tabbedtest {

class Cell : public ui::CollectionViewCell {
    RT_CLASS(Cell, ui::CollectionViewCell)
};

class Supplement : public ui::CollectionReusableView {
    RT_CLASS(Supplement, ui::CollectionReusableView)
};

/// Sections of `counts` items; every header and footer kind answered.
struct Sections : ui::CollectionViewDataSource {
    std::vector<long> counts;
    long numberOfSectionsInCollectionView(ui::CollectionView&) override { return static_cast<long>(counts.size()); }
    long numberOfItemsInSection(ui::CollectionView&, long s) override { return counts[static_cast<std::size_t>(s)]; }
    rt::Ref<ui::CollectionViewCell> cellForItemAtIndexPath(ui::CollectionView& cv, ui::IndexPath p) override {
        return cv.dequeueReusableCell("cell", p);
    }
    rt::Ref<ui::CollectionReusableView> viewForSupplementaryElementOfKind(ui::CollectionView& cv, const std::string& kind,
                                                                        ui::IndexPath p) override {
        return cv.dequeueReusableSupplementaryView(kind, "s", p);
    }
};

}  // namespace tabbedtest
