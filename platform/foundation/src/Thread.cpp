#include <fnd/Thread.h>

#include <fnd/RunLoop.h>

namespace fnd {

namespace {
thread_local rt::Ref<Thread> threadObject;
}

rt::Ref<Thread> Thread::current() {
    if (!threadObject) {
        threadObject = rt::make<Thread>();
        if (RunLoop::isMainThread()) {
            threadObject->setName("main");
            threadObject->isMain_ = true;
        }
    }
    return threadObject;
}

bool Thread::isMainThread() const { return isMain_; }

}  // namespace fnd
