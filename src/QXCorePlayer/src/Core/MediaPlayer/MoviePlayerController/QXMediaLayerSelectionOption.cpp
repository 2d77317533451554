#include "Core/MediaPlayer/MoviePlayerController/QXMediaLayerSelectionOption.h"

namespace zid {

void QXMediaLayerSelectionOption::describe(rt::ClassBuilder<QXMediaLayerSelectionOption>& c) {
    c.readonly("languageTag", &QXMediaLayerSelectionOption::languageTag);
    c.readonly("displayName", &QXMediaLayerSelectionOption::displayName);
    c.readonly("title", &QXMediaLayerSelectionOption::title);
}

bool QXMediaLayerSelectionOption::isEqual(const rt::Object& other) const {
    auto* o = dynamic_cast<const QXMediaLayerSelectionOption*>(&other);
    return o && o->option_->isEqual(*option_);
}

}  // namespace zid
