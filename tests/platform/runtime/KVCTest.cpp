#include <gtest/gtest.h>

#include <rt/Exception.h>

#include "KVOTestModels.h"

using namespace kvotest;

namespace {

template <class F> std::string exceptionName(F&& f) {
    try {
        f();
    } catch (const rt::Exception& e) {
        return e.name();
    }
    return "";
}

}  // namespace

TEST(KVCTest, TypedPropertiesReadAndWriteThroughValues) {
    auto task = rt::make<Task>();
    task->setValueForKey(rt::Value(7), "state");
    task->setValueForKey(rt::Value(true), "paused");
    task->setValueForKey(rt::Value(0.25), "ratio");
    task->setValueForKey(rt::Value(3), "mode");
    EXPECT_EQ(task->state(), 7);
    EXPECT_TRUE(task->paused());
    EXPECT_DOUBLE_EQ(task->ratio(), 0.25);
    EXPECT_EQ(task->mode(), Mode::On);

    EXPECT_EQ(task->valueForKey("state").longLongValue(), 7);
    EXPECT_EQ(task->valueForKey("mode").intValue(), 3);
    EXPECT_EQ(task->valueForKey("paused").numberValue().kind(), rt::Number::Kind::Bool);
    EXPECT_FALSE(task->valueForKey("isReady").boolValue());

    auto middle = rt::make<Middle>();
    task->setValueForKey(rt::Value(middle), "middle");
    EXPECT_EQ(task->middle(), middle);
    EXPECT_EQ(task->valueForKey("middle").object(), middle);
}

TEST(KVCTest, NilOrNullWrittenToAScalarOrReferenceIsItsZero) {
    auto task = rt::make<Task>();
    task->setState(9);
    task->setPaused(true);
    task->setRatio(1.5);
    task->setMiddle(rt::make<Middle>());
    task->setValueForKey(rt::Value(), "state");
    task->setValueForKey(rt::Value::null(), "paused");
    task->setValueForKey(rt::Value(), "ratio");
    task->setValueForKey(rt::Value(), "middle");
    EXPECT_EQ(task->state(), 0);
    EXPECT_FALSE(task->paused());
    EXPECT_EQ(task->ratio(), 0);
    EXPECT_EQ(task->middle(), nullptr);
    EXPECT_TRUE(task->valueForKey("middle").isNil());
}

TEST(KVCTest, ValuesOfTheWrongTypeAreRefused) {
    auto task = rt::make<Task>();
    task->setState(4);
    EXPECT_EQ(exceptionName([&] { task->setValueForKey(rt::Value("five"), "state"); }), rt::Exception::InvalidArgument);
    EXPECT_EQ(task->state(), 4);
    // An object of another class is not silently read as an empty reference.
    EXPECT_EQ(exceptionName([&] { task->setValueForKey(rt::Value(rt::make<Leaf>()), "middle"); }),
              rt::Exception::InvalidArgument);
}

TEST(KVCTest, UndefinedAndReadOnlyKeysRaiseUndefinedKey) {
    auto task = rt::make<Task>();
    EXPECT_EQ(exceptionName([&] { task->valueForKey("nothing"); }), rt::Exception::UndefinedKey);
    EXPECT_EQ(exceptionName([&] { task->setValueForKey(rt::Value(1), "nothing"); }), rt::Exception::UndefinedKey);
    EXPECT_EQ(exceptionName([&] { task->setValueForKey(rt::Value(true), "isReady"); }), rt::Exception::UndefinedKey);
    EXPECT_EQ(exceptionName([&] { task->valueForKeyPath("middle.nothing"); }), "");  // a nil link ends the path
    task->setMiddle(rt::make<Middle>());
    EXPECT_EQ(exceptionName([&] { task->valueForKeyPath("middle.nothing"); }), rt::Exception::UndefinedKey);
    try {
        task->valueForKey("nothing");
    } catch (const rt::Exception& e) {
        EXPECT_NE(std::string(e.reason()).find("Task"), std::string::npos);
        EXPECT_NE(std::string(e.reason()).find("nothing"), std::string::npos);
    }
}

TEST(KVCTest, SubclassesSeeInheritedPropertiesAndDescribeRunsOncePerClass) {
    auto sub = rt::make<SubTask>();
    sub->setValueForKey(rt::Value("x"), "label");
    sub->setValueForKey(rt::Value(2), "state");
    EXPECT_EQ(sub->label(), "x");
    EXPECT_EQ(sub->valueForKey("state").intValue(), 2);

    // A class without a describe of its own gets nothing registered on itself: the
    // base's describe is not run again for it, and lookups go up the chain.
    auto plain = rt::make<PlainSubTask>();
    EXPECT_EQ(PlainSubTask::staticClass().properties().find("state"), nullptr);
    EXPECT_NE(rt::findProperty(PlainSubTask::staticClass(), "state"), nullptr);
    plain->setValueForKey(rt::Value(5), "state");
    EXPECT_EQ(plain->state(), 5);
    EXPECT_EQ(Task::staticClass().properties().find("label"), nullptr);
}

