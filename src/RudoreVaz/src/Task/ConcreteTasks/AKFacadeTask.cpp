#include "Task/ConcreteTasks/AKFacadeTask.h"

namespace zid {

rt::Ref<AKFacadeTask> AKFacadeTask::taskWithIdentifier(rt::Value identifier, std::string title) {
    return rt::make<AKFacadeTask>(std::move(identifier), std::move(title));
}

void AKFacadeTask::describe(rt::ClassBuilder<AKFacadeTask>& c) { fnd::registerCodingClass(c.cls()); }

void AKFacadeTask::setProgress(double progress) {
    postToMain([this, progress] { AKOperationTask::setProgress(progress); });
}

}  // namespace zid
