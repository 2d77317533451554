#pragma once
// The one class of the items that show one fact in a label: the label fills the item,
// and a kind says how it looks, which key paths recompute it and what it shows. The
// text is recomputed whenever one of the observed key paths (or the kind's ticker)
// changes. Holder is what the fact is about: a player or a source item.

#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlayerToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPSourceToolbarItem.h>
#include <ui/Label.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zid {

/// What a label item of class Item shows. Kinds live as long as the program (each
/// item's source file holds its own).
template <class Item>
struct CPLabelKind {
    /// Fonts, colours and alignment.
    void (*configure)(ui::Label& label);
    /// The key paths of the item whose changes recompute the label.
    std::vector<const char*> observedKeypaths;
    /// The text to show now.
    std::string (*text)(const Item& item);
    /// Whether the label is to be hidden now; never when absent.
    bool (*hidden)(const Item& item) = nullptr;
    /// Seconds between recomputations on the loop's clock; none when absent.
    std::optional<double> tickInterval = std::nullopt;
};

/// The date by the main run loop's clock, so relative texts age on the same clock as
/// the ticker that refreshes them.
rt::Date CPLabelNow();

template <class Holder>
class CPLabelToolbarItem : public Holder {
public:
    const rt::Ref<ui::Label>& label() const { return label_; }
    /// Recomputes the label now.
    void refresh();

protected:
    /// Item is the most derived class, the one whose kind this is.
    template <class Item>
    CPLabelToolbarItem(const ui::Rect& frame, rt::Ref<typename Holder::Subject> subject, const CPLabelKind<Item>& kind)
        : Holder(frame, std::move(subject)),
          configure_(kind.configure),
          observedKeypaths_(&kind.observedKeypaths),
          tickInterval_(kind.tickInterval),
          text_([&kind](const CPLabelToolbarItem& item) { return kind.text(static_cast<const Item&>(item)); }) {
        if (kind.hidden)
            hidden_ = [&kind](const CPLabelToolbarItem& item) { return kind.hidden(static_cast<const Item&>(item)); };
    }
    void didInitialize() override;

private:
    void (*configure_)(ui::Label&);
    const std::vector<const char*>* observedKeypaths_;
    std::optional<double> tickInterval_;
    std::function<std::string(const CPLabelToolbarItem&)> text_;
    std::function<bool(const CPLabelToolbarItem&)> hidden_;
    rt::Ref<ui::Label> label_;
    std::vector<rt::Ref<rt::Observation>> observations_;
};

extern template class CPLabelToolbarItem<CPPlayerToolbarItem>;
extern template class CPLabelToolbarItem<CPSourceToolbarItem>;

/// A label item that shows a fact of a media player.
using CPPlayerLabelToolbarItem = CPLabelToolbarItem<CPPlayerToolbarItem>;
/// A label item that shows a fact of a media source.
using CPSourceLabelToolbarItem = CPLabelToolbarItem<CPSourceToolbarItem>;

}  // namespace zid
