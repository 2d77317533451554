#pragma once
// The base of the items that show one fact in a label: the label fills the item, and
// each kind says how it looks and what it shows. The text is recomputed whenever one
// of the observed key paths (or the kind's ticker) changes.

#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPToolbarItem.h>
#include <ui/Label.h>

#include <optional>
#include <vector>

namespace zid {

class CPLabelToolbarItem : public CPToolbarItem {
    RT_CLASS(CPLabelToolbarItem, CPToolbarItem)
public:
    explicit CPLabelToolbarItem(const ui::Rect& frame = ui::Rect()) : CPToolbarItem(frame) {}
    const rt::Ref<ui::Label>& label() const { return label_; }
    /// Recomputes the label now.
    void refresh();

protected:
    void didInitialize() override;
    /// Fonts, colours and alignment.
    virtual void configureLabel() = 0;
    /// The key paths of the item whose changes recompute the label.
    virtual std::vector<const char*> observedKeypaths() const = 0;
    /// Seconds between recomputations on the loop's clock; none by default.
    virtual std::optional<double> tickInterval() const { return std::nullopt; }
    /// The text to show now.
    virtual std::string currentText() const = 0;
    /// Whether the label is to be hidden now.
    virtual bool currentlyHidden() const { return false; }
    /// The date by the main run loop's clock, so relative texts age on the same clock
    /// as the ticker that refreshes them.
    rt::Date now() const;

private:
    rt::Ref<ui::Label> label_;
    std::vector<rt::Ref<rt::Observation>> observations_;
};

}  // namespace zid
