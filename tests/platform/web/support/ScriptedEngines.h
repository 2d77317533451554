#pragma once
// A fixture base on virtual time whose web views get scripted engines, kept in the
// order they were made (the last one is the newest view's).

#include <memory>
#include <vector>

#include <VirtualTime.h>
#include <web/FakeWebEngine.h>

namespace webtest {

class FakeEngines : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        previous = web::setWebEngineFactory([this] {
            auto engine = std::make_unique<web::FakeWebEngine>();
            engines.push_back(engine.get());
            return engine;
        });
    }
    void TearDown() override {
        web::setWebEngineFactory(previous);
        VirtualTimeTest::TearDown();
    }
    web::FakeWebEngine& last() { return *engines.back(); }

    web::WebEngineFactory previous;
    std::vector<web::FakeWebEngine*> engines;
};

}  // namespace webtest
