#pragma once
// A collection view with the tabbed-sections layout over sections of plain cells, and
// a delegate that counts what it is asked.

#include <map>
#include <string>
#include <vector>

#include <VirtualTime.h>
#include <ui/CollectionView.h>

#include "QXUIKit/UICollectionView/UICollectionViewLayoutTabbedSections.h"
#include "TabbedSectionsData.h"

namespace tabbedtest {

/// Answers what it is given, the defaults otherwise, and counts every question.
struct CountingDelegate : zid::UICollectionViewLayoutTabbedSectionsDelegate {
    std::map<std::string, int> asked;
    std::map<long, long> columns;
    std::map<long, double> headers, footers;
    std::vector<long> selected;
    double itemHeight = 60;
    long numberOfColumnsForSection(long s) override {
        ++asked["columns"];
        return columns.count(s) ? columns[s] : 1;
    }
    ui::EdgeInsets edgeInsetsForSection(long s) override {
        ++asked["sectionInsets"];
        return UICollectionViewLayoutTabbedSectionsDelegate::edgeInsetsForSection(s);
    }
    double heightForItemAtIndexPath(ui::IndexPath, double) override {
        ++asked["itemHeight"];
        return itemHeight;
    }
    ui::EdgeInsets edgeInsetsForItemAtIndexPath(ui::IndexPath) override {
        ++asked["itemInsets"];
        return {};
    }
    std::string titleForSection(long s) override {
        ++asked["title"];
        return "Tab " + std::to_string(s);
    }
    double heightForHeaderForSection(long s) override {
        ++asked["header"];
        return headers.count(s) ? headers[s] : 0;
    }
    double heightForFooterForSection(long s) override {
        ++asked["footer"];
        return footers.count(s) ? footers[s] : 0;
    }
    double tabHeaderHeightForGroupedSections() override {
        ++asked["tabHeader"];
        return 40;
    }
    void didSelectSection(long s) override { selected.push_back(s); }
    /// Questions other than the three heights a scroll may ask.
    int perItemQuestions() const {
        int n = 0;
        for (auto& [what, count] : asked)
            if (what != "header" && what != "footer" && what != "tabHeader") n += count;
        return n;
    }
};

class TabbedSectionsTest : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        layout = rt::make<zid::UICollectionViewLayoutTabbedSections>();
        layout->setDelegate(&delegate);
        cv = rt::make<ui::CollectionView>(ui::Rect(0, 0, 320, 480), layout);
        cv->registerCellClass<Cell>("cell");
        cv->registerSupplementaryViewClass<Supplement>(ui::CollectionView::kSectionHeaderKind, "s");
        cv->registerSupplementaryViewClass<Supplement>(ui::CollectionView::kSectionFooterKind, "s");
    }
    /// Shows the sections and lets the first selection happen.
    void show(std::vector<long> counts) {
        data.counts = std::move(counts);
        cv->setDataSource(&data);
        cv->layoutIfNeeded();
        drain();
        cv->layoutIfNeeded();
    }
    void scrollTo(double y) {
        cv->setContentOffset(ui::Point{cv->contentOffset().x, y});
        cv->layoutIfNeeded();
    }
    rt::Ref<zid::UICollectionViewTabbedSectionsLayoutAttributes> cell(long section, long item) {
        return std::dynamic_pointer_cast<zid::UICollectionViewTabbedSectionsLayoutAttributes>(
            layout->layoutAttributesForItemAtIndexPath(ui::IndexPath{section, item}));
    }
    Sections data;
    CountingDelegate delegate;
    rt::Ref<zid::UICollectionViewLayoutTabbedSections> layout;
    rt::Ref<ui::CollectionView> cv;
};

}  // namespace tabbedtest
