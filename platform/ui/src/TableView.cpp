#include <rt/MainThread.h>
#include <ui/TableView.h>

#include <algorithm>
#include <cmath>

#include <ui/Color.h>

namespace ui {

// ---- cell ----------------------------------------------------------------------------------

TableViewCell::TableViewCell(TableViewCellStyle style, std::string reuseIdentifier)
    : View(Rect(0, 0, 320, TableView::kDefaultRowHeight)), style_(style), reuseIdentifier_(std::move(reuseIdentifier)) {}

void TableViewCell::didInitialize() {
    View::didInitialize();
    setBackgroundColor(Color::whiteColor());
    contentView_ = rt::make<View>(bounds());
    contentView_->setAutoresizingMask(Autoresizing::FlexibleWidth | Autoresizing::FlexibleHeight);
    contentView_->setBackgroundColor(Color::clearColor());
    addSubview(contentView_);
}

void TableViewCell::setSelected(bool selected, bool /*animated*/) {
    RT_MAIN_THREAD_ONLY();
    selected_ = selected;
    setBackgroundColor(selected ? Color::white(0.85, 1) : Color::whiteColor());
}

// ---- table ---------------------------------------------------------------------------------

TableView::TableView(const Rect& frame, TableViewStyle style) : ScrollView(frame), style_(style) {}

void TableView::didInitialize() {
    ScrollView::didInitialize();
    tap_ = rt::make<TapGestureRecognizer>();
    rt::Weak<TableView> weak = selfAs<TableView>();
    tap_->addTarget(self(), "handleTap:", [weak](GestureRecognizer& g) {
        if (auto self = weak.lock()) self->handleTap(g);
    });
    addGestureRecognizer(tap_);
}

void TableView::setRowHeight(double h) {
    RT_MAIN_THREAD_ONLY();
    rowHeight_ = std::max(0.0, h);
    if (loaded_) reloadData();
}

long TableView::numberOfRowsInSection(long section) const {
    RT_MAIN_THREAD_ONLY();
    if (section < 0 || section >= numberOfSections()) return 0;
    return rowsPerSection_[static_cast<std::size_t>(section)];
}

long TableView::totalRows() const {
    long n = 0;
    for (long r : rowsPerSection_) n += r;
    return n;
}

IndexPath TableView::indexPathForFlatRow(long flat) const {
    for (std::size_t s = 0; s < rowsPerSection_.size(); ++s) {
        if (flat < rowsPerSection_[s]) return IndexPath{static_cast<long>(s), flat};
        flat -= rowsPerSection_[s];
    }
    return IndexPath{-1, -1};
}

long TableView::flatRow(const IndexPath& ip) const {
    if (ip.section < 0 || ip.section >= numberOfSections() || ip.row() < 0 || ip.row() >= numberOfRowsInSection(ip.section))
        return -1;
    long flat = 0;
    for (long s = 0; s < ip.section; ++s) flat += rowsPerSection_[static_cast<std::size_t>(s)];
    return flat + ip.row();
}

rt::Ref<TableViewCell> TableView::dequeueReusableCellWithIdentifier(const std::string& identifier) {
    RT_MAIN_THREAD_ONLY();
    auto it = reuse_.find(identifier);
    if (it == reuse_.end() || it->second.empty()) return nullptr;
    auto cell = it->second.back();
    it->second.pop_back();
    return cell;
}

void TableView::recycle(const rt::Ref<TableViewCell>& cell) {
    cell->removeFromSuperview();
    cell->setSelected(false);
    if (!cell->reuseIdentifier().empty()) reuse_[cell->reuseIdentifier()].push_back(cell);
}

void TableView::reloadData() {
    RT_MAIN_THREAD_ONLY();
    loaded_ = true;
    for (auto& [row, cell] : visible_) recycle(cell);
    visible_.clear();
    rowsPerSection_.clear();
    if (dataSource_) {
        long sections = std::max(0L, dataSource_->numberOfSectionsInTableView(*this));
        for (long s = 0; s < sections; ++s)
            rowsPerSection_.push_back(std::max(0L, dataSource_->tableViewNumberOfRowsInSection(*this, s)));
    }
    if (selected_ && flatRow(*selected_) < 0) selected_.reset();
    setContentSize(Size{width(bounds()), static_cast<double>(totalRows()) * rowHeight_});
    // Fewer rows than before must not leave the view scrolled past its content.
    Point offset = contentOffset(), low = minimumContentOffset(), high = maximumContentOffset();
    Point kept{std::clamp(offset.x, low.x, std::max(low.x, high.x)), std::clamp(offset.y, low.y, std::max(low.y, high.y))};
    if (kept.x != offset.x || kept.y != offset.y) setContentOffset(kept);
    setNeedsLayout();
}

Rect TableView::rectForRowAtIndexPath(const IndexPath& ip) const {
    RT_MAIN_THREAD_ONLY();
    long flat = flatRow(ip);
    if (flat < 0) return Rect();
    return Rect(0, static_cast<double>(flat) * rowHeight_, width(bounds()), rowHeight_);
}

std::optional<IndexPath> TableView::indexPathForRowAtPoint(Point p) const {
    RT_MAIN_THREAD_ONLY();
    if (rowHeight_ <= 0 || p.y < 0) return std::nullopt;
    long flat = static_cast<long>(std::floor(p.y / rowHeight_));
    if (flat >= totalRows()) return std::nullopt;
    return indexPathForFlatRow(flat);
}

rt::Ref<TableViewCell> TableView::cellForRowAtIndexPath(const IndexPath& ip) const {
    RT_MAIN_THREAD_ONLY();
    auto it = visible_.find(flatRow(ip));
    return it == visible_.end() ? nullptr : it->second;
}

Size TableView::sizeThatFits(Size size) const {
    RT_MAIN_THREAD_ONLY();
    // The counts are those of the last reload; a table never loaded asks now.
    long rows = totalRows();
    if (!loaded_ && dataSource_) {
        auto& self = const_cast<TableView&>(*this);
        rows = 0;
        long sections = std::max(0L, dataSource_->numberOfSectionsInTableView(self));
        for (long s = 0; s < sections; ++s) rows += std::max(0L, dataSource_->tableViewNumberOfRowsInSection(self, s));
    }
    return Size{size.width, static_cast<double>(rows) * rowHeight_};
}

void TableView::contentOffsetDidChange() {
    ScrollView::contentOffsetDidChange();
    setNeedsLayout();
}

void TableView::layoutSubviews() {
    RT_MAIN_THREAD_ONLY();
    ScrollView::layoutSubviews();
    if (!loaded_) reloadData();
    if (!dataSource_ || rowHeight_ <= 0) return;
    const Rect b = bounds();
    long first = std::max(0L, static_cast<long>(std::floor(minY(b) / rowHeight_)));
    long last = std::min(totalRows() - 1, static_cast<long>(std::ceil(maxY(b) / rowHeight_)) - 1);
    // Cells scrolled away go to the reuse queue before new ones are asked for.
    for (auto it = visible_.begin(); it != visible_.end();) {
        if (it->first < first || it->first > last) {
            recycle(it->second);
            it = visible_.erase(it);
        } else {
            ++it;
        }
    }
    for (long flat = first; flat <= last; ++flat) {
        IndexPath ip = indexPathForFlatRow(flat);
        auto& cell = visible_[flat];
        if (!cell) {
            cell = dataSource_->tableViewCellForRowAtIndexPath(*this, ip);
            if (!cell) {
                visible_.erase(flat);
                continue;
            }
            cell->setSelected(selected_ && *selected_ == ip);
            addSubview(cell);
        }
        cell->setFrame(Rect(0, static_cast<double>(flat) * rowHeight_, width(b), rowHeight_));
    }
}

void TableView::selectRowAtIndexPath(const IndexPath& ip, bool animated) {
    RT_MAIN_THREAD_ONLY();
    if (flatRow(ip) < 0) return;
    if (selected_) deselectRowAtIndexPath(*selected_, animated);
    selected_ = ip;
    if (auto cell = cellForRowAtIndexPath(ip)) cell->setSelected(true, animated);
}

void TableView::deselectRowAtIndexPath(const IndexPath& ip, bool animated) {
    RT_MAIN_THREAD_ONLY();
    if (auto cell = cellForRowAtIndexPath(ip)) cell->setSelected(false, animated);
    if (selected_ && *selected_ == ip) selected_.reset();
}

void TableView::handleTap(GestureRecognizer& tap) {
    if (tap.state() != GestureState::Ended) return;
    auto ip = indexPathForRowAtPoint(tap.locationInView(this));
    if (!ip) return;
    selectRowAtIndexPath(*ip, false);
    if (tableDelegate_) tableDelegate_->tableViewDidSelectRowAtIndexPath(*this, *ip);
}

}  // namespace ui
