#pragma once
// A plain table: a vertical scroll view of rows of one height, grouped in sections,
// supplied as cells by a data source. Cells leave the screen into a reuse queue by
// their identifier and come back from it; a tap on a row selects it and tells the
// delegate. It answers the height of all its rows as its fitting size.

#include <rt/MainThread.h>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <ui/GestureRecognizer.h>
#include <ui/IndexPath.h>
#include <ui/ScrollView.h>

namespace ui {

enum class TableViewCellStyle { Default = 0 };

/// A row: a view with a content view filling it, where a cell's own views go.
class TableViewCell : public View {
    RT_CLASS(TableViewCell, View)
public:
    TableViewCell(TableViewCellStyle style, std::string reuseIdentifier);
    const std::string& reuseIdentifier() const { RT_MAIN_THREAD_ONLY(); return reuseIdentifier_; }
    TableViewCellStyle style() const { RT_MAIN_THREAD_ONLY(); return style_; }
    const rt::Ref<View>& contentView() const { RT_MAIN_THREAD_ONLY(); return contentView_; }
    bool isSelected() const { RT_MAIN_THREAD_ONLY(); return selected_; }
    /// A selected cell shows a grey background.
    void setSelected(bool selected, bool animated = false);

protected:
    void didInitialize() override;

private:
    TableViewCellStyle style_;
    std::string reuseIdentifier_;
    rt::Ref<View> contentView_;
    bool selected_ = false;
};

class TableView;

class TableViewDataSource {
public:
    virtual ~TableViewDataSource() = default;
    virtual long numberOfSectionsInTableView(TableView&) { return 1; }
    virtual long tableViewNumberOfRowsInSection(TableView& tableView, long section) = 0;
    virtual rt::Ref<TableViewCell> tableViewCellForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) = 0;
};

class TableViewDelegate {
public:
    virtual ~TableViewDelegate() = default;
    virtual void tableViewDidSelectRowAtIndexPath(TableView&, const IndexPath&) {}
};

enum class TableViewStyle { Plain = 0 };

class TableView : public ScrollView {
    RT_CLASS(TableView, ScrollView)
public:
    static constexpr double kDefaultRowHeight = 44;

    explicit TableView(const Rect& frame = Rect(), TableViewStyle style = TableViewStyle::Plain);

    TableViewStyle style() const { RT_MAIN_THREAD_ONLY(); return style_; }
    /// Held as the scroll view holds its delegate: the owner keeps them alive.
    TableViewDataSource* dataSource() const { RT_MAIN_THREAD_ONLY(); return dataSource_; }
    void setDataSource(TableViewDataSource* d) { RT_MAIN_THREAD_ONLY(); dataSource_ = d; }
    TableViewDelegate* tableDelegate() const { RT_MAIN_THREAD_ONLY(); return tableDelegate_; }
    void setTableDelegate(TableViewDelegate* d) { RT_MAIN_THREAD_ONLY(); tableDelegate_ = d; }
    double rowHeight() const { RT_MAIN_THREAD_ONLY(); return rowHeight_; }
    void setRowHeight(double h);
    /// Stored; the offset never leaves the content either way.
    bool bounces() const { RT_MAIN_THREAD_ONLY(); return bounces_; }
    void setBounces(bool b) { RT_MAIN_THREAD_ONLY(); bounces_ = b; }

    /// A cell from the reuse queue of the identifier, or nil.
    rt::Ref<TableViewCell> dequeueReusableCellWithIdentifier(const std::string& identifier);
    /// Asks the data source again for the counts and the visible cells.
    void reloadData();
    long numberOfSections() const { RT_MAIN_THREAD_ONLY(); return static_cast<long>(rowsPerSection_.size()); }
    long numberOfRowsInSection(long section) const;
    /// The cell shown for the row, nil when the row is not on screen.
    rt::Ref<TableViewCell> cellForRowAtIndexPath(const IndexPath& indexPath) const;
    /// The row's rectangle in content coordinates.
    Rect rectForRowAtIndexPath(const IndexPath& indexPath) const;
    /// The row under a point of the content, or nullopt.
    std::optional<IndexPath> indexPathForRowAtPoint(Point p) const;
    std::optional<IndexPath> indexPathForSelectedRow() const { RT_MAIN_THREAD_ONLY(); return selected_; }
    void selectRowAtIndexPath(const IndexPath& indexPath, bool animated);
    void deselectRowAtIndexPath(const IndexPath& indexPath, bool animated);

    /// The given width and the height of every row.
    Size sizeThatFits(Size size) const override;
    void layoutSubviews() override;

protected:
    void didInitialize() override;
    void contentOffsetDidChange() override;

private:
    long totalRows() const;
    IndexPath indexPathForFlatRow(long flat) const;
    long flatRow(const IndexPath& indexPath) const;
    void recycle(const rt::Ref<TableViewCell>& cell);
    void handleTap(GestureRecognizer& tap);

    TableViewStyle style_;
    TableViewDataSource* dataSource_ = nullptr;
    TableViewDelegate* tableDelegate_ = nullptr;
    double rowHeight_ = kDefaultRowHeight;
    bool bounces_ = true;
    bool loaded_ = false;
    std::vector<long> rowsPerSection_;
    std::map<long, rt::Ref<TableViewCell>> visible_;  // by flat row
    std::map<std::string, std::vector<rt::Ref<TableViewCell>>> reuse_;
    std::optional<IndexPath> selected_;
    rt::Ref<TapGestureRecognizer> tap_;
};

}  // namespace ui
