// The demo host application: embeds the framework the way a host would and shows
// what the framework can do so far.

#include <cstdio>

#include <fnd/Queue.h>
#include <fnd/RunLoop.h>
#include <rt/Format.h>

int main() {
    auto loop = fnd::RunLoop::main();  // this thread is the host's main thread
    std::printf("%s\n", rt::format("Demo host started at %@", rt::Date::now()).c_str());
    int ticks = 0;
    auto timer = loop->schedule(0.1, true, [&](fnd::Timer& t) {
        std::printf("tick %d\n", ++ticks);
        if (ticks == 3) {
            t.invalidate();
            loop->stop();
        }
    });
    loop->run();
    return 0;
}
