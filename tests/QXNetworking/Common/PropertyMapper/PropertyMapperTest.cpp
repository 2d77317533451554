// The property mapper: copying, key paths, several targets, boxings, converters,
// validators, and what happens to entries the mapping does not name.

#include <limits>

#include <gtest/gtest.h>

#include "Common/PropertyMapper/KZPropertyMapper.h"
#include <rt/KVC.h>

using namespace zid;

namespace {

rt::Value dictionary(std::initializer_list<std::pair<rt::Value, rt::Value>> entries) { return rt::Value(rt::Dictionary(entries)); }

class Show : public rt::Object {
    RT_CLASS(Show, rt::Object)
public:
    static void describe(rt::ClassBuilder<Show>& c) {
        c.property("title", &Show::title, &Show::setTitle);
        c.property("count", &Show::count, &Show::setCount);
        c.property("next", &Show::next, &Show::setNext);
    }
    rt::Ref<Show> next() const { return next_; }
    void setNext(rt::Ref<Show> n) { next_ = std::move(n); }
    std::string title() const { return title_; }
    void setTitle(std::string t) { title_ = std::move(t); }
    long long count() const { return count_; }
    void setCount(long long c) { count_ = c; }

private:
    std::string title_;
    long long count_ = 0;
    rt::Ref<Show> next_;
};

class Clip : public rt::Object {
    RT_CLASS(Clip, rt::Object)
public:
    static void describe(rt::ClassBuilder<Clip>&) {}
};

// Collects the mapper's console lines for the length of a test.
class MapperTest : public ::testing::Test {
protected:
    void SetUp() override {
        KZPropertyMapper::setConsoleSink([this](const std::string& line) { console.push_back(line); });
    }
    void TearDown() override { KZPropertyMapper::setConsoleSink(nullptr); }
    bool logged(const std::string& line) const { return std::find(console.begin(), console.end(), line) != console.end(); }
    std::vector<std::string> console;
};

}  // namespace

TEST_F(MapperTest, MapsNamedEntriesAndCopiesTheRestUnderTheirOwnNames) {
    rt::Dictionary target;
    EXPECT_TRUE(KZPropertyMapper::mapValuesFrom(dictionary({{"a", 1}, {"b", 2}}), target, dictionary({{"a", "x"}})));
    EXPECT_TRUE(target.isEqual(rt::Dictionary{{rt::Value("x"), rt::Value(1)}, {rt::Value("b"), rt::Value(2)}}));
}

TEST_F(MapperTest, NullCountsAsNoValueAndRemovesWhatTheTargetHeld) {
    rt::Dictionary target{{rt::Value("x"), rt::Value("old")}, {rt::Value("c"), rt::Value("old")}};
    KZPropertyMapper::mapValuesFrom(dictionary({{"a", rt::Value::null()}, {"c", rt::Value::null()}}), target, dictionary({{"a", "x"}}));
    EXPECT_TRUE(target.empty());
}

TEST_F(MapperTest, UnnamedKeysWithDotsStayLiteralKeysWhileMappedPathsGoIntoNestedDictionaries) {
    rt::Dictionary target{{rt::Value("parent"), rt::Value(rt::Dictionary())}};
    KZPropertyMapper::mapValuesFrom(dictionary({{"a.b", 1}, {"id", 2}}), target, dictionary({{"id", "parent.channelID"}}));
    EXPECT_EQ(target.get(rt::Value("a.b")).longLongValue(), 1);
    EXPECT_EQ(target.get(rt::Value("parent")).dictionary().get(rt::Value("channelID")).longLongValue(), 2);
}

TEST_F(MapperTest, SeveralTargetsAndNestedMappings) {
    rt::Dictionary target;
    EXPECT_TRUE(KZPropertyMapper::mapValuesFrom(dictionary({{"v", 7}, {"inner", dictionary({{"k", 3}, {"other", 4}})}}), target,
                                                dictionary({{"v", "y & z"}, {"inner", dictionary({{"k", "kk"}})}})));
    EXPECT_EQ(target.get(rt::Value("y")).longLongValue(), 7);
    EXPECT_EQ(target.get(rt::Value("z")).longLongValue(), 7);
    // A nested mapping writes into the same target, unnamed nested entries included.
    EXPECT_EQ(target.get(rt::Value("kk")).longLongValue(), 3);
    EXPECT_EQ(target.get(rt::Value("other")).longLongValue(), 4);
    EXPECT_FALSE(target.contains(rt::Value("inner")));
}

