#include <RudoreVaz/Task/ConcreteTasks/AKBlockTask.h>

namespace zid {

void AKBlockTask::describe(rt::ClassBuilder<AKBlockTask>& c) { fnd::registerCodingClass(c.cls()); }

void AKBlockTask::task() { runBlock(); }

}  // namespace zid
