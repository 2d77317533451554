#include "Core/MediaPlayer/MoviePlayerController/QXMediaSelectionOption.h"

namespace zid {

void QXMediaSelectionOption::describe(rt::ClassBuilder<QXMediaSelectionOption>& c) {
    c.readonly("languageTag", &QXMediaSelectionOption::languageTag);
    c.readonly("displayName", &QXMediaSelectionOption::displayName);
    c.readonly("title", &QXMediaSelectionOption::title);
}

bool QXMediaSelectionOption::isEqual(const rt::Object& other) const {
    auto* o = dynamic_cast<const QXMediaSelectionOption*>(&other);
    return o && o->option_->isEqual(*option_);
}

}  // namespace zid