TEST_F(MapperTest, ArraySourcesMapByIndexAndNameUnmappedElementsByIndex) {
    rt::Dictionary target;
    EXPECT_TRUE(KZPropertyMapper::mapValuesFrom(rt::Value::Array{rt::Value("first"), rt::Value("second")}, target,
                                                rt::Value(rt::Dictionary{{rt::Value(0), rt::Value("head")}})));
    EXPECT_EQ(target.get(rt::Value("head")).string(), "first");
    EXPECT_EQ(target.get(rt::Value("Index 1")).string(), "second");

    std::vector<rt::Ref<rt::Error>> errors;
    EXPECT_FALSE(KZPropertyMapper::mapValuesFrom(rt::Value::Array{rt::Value(1)}, target, dictionary({{"name", "x"}}), &errors));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0]->localizedDescription(), "Expected key to be number, but got name");
}

TEST_F(MapperTest, ARequiredMemberMissingFailsBeforeAnythingIsWritten) {
    rt::Dictionary target{{rt::Value("keep"), rt::Value(1)}};
    std::vector<rt::Ref<rt::Error>> errors;
    const auto mapping = dictionary({{"a", rt::Value(KZPropertyDescriptor::descriptorWithPropertyName("x")->isRequired())}});
    EXPECT_FALSE(KZPropertyMapper::mapValuesFrom(dictionary({{"b", 2}}), target, mapping, &errors));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0]->localizedDescription(), "x: validation failed on isRequired");
    EXPECT_EQ(errors[0]->code(), KZPropertyMapperErrorCode);
    EXPECT_EQ(errors[0]->domain(), KZPropertyMapperErrorDomain);
    EXPECT_TRUE(target.isEqual(rt::Dictionary{{rt::Value("keep"), rt::Value(1)}}));
    // A null member fails the same way.
    EXPECT_FALSE(KZPropertyMapper::mapValuesFrom(dictionary({{"a", rt::Value::null()}}), target, mapping, &errors));
}

TEST_F(MapperTest, DateAndURLBoxings) {
    rt::Dictionary target;
    EXPECT_TRUE(KZPropertyMapper::mapValuesFrom(dictionary({{"w", "2024-03-01T12:30:05Z"}, {"u", "https://x.test/a?b=1"}}), target,
                                                dictionary({{"w", "@Date(when)"}, {"u", "@URL(link)"}})));
    EXPECT_EQ(target.get(rt::Value("when")).date().secondsSince1970, 1709296205);
    EXPECT_EQ(target.get(rt::Value("link")).string(), "https://x.test/a?b=1");

    rt::Dictionary second;
    EXPECT_FALSE(KZPropertyMapper::mapValuesFrom(dictionary({{"w", "1 March"}, {"u", "not a url"}}), second,
                                                 dictionary({{"w", "@Date(when)"}, {"u", "@URL(link)"}})));
    EXPECT_TRUE(second.empty());
}

TEST_F(MapperTest, MalformedMappingsAnswerNoAndLogTheirCondition) {
    rt::Dictionary target;
    EXPECT_FALSE(KZPropertyMapper::mapValuesFrom(dictionary({{"a", 1}}), target, dictionary({{"a", "@Date(x"}})));
    EXPECT_TRUE(logged("KZPropertyMapper Error: Invalid condition not satisfying: components.count == 4"));
    EXPECT_FALSE(KZPropertyMapper::mapValuesFrom(dictionary({{"a", 1}}), target, dictionary({{"a", "@Nope(x)"}})));
    EXPECT_TRUE(logged("KZPropertyMapper Error: Invalid condition not satisfying: [self respondsToSelector:mappingSelector]"));
    EXPECT_FALSE(KZPropertyMapper::mapValuesFrom(dictionary({{"a", 1}}), target, dictionary({{"a", "@Selector(unknownConverter:, x)"}})));
    EXPECT_TRUE(logged("KZPropertyMapper Error: Invalid condition not satisfying: [target respondsToSelector:selector]"));
    EXPECT_FALSE(KZPropertyMapper::mapValuesFrom(dictionary({{"a", 1}}), target, dictionary({{"a", "@Date(x)"}})));
    EXPECT_TRUE(logged("KZPropertyMapper Error: Invalid condition not satisfying: [value isKindOfClass:NSString.class]"));
    EXPECT_FALSE(KZPropertyMapper::mapValuesFrom(dictionary({{"a", 1}}), target, rt::Value("not a mapping")));
    EXPECT_TRUE(target.empty());
}

