#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPLiveContentDetailsToolbarItem.h>

namespace zid {

CPLiveContentDetailsToolbarItem::CPLiveContentDetailsToolbarItem(const ui::Rect& frame, rt::Ref<ICPMediaSource> source)
    : CPContentDetailsToolbarItem(frame, std::move(source), std::type_identity<CPStartedDateToolbarItem>{}) {}

}  // namespace zid
