#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <rt/Message.h>
#include <rt/Protocol.h>
#include <rt/Proxy.h>
#include <rt/StandIn.h>
#include <rt/Value.h>

namespace {

class ProxiedPlayer : public rt::Object {
    RT_CLASS(ProxiedPlayer, rt::Object)
};

// A typed protocol: an abstract class with default bodies.
class IPlayerDelegate {
public:
    virtual ~IPlayerDelegate() = default;
    virtual void playerDidStart(ProxiedPlayer& player) { (void)player; }
    virtual bool playerShouldSeek(ProxiedPlayer& player, double to) {
        (void)player, (void)to;
        return true;  // documented fallback
    }
    virtual int rating() = 0;
};

const rt::Protocol& describePlayerDelegate() {
    static const rt::Protocol& p = rt::Protocol::describe("IPlayerDelegate")
                                        .adopts("IProxyTestBase")
                                        .optional(rt::sel("playerDidStart:"), &IPlayerDelegate::playerDidStart)
                                        .optional(rt::sel("playerShouldSeek:to:"), &IPlayerDelegate::playerShouldSeek)
                                        .required(rt::sel("rating"), &IPlayerDelegate::rating)
                                        .classMethod<int()>(rt::sel("version"), false);
    return p;
}

class Delegate : public rt::Object, public IPlayerDelegate {
    RT_CLASS(Delegate, rt::Object)
public:
    std::vector<std::string> calls;
    void playerDidStart(ProxiedPlayer&) override { calls.push_back("start"); }
    int rating() override { return 5; }
};

// Records every forwarded call and answers results itself.
class ForwardingRecorder : public rt::Proxy {
    RT_CLASS(ForwardingRecorder, rt::Proxy)
public:
    std::vector<std::string> forwarded;
    rt::Value lastFirstArgument;
    std::optional<rt::MethodSignature> methodSignatureForSelector(rt::Selector selector) const override {
        if (selector == rt::sel("playerShouldSeek:to:")) return rt::MethodSignature::of<bool(rt::Value, double)>();
        if (selector == rt::sel("rating")) return rt::MethodSignature::of<int()>();
        if (selector == rt::sel("playerDidStart:")) return rt::MethodSignature::of<void(rt::Value)>();
        return std::nullopt;
    }
    void forwardInvocation(rt::Invocation& invocation) override {
        forwarded.push_back(invocation.selector().name());
        if (invocation.methodSignature().numberOfArguments() > 2) lastFirstArgument = invocation.getArgument<rt::Value>(2);
        if (invocation.selector() == rt::sel("rating")) invocation.setReturnValue(7);
        if (invocation.selector() == rt::sel("playerShouldSeek:to:")) invocation.setReturnValue(invocation.getArgument<double>(3) < 10);
    }
};

// A proxy that stands where the typed protocol is expected.
class DelegateStandIn : public rt::StandIn<IPlayerDelegate> {
    RT_CLASS(DelegateStandIn, rt::Proxy)
public:
    void playerDidStart(ProxiedPlayer& p) override { forward<void>(rt::sel("playerDidStart:"), p); }
    bool playerShouldSeek(ProxiedPlayer& p, double to) override { return forward<bool>(rt::sel("playerShouldSeek:to:"), p, to); }
    int rating() override { return forward<int>(rt::sel("rating")); }
};

TEST(ProtocolTest, DescriptionsAdoptionAndDeclaredSelectors) {
    const auto& p = describePlayerDelegate();
    rt::Protocol::describe("IProxyTestBase").optional(rt::sel("baseCall"), &IPlayerDelegate::rating);
    EXPECT_EQ(rt::Protocol::named("IPlayerDelegate"), &p);
    EXPECT_TRUE(p.conformsTo("IProxyTestBase"));
    EXPECT_FALSE(p.conformsTo("Unrelated"));
    auto seek = p.methodDescription(rt::sel("playerShouldSeek:to:"), false, true);
    ASSERT_TRUE(seek);
    EXPECT_EQ(seek->types, "B@:@d");
    EXPECT_FALSE(p.methodDescription(rt::sel("playerShouldSeek:to:"), true, true));
    EXPECT_TRUE(rt::protocolDeclaresSelector(p, rt::sel("version")));
    EXPECT_TRUE(rt::protocolDeclaresSelector(p, rt::sel("rating")));
    EXPECT_FALSE(rt::protocolDeclaresSelector(p, rt::sel("baseCall")));  // declared by the adopted one

    // A class adopting the protocol by name conforms to what it adopts too.
    auto player = rt::make<ProxiedPlayer>();
    EXPECT_FALSE(player->conformsTo("IProxyTestBase"));
    ProxiedPlayer::staticClass().addProtocol("IPlayerDelegate");
    EXPECT_TRUE(player->conformsTo("IProxyTestBase"));
    EXPECT_TRUE(p.isAdoptedBy(*rt::make<Delegate>()));
}

TEST(ProtocolTest, TypedObjectsAnswerTheirProtocolsMessagesDynamically) {
    describePlayerDelegate();
    auto delegate = rt::make<Delegate>();
    auto player = rt::make<ProxiedPlayer>();
    EXPECT_TRUE(rt::respondsToSelector(*delegate, rt::sel("playerDidStart:")));
    rt::send(*delegate, rt::sel("playerDidStart:"), player);
    EXPECT_EQ(delegate->calls, std::vector<std::string>{"start"});
    EXPECT_EQ(rt::send<int>(*delegate, rt::sel("rating")), 5);
    // The default body answers the documented fallback.
    EXPECT_TRUE(rt::send<bool>(*delegate, rt::sel("playerShouldSeek:to:"), player, 3.0));
    EXPECT_EQ(rt::methodSignatureForSelector(*delegate, rt::sel("rating"))->types(), "i@:");
    EXPECT_FALSE(rt::respondsToSelector(*player, rt::sel("rating")));
}

TEST(ProxyTest, ForwardsWhatItsClassLacks) {
    auto recorder = rt::make<ForwardingRecorder>();
    auto player = rt::make<ProxiedPlayer>();
    EXPECT_TRUE(recorder->isProxy());
    EXPECT_EQ(rt::send<int>(*recorder, rt::sel("rating")), 7);
    EXPECT_FALSE(rt::send<bool>(*recorder, rt::sel("playerShouldSeek:to:"), player, 12.0));
    EXPECT_EQ(recorder->lastFirstArgument.object(), player);
    EXPECT_THROW(rt::send(*recorder, rt::sel("unknown")), rt::Exception);
    // The base proxy knows no signatures.
    auto bare = rt::make<rt::Proxy>();
    EXPECT_THROW(rt::send(*bare, rt::sel("rating")), rt::Exception);
}

TEST(ProxyTest, StandInCarriesCallsOfAnAbstractClassProtocol) {
    describePlayerDelegate();
    rt::registerStandIn<IPlayerDelegate, DelegateStandIn>("IPlayerDelegate");
    auto recorder = rt::make<ForwardingRecorder>();
    auto player = rt::make<ProxiedPlayer>();
    rt::Ref<rt::Object> holder;
    IPlayerDelegate* delegate = rt::asProtocol<IPlayerDelegate>(*recorder, holder);
    ASSERT_NE(delegate, nullptr);
    delegate->playerDidStart(*player);
    EXPECT_TRUE(delegate->playerShouldSeek(*player, 2));
    EXPECT_EQ(delegate->rating(), 7);
    EXPECT_EQ(recorder->forwarded, (std::vector<std::string>{"playerDidStart:", "playerShouldSeek:to:", "rating"}));
    EXPECT_EQ(recorder->lastFirstArgument.object(), player);

    // A typed object is its own protocol object; an unrelated object has none.
    auto typed = rt::make<Delegate>();
    rt::Ref<rt::Object> none;
    EXPECT_EQ(rt::asProtocol<IPlayerDelegate>(*typed, none), static_cast<IPlayerDelegate*>(typed.get()));
    EXPECT_FALSE(none);
    EXPECT_EQ(rt::asProtocol<IPlayerDelegate>(*rt::make<rt::Object>(), none), nullptr);
}

}  // namespace