TEST_F(MapperTest, ConvertersSeeTheirTargetKeyPathAndTheWholeSourceItem) {
    KZPropertyMapper::registerConverter("testTagged:", [](const KZConversion& c) {
        const rt::Value tag = c.source.dictionary().get(rt::Value("tag"));
        return rt::Value(c.keyPath + "=" + c.value.string() + "/" + (tag.isString() ? tag.string() : "-"));
    });
    rt::Dictionary target;
    // The converter reads "tag" although it comes after the converted member.
    EXPECT_TRUE(KZPropertyMapper::mapValuesFrom(dictionary({{"v", "x"}, {"tag", "t"}}), target,
                                                dictionary({{"v", "@Selector(testTagged:, out)"}})));
    EXPECT_EQ(target.get(rt::Value("out")).string(), "out=x/t");
}

TEST_F(MapperTest, ObjectTargetsTakeOnlyTheirOwnKeysAndNeverRaise) {
    auto show = rt::make<Show>();
    bool answered = true;
    EXPECT_NO_THROW(answered = KZPropertyMapper::mapValuesFrom(dictionary({{"name", "News"}, {"extra", 1}, {"n", 3}}), *show,
                                                               dictionary({{"name", "title"}, {"n", "count"}})));
    EXPECT_TRUE(answered);  // the unnamed "extra" is not the object's: skipped
    EXPECT_EQ(show->title(), "News");
    EXPECT_EQ(show->count(), 3);

    EXPECT_NO_THROW(answered = KZPropertyMapper::mapValuesFrom(dictionary({{"a", 1}}), *show, dictionary({{"a", "noSuchKey"}})));
    EXPECT_FALSE(answered);
    EXPECT_NO_THROW(answered = KZPropertyMapper::mapValuesFrom(dictionary({{"n", "three"}}), *show, dictionary({{"n", "count"}})));
    EXPECT_FALSE(answered);
    EXPECT_EQ(show->count(), 3);
    EXPECT_TRUE(logged("KZPropertyMapper Error: Invalid condition not satisfying: isSameTypeObject"));
}

TEST_F(MapperTest, ATypeMismatchNamesTheValuesClassAndTheDeclaredOne) {
    auto show = rt::make<Show>();
    KZPropertyMapper::mapValuesFrom(dictionary({{"n", "three"}, {"t", 4}}), *show, dictionary({{"n", "count"}, {"t", "title"}}));
    KZPropertyMapper::mapValuesFrom(dictionary({{"c", rt::Value(rt::make<Clip>())}}), *show, dictionary({{"c", "next"}}));
    EXPECT_TRUE(logged("KZPropertyMapper: Ignoring mapping from n to count because type String does NOT match Number"));
    EXPECT_TRUE(logged("KZPropertyMapper: Ignoring mapping from t to title because type Number does NOT match String"));
    EXPECT_TRUE(logged("KZPropertyMapper: Ignoring mapping from c to next because type Clip does NOT match Show"))
        << ::testing::PrintToString(console);
    EXPECT_FALSE(show->next());
}

TEST(PropertyDescriptor, StringMappings) {
    EXPECT_EQ(KZPropertyDescriptor::descriptorWithPropertyName("title")->stringMapping(), "title");
    EXPECT_EQ(KZPropertyDescriptor::descriptorWithPropertyName("", "Date")->stringMapping(), "Date");
    EXPECT_EQ(KZPropertyDescriptor::descriptorWithPropertyName("when", "Date")->stringMapping(), "@Date(when)");
    EXPECT_EQ(KZPropertyDescriptor::descriptorWithPropertyNameSelector("locale", "supportedLocale:")->stringMapping(),
              "@Selector(supportedLocale:, locale)");
    auto joined = KZPropertyDescriptor::descriptorWithPropertyNameAndMappings(
        "p", {rt::Value("a"), rt::Value("b"), rt::Value("a"), rt::Value(KZPropertyDescriptor::descriptorWithPropertyName("w", "URL")),
              rt::Value(5)});
    ASSERT_TRUE(joined);
    EXPECT_EQ(joined->mapping(), "a & b & @URL(w)");
    EXPECT_EQ(KZPropertyDescriptor::descriptorWithPropertyNameAndMappings("p", {}), nullptr);
}

