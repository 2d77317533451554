#include <RudoreVaz/Task/ConcreteTasks/AKBlockTask.h>

namespace zid {

AKBlockTask::AKBlockTask(rt::Value identifier, std::string title, Block block)
    : AKOperationTask(std::move(identifier), std::move(title)), block_(std::move(block)) {}

rt::Ref<AKBlockTask> AKBlockTask::taskWithIdentifier(rt::Value identifier, std::string title, Block block) {
    return rt::make<AKBlockTask>(std::move(identifier), std::move(title), std::move(block));
}

void AKBlockTask::describe(rt::ClassBuilder<AKBlockTask>& c) { fnd::registerCodingClass(c.cls()); }

void AKBlockTask::task() {
    if (auto body = block()) body(*this);
}

}  // namespace zid