TEST(KVCTest, KeyPathsThroughObjects) {
    auto task = rt::make<Task>();
    EXPECT_TRUE(task->valueForKeyPath("middle.leaf.name").isNil());
    task->setValueForKeyPath(rt::Value("lost"), "middle.leaf.name");  // nil link: nothing to write to

    task->setMiddle(rt::make<Middle>());
    task->middle()->setLeaf(rt::make<Leaf>());
    task->setValueForKeyPath(rt::Value("deep"), "middle.leaf.name");
    EXPECT_EQ(task->middle()->leaf()->name(), "deep");
    EXPECT_EQ(task->valueForKeyPath("middle.leaf.name").string(), "deep");
    EXPECT_EQ(task->valueForKeyPath("leafName").string(), "deep");
}

TEST(KVCTest, DictionariesAndArraysAsContainers) {
    rt::Dictionary inner{{rt::Value("b"), rt::Value(2)}};
    rt::Dictionary outer{{rt::Value("a"), rt::Value(inner)}, {rt::Value("n"), rt::Value(1)}};
    EXPECT_EQ(rt::valueForKeyPath(rt::Value(outer), "a.b").intValue(), 2);
    EXPECT_EQ(rt::valueForKeyPath(rt::Value(outer), "n").intValue(), 1);
    EXPECT_TRUE(rt::valueForKeyPath(rt::Value(outer), "missing").isNil());
    EXPECT_TRUE(rt::valueForKeyPath(rt::Value(outer), "missing.deeper").isNil());

    // An object property holding a dictionary continues the path into it.
    auto task = rt::make<Task>();
    task->setInfo(rt::Value(outer));
    EXPECT_EQ(task->valueForKeyPath("info.a.b").intValue(), 2);

    // Arrays map the key over their elements; missing values keep their place as null.
    auto l1 = rt::make<Leaf>();
    auto l2 = rt::make<Leaf>();
    l1->setCount(1);
    l2->setCount(2);
    rt::Value list{rt::Value(l1), rt::Value(outer), rt::Value(l2)};
    rt::Value counts = rt::valueForKeyPath(list, "count");
    ASSERT_TRUE(counts.isArray());
    ASSERT_EQ(counts.array().size(), 3u);
    EXPECT_EQ(counts.array()[0].intValue(), 1);
    EXPECT_TRUE(counts.array()[1].isNull());
    EXPECT_EQ(counts.array()[2].intValue(), 2);
    rt::Value dicts{rt::Value(outer), rt::Value(outer)};
    rt::Value bs = rt::valueForKeyPath(dicts, "a.b");
    ASSERT_EQ(bs.array().size(), 2u);
    EXPECT_EQ(bs.array()[1].intValue(), 2);

    EXPECT_EQ(exceptionName([] { rt::valueForKeyPath(rt::Value(3), "x"); }), rt::Exception::UndefinedKey);
}

namespace {
class Record : public rt::Object {
    RT_CLASS(Record, rt::Object)
public:
    static void describe(rt::ClassBuilder<Record>& c) {
        c.property("tags", &Record::tags, [](Record& r, const rt::Value& v) { r.tags_ = rt::fromValue<std::vector<std::string>>(v); });
        c.property("scores", &Record::scores, &Record::setScores);
        c.property("when", &Record::when, &Record::setWhen);
        c.property("bytes", &Record::bytes, &Record::setBytes);
        c.property("size", &Record::size, &Record::setSize);
    }
    std::vector<std::string> tags() const { return tags_; }
    std::map<std::string, double> scores() const { return scores_; }
    void setScores(const std::map<std::string, double>& v) { scores_ = v; }
    rt::Date when() const { return when_; }
    void setWhen(rt::Date v) { when_ = v; }
    rt::Data bytes() const { return bytes_; }
    void setBytes(const rt::Data& v) { bytes_ = v; }
    unsigned long long size() const { return size_; }
    void setSize(unsigned long long v) { size_ = v; }

private:
    std::vector<std::string> tags_;
    std::map<std::string, double> scores_;
    rt::Date when_;
    rt::Data bytes_;
    unsigned long long size_ = 0;
};
}  // namespace

TEST(KVCTest, CollectionsDatesDataAndWideNumbersRoundTrip) {
    auto r = rt::make<Record>();
    r->setValueForKey(rt::Value{rt::Value("a"), rt::Value("b")}, "tags");
    EXPECT_EQ(r->tags(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(r->valueForKey("tags").array().size(), 2u);
    EXPECT_EQ(exceptionName([&] { r->setValueForKey(rt::Value{rt::Value(1)}, "tags"); }), rt::Exception::InvalidArgument);

    r->setValueForKey(rt::Value(rt::Dictionary{{rt::Value("x"), rt::Value(0.5)}}), "scores");
    EXPECT_EQ(r->scores().at("x"), 0.5);
    EXPECT_EQ(r->valueForKeyPath("scores.x").doubleValue(), 0.5);

    r->setValueForKey(rt::Value(rt::Date{1000}), "when");
    EXPECT_EQ(r->valueForKey("when").date().secondsSince1970, 1000);
    r->setValueForKey(rt::Value(rt::Data{1, 2, 3}), "bytes");
    EXPECT_EQ(r->bytes().size(), 3u);

    // The full unsigned range survives the trip.
    r->setValueForKey(rt::Value(18446744073709551615ull), "size");
    EXPECT_EQ(r->size(), 18446744073709551615ull);
    EXPECT_EQ(r->valueForKey("size").numberValue().unsignedLongLongValue(), 18446744073709551615ull);

    // A dictionary on the way is a value, not something that takes writes.
    EXPECT_EQ(exceptionName([&] { r->setValueForKeyPath(rt::Value(1.0), "scores.x"); }), rt::Exception::InvalidArgument);
}