TEST(PropertyDescriptor, OneSidedAndExactBoundsHoldAtTheirEdgesAndNameTheFailingValidator) {
    constexpr long long lowest = std::numeric_limits<long long>::min();
    constexpr long long highest = std::numeric_limits<long long>::max();
    auto atLeast = KZPropertyDescriptor::descriptorWithPropertyName("n")->min(3);
    EXPECT_TRUE(atLeast->validateValue(rt::Value(3)).empty());
    EXPECT_TRUE(atLeast->validateValue(rt::Value(highest)).empty());
    EXPECT_TRUE(atLeast->validateValue(rt::Value("7 days")).empty());  // text by its leading integer
    const auto below = atLeast->validateValue(rt::Value(2));
    ASSERT_EQ(below.size(), 1u);
    EXPECT_EQ(below[0]->localizedDescription(), "n: validation failed on min");
    EXPECT_FALSE(atLeast->validateValue(rt::Value(rt::Value::Array{})).empty());  // no integer at all

    auto atMost = KZPropertyDescriptor::descriptorWithPropertyName("n")->max(-3);
    EXPECT_TRUE(atMost->validateValue(rt::Value(lowest)).empty());
    EXPECT_TRUE(atMost->validateValue(rt::Value(-3)).empty());
    EXPECT_EQ(atMost->validateValue(rt::Value(-2)).at(0)->localizedDescription(), "n: validation failed on max");

    auto exact = KZPropertyDescriptor::descriptorWithPropertyName("s")->length(2);
    EXPECT_TRUE(exact->validateValue(rt::Value("ab")).empty());
    EXPECT_FALSE(exact->validateValue(rt::Value("a")).empty());
    EXPECT_FALSE(exact->validateValue(rt::Value("abc")).empty());
    EXPECT_EQ(exact->validateValue(rt::Value(12)).at(0)->localizedDescription(),
              "s: validation failed on length");  // a number has no length

    auto shortest = KZPropertyDescriptor::descriptorWithPropertyName("s")->minLength(0);
    EXPECT_TRUE(shortest->validateValue(rt::Value("")).empty());
    EXPECT_FALSE(KZPropertyDescriptor::descriptorWithPropertyName("s")->maxLength(0)->validateValue(rt::Value("a")).empty());
}

TEST(PropertyDescriptor, ValidatorsAcceptTheirRangeWhicheverWayItIsGivenAndRejectNothing) {
    auto length = KZPropertyDescriptor::descriptorWithPropertyName("t")->lengthRange(5, 2);
    EXPECT_FALSE(length->validateValue(rt::Value("a")).empty());
    EXPECT_TRUE(length->validateValue(rt::Value("ab")).empty());
    EXPECT_TRUE(length->validateValue(rt::Value("abcde")).empty());
    EXPECT_FALSE(length->validateValue(rt::Value("abcdef")).empty());
    EXPECT_TRUE(length->validateValue(rt::Value("ééé")).empty());  // counted in characters, not bytes

    auto range = KZPropertyDescriptor::descriptorWithPropertyName("n")->range(10, 0);
    EXPECT_TRUE(range->validateValue(rt::Value(0)).empty());
    EXPECT_TRUE(range->validateValue(rt::Value(10)).empty());
    EXPECT_FALSE(range->validateValue(rt::Value(11)).empty());
    EXPECT_FALSE(range->validateValue(rt::Value(-1)).empty());

    auto chained = KZPropertyDescriptor::descriptorWithPropertyName("c")->minLength(2)->maxLength(3)->oneOf(
        {rt::Value("ab"), rt::Value("abcd")});
    EXPECT_TRUE(chained->validateValue(rt::Value("ab")).empty());
    const auto errors = chained->validateValue(rt::Value("abcd"));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0]->localizedDescription(), "c: validation failed on maxLength");
    // Every validator fails nil and null.
    EXPECT_EQ(chained->validateValue(rt::Value()).size(), 3u);
    EXPECT_EQ(chained->validateValue(rt::Value::null()).size(), 3u);

    auto regex = KZPropertyDescriptor::descriptorWithPropertyName("r")->matchesRegEx(fnd::RegularExpression::make("a"));
    EXPECT_TRUE(regex->validateValue(rt::Value("xa")).empty());
    EXPECT_FALSE(regex->validateValue(rt::Value("aa")).empty());  // exactly one match
    EXPECT_EQ(regex->validateValue(rt::Value("aa"))[0]->localizedDescription(), "r: validation failed on matchesRegex");

    auto exact = KZPropertyDescriptor::descriptorWithPropertyName("e")->equalTo("yes")->length(3)->min(0)->max(0);
    EXPECT_EQ(exact->validateValue(rt::Value("yes")).size(), 0u);  // "yes" reads as the integer 0
    EXPECT_EQ(exact->validateValue(rt::Value("no!")).size(), 1u);
}
