#include "Core/MediaPlayer/MoviePlayerController/QXMediaSelectionList.h"

#include <QXFoundation/Lists/ArrayList.h>
#include <rt/KVO.h>

#include "Core/MediaPlayer/MoviePlayerController/QXMediaLayerSelectionOption.h"

namespace zid {

namespace {
/// The media layer's option behind a wrapped option (nullptr for none or another kind).
rt::Ref<media::MediaSelectionOption> unwrap(const rt::Ref<rt::Object>& option) {
    if (auto wrapped = std::dynamic_pointer_cast<QXMediaLayerSelectionOption>(option)) return wrapped->option();
    return std::dynamic_pointer_cast<media::MediaSelectionOption>(option);
}

rt::Ref<rt::Object> wrap(const rt::Ref<media::MediaSelectionOption>& option) {
    return option ? rt::make<QXMediaLayerSelectionOption>(option) : nullptr;
}
}  // namespace

void QXMediaSelectionList::list(const rt::Ref<media::Asset>& asset) {
    group_ = asset ? asset->mediaSelectionGroupForMediaCharacteristic(kind_.characteristic) : nullptr;
    rt::Ref<rt::Object> options;
    if (group_) {
        rt::Value::Array wrapped;
        for (const auto& o : group_->options()) wrapped.push_back(wrap(o));
        options = rt::make<ArrayList>(wrapped);
    }
    rt::kvoSet(&owner_, kind_.listKey, options_, options);
    rt::kvoSet(&owner_, kind_.defaultKey, default_, group_ ? wrap(group_->defaultOption()) : nullptr);
}

void QXMediaSelectionList::select(const rt::Ref<media::PlayerItem>& item, const rt::Ref<rt::Object>& option) {
    if (!item || !group_) return;
    item->selectMediaOption(unwrap(option), group_);
    rt::kvoSet(&owner_, kind_.selectedKey, selected_, wrap(item->selectedMediaOptionInMediaSelectionGroup(group_)));
}

}  // namespace zid
