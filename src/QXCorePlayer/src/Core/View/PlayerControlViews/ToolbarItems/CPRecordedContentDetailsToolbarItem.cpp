#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPRecordedContentDetailsToolbarItem.h>

namespace zid {

CPRecordedContentDetailsToolbarItem::CPRecordedContentDetailsToolbarItem(const ui::Rect& frame,
                                                                         rt::Ref<ICPMediaSource> source)
    : CPContentDetailsToolbarItem(frame, std::move(source), std::type_identity<CPCreationDateToolbarItem>{}) {}

}  // namespace zid
