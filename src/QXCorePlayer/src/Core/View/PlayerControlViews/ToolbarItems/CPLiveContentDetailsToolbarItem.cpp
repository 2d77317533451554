#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPLiveContentDetailsToolbarItem.h>

namespace zid {

CPLiveContentDetailsToolbarItem::CPLiveContentDetailsToolbarItem(const ui::Rect& frame, rt::Ref<ICPMediaSource> source)
    : CPContentDetailsToolbarItem(
          frame, std::move(source),
          [](const ui::Rect& f, rt::Ref<ICPMediaSource> s) -> rt::Ref<CPSourceLabelToolbarItem> {
              return rt::make<CPStartedDateToolbarItem>(f, std::move(s));
          }) {}

}  // namespace zid
