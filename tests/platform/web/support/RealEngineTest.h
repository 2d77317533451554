#pragma once
// A fixture base for tests on the real web engine, in real time. They need a display:
// without one they skip with a message, unless ZID_REQUIRE_DISPLAY=1 (set by CI), where
// a missing display fails. Under the sanitizers they are left out: the engine's
// libraries are not instrumented.

#include <cstdlib>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include <fnd/RunLoop.h>
#include <web/RealWebEngine.h>

#include "Sanitized.h"

namespace webtest {

using zidtest::kSanitized;

/// The longest a test waits for the engine, in seconds.
inline constexpr double kTimeout = 30;

class RealEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (kSanitized) GTEST_SKIP() << "left out under the sanitizers: the web engine's libraries are not instrumented";
        if (!web::isRealEngineAvailable()) GTEST_SKIP() << "this build has no web engine (libwebkit2gtk-4.1-dev)";
        rt::Ref<rt::Error> error;
        if (!web::canStartRealEngine(&error)) {
            const char* required = std::getenv("ZID_REQUIRE_DISPLAY");
            if (required && std::string(required) == "1") FAIL() << error->localizedDescription();
            GTEST_SKIP() << error->localizedDescription();
        }
        previous = web::setWebEngineFactory([] { return web::makeRealWebEngine(); });
        installed = true;
    }
    void TearDown() override {
        if (installed) web::setWebEngineFactory(previous);
    }
    static bool waitFor(const std::function<bool()>& done, double seconds = kTimeout) {
        return fnd::RunLoop::main()->runUntil(done, seconds);
    }

    web::WebEngineFactory previous;
    bool installed = false;
};

}  // namespace webtest
