#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPRecordedContentDetailsToolbarItem.h>

namespace zid {

CPRecordedContentDetailsToolbarItem::CPRecordedContentDetailsToolbarItem(const ui::Rect& frame,
                                                                         rt::Ref<ICPMediaSource> source)
    : CPContentDetailsToolbarItem(
          frame, std::move(source),
          [](const ui::Rect& f, rt::Ref<ICPMediaSource> s) -> rt::Ref<CPSourceLabelToolbarItem> {
              return rt::make<CPCreationDateToolbarItem>(f, std::move(s));
          }) {}

}  // namespace zid
