#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <string>
#include <vector>

#include <QXFoundation/Listening/IListenable.h>
#include <rt/Exception.h>
#include <rt/Message.h>
#include <rt/MethodTable.h>
#include <rt/Protocol.h>
#include <rt/StandIn.h>
#include <rt/Value.h>

namespace {

class Notifier : public rt::Object {
    RT_CLASS(Notifier, rt::Object)
};

class IProbeListener {
public:
    virtual ~IProbeListener() = default;
    virtual void probeDidFire(Notifier& notifier, int value) { (void)notifier, (void)value; }
    virtual bool probeShouldGo(Notifier& notifier) {
        (void)notifier;
        zid::raiseUnimplementedReturningSelector("probeShouldGo:");
    }
};

class Recorder : public rt::Object, public IProbeListener, public zid::IObjectChangeListener {
    RT_CLASS(Recorder, rt::Object)
public:
    std::vector<int> received;
    int willChanges = 0, didChanges = 0;
    void probeDidFire(Notifier&, int value) override { received.push_back(value); }
    void objectWillChange(rt::Object&) override { ++willChanges; }
    void objectDidChange(rt::Object&) override { ++didChanges; }
};

// Implements none of the optional methods.
class Silent : public rt::Object, public IProbeListener {
    RT_CLASS(Silent, rt::Object)
};

class Answerer : public rt::Object, public IProbeListener {
    RT_CLASS(Answerer, rt::Object)
public:
    explicit Answerer(bool answer) : answer_(answer) {}
    int asked = 0;
    bool probeShouldGo(Notifier&) override {
        ++asked;
        return answer_;
    }

private:
    bool answer_;
};

class Thrower : public rt::Object, public IProbeListener {
    RT_CLASS(Thrower, rt::Object)
public:
    bool probeShouldGo(Notifier&) override { throw std::runtime_error("listener failed"); }
};

void fire(Notifier& n, int value) {
    zid::notifyListeners<IProbeListener>(n, [&](IProbeListener& l) { l.probeDidFire(n, value); });
}

bool ask(Notifier& n, bool defaultAnswer) {
    return zid::askListeners<IProbeListener>(n, [&](IProbeListener& l) { return l.probeShouldGo(n); }, defaultAnswer);
}

TEST(ListenerTest, RegistrationIsOncePerListenerAndSharedProxyAcrossNotifiers) {
    auto a = rt::make<Notifier>(), b = rt::make<Notifier>();
    auto r = rt::make<Recorder>();
    zid::addListener(*a, r);
    zid::addListener(*a, r);
    zid::addListener(*b, r);
    EXPECT_EQ(zid::listenerProxies(*a).size(), 1u);
    EXPECT_EQ(zid::listenerProxies(*a)[0], zid::listenerProxies(*b)[0]);
    EXPECT_EQ(zid::listenerProxies(*a)[0]->target(), r);

    fire(*a, 1);
    EXPECT_EQ(r->received, std::vector<int>{1});

    zid::removeListener(*a, *r);
    fire(*a, 2);
    fire(*b, 3);
    EXPECT_EQ(r->received, (std::vector<int>{1, 3}));

    // Removing a listener that never registered anywhere is harmless.
    auto stranger = rt::make<Recorder>();
    zid::removeListener(*a, *stranger);
}

TEST(ListenerTest, WalksOverNoListenersHaveTheirEmptyAnswers) {
    auto n = rt::make<Notifier>();
    int calls = 0;
    zid::notifyListeners<IProbeListener>(*n, [&](IProbeListener&) { ++calls; });
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(n->associatedObject("__listeners").object(), zid::listeners(*n));
    EXPECT_TRUE(ask(*n, false));
    EXPECT_TRUE(zid::allListeners<IProbeListener>(*n, [](IProbeListener&) { return false; }));
    EXPECT_FALSE(zid::anyListener<IProbeListener>(*n, [](IProbeListener&) { return true; }));
}

TEST(ListenerTest, FreedListenerDropsOutWithoutRemoval) {
    auto n = rt::make<Notifier>();
    auto r = rt::make<Recorder>();
    rt::Weak<zid::ListenerProxy> proxy = zid::listenerProxyFor(*r);
    zid::addListener(*n, r);
    r.reset();
    EXPECT_TRUE(proxy.expired());  // the listener's proxy went with it
    int calls = 0;
    zid::notifyListeners<IProbeListener>(*n, [&](IProbeListener&) { ++calls; });
    zid::notifyListeners(*n, [&](zid::ListenerProxy&) { ++calls; });
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(zid::listenerProxies(*n).empty());
}

TEST(ListenerTest, VoidMessageAListenerLacksIsDroppedAndOthersReceiveIt) {
    auto n = rt::make<Notifier>();
    auto silent = rt::make<Silent>();
    auto r = rt::make<Recorder>();
    zid::addListener(*n, silent);
    zid::addListener(*n, r);
    EXPECT_NO_THROW(fire(*n, 7));
    EXPECT_EQ(r->received, std::vector<int>{7});
}

TEST(ListenerTest, ResultMessageAListenerLacksIsRefusedWithTheNamedException) {
    auto n = rt::make<Notifier>();
    auto silent = rt::make<Silent>();
    zid::addListener(*n, silent);
    try {
        zid::allListeners<IProbeListener>(*n, [&](IProbeListener& l) { return l.probeShouldGo(*n); });
        FAIL() << "expected the listener to refuse";
    } catch (const rt::Exception& e) {
        EXPECT_EQ(e.name(), "ListenerProxy::UnimplementedReturningSelectorCalled");
        EXPECT_EQ(e.reason(), "ListenerProxy::selector with return value not implemented:probeShouldGo:");
        EXPECT_TRUE(e.userInfo().empty());
    }
    // The question form counts the refusal as the default answer.
    EXPECT_TRUE(ask(*n, true));
    EXPECT_FALSE(ask(*n, false));
}

TEST(ListenerTest, AskListenersWithARaisingListener) {
    auto n = rt::make<Notifier>();
    auto thrower = rt::make<Thrower>();
    auto yes = rt::make<Answerer>(true);
    zid::addListener(*n, thrower);
    zid::addListener(*n, yes);
    EXPECT_TRUE(ask(*n, true));
    EXPECT_EQ(yes->asked, 1);  // went on past the raising listener
    EXPECT_FALSE(ask(*n, false));
    EXPECT_EQ(yes->asked, 1);  // ended at the raising listener

    auto no = rt::make<Answerer>(false);
    zid::addListener(*n, no);
    EXPECT_FALSE(ask(*n, true));
    // Exceptions are not caught by allListeners / anyListener.
    EXPECT_THROW(zid::anyListener<IProbeListener>(*n, [&](IProbeListener& l) { return l.probeShouldGo(*n); }),
                 std::runtime_error);
}

TEST(ListenerTest, AllAndAnyStopAtTheDecidingListener) {
    auto n = rt::make<Notifier>();
    auto first = rt::make<Answerer>(false), second = rt::make<Answerer>(true);
    zid::addListener(*n, first);
    zid::addListener(*n, second);
    auto askOne = [&](IProbeListener& l) { return l.probeShouldGo(*n); };
    EXPECT_FALSE(zid::allListeners<IProbeListener>(*n, askOne));
    EXPECT_EQ(second->asked, 0);
    EXPECT_TRUE(zid::anyListener<IProbeListener>(*n, askOne));
    EXPECT_EQ(second->asked, 1);
}

class SelfRemover : public rt::Object, public IProbeListener {
    RT_CLASS(SelfRemover, rt::Object)
public:
    rt::Weak<Notifier> notifier;
    int calls = 0;
    void probeDidFire(Notifier& n, int) override {
        ++calls;
        zid::removeListener(n, *this);
    }
};

TEST(ListenerTest, ListenerRemovingItselfDuringNotificationDoesNotDisturbOthers) {
    auto n = rt::make<Notifier>();
    auto before = rt::make<Recorder>();
    auto remover = rt::make<SelfRemover>();
    auto after = rt::make<Recorder>();
    zid::addListener(*n, before);
    zid::addListener(*n, remover);
    zid::addListener(*n, after);
    fire(*n, 1);
    fire(*n, 2);
    EXPECT_EQ(remover->calls, 1);
    EXPECT_EQ(before->received, (std::vector<int>{1, 2}));
    EXPECT_EQ(after->received, (std::vector<int>{1, 2}));
}

class Killer : public rt::Object, public IProbeListener {
    RT_CLASS(Killer, rt::Object)
public:
    rt::Ref<Recorder>* victim = nullptr;
    void probeDidFire(Notifier&, int) override { victim->reset(); }
};

TEST(ListenerTest, ListenerDroppedByAnotherDuringTheWalkStaysAliveForItsCall) {
    auto n = rt::make<Notifier>();
    auto victim = rt::make<Recorder>();
    rt::Weak<Recorder> watch = victim;
    auto killer = rt::make<Killer>();
    killer->victim = &victim;
    zid::addListener(*n, killer);
    zid::addListener(*n, victim);
    fire(*n, 5);  // the victim was in the snapshot but is gone before its turn
    EXPECT_TRUE(watch.expired());
    EXPECT_TRUE(zid::listenerProxies(*n).size() == 1);
}

// Adds a newcomer, or removes a victim, from inside its call.
class Rearranger : public rt::Object, public IProbeListener {
    RT_CLASS(Rearranger, rt::Object)
public:
    rt::Ref<Recorder> newcomer, victim;
    void probeDidFire(Notifier& n, int) override {
        if (newcomer) zid::addListener(n, newcomer);
        if (victim) zid::removeListener(n, *victim);
        newcomer = victim = nullptr;
    }
};

TEST(ListenerTest, AWalkReachesTheListenersOfItsStartWhateverChangesDuringIt) {
    auto n = rt::make<Notifier>();
    auto rearranger = rt::make<Rearranger>();
    auto victim = rt::make<Recorder>(), newcomer = rt::make<Recorder>(), stayer = rt::make<Recorder>();
    zid::addListener(*n, rearranger);
    zid::addListener(*n, victim);
    zid::addListener(*n, stayer);
    fire(*n, 0);  // an unchanged table is walked again without a copy of its own
    rearranger->newcomer = newcomer;
    rearranger->victim = victim;
    fire(*n, 1);  // removed during the walk: still reached; added during it: not yet
    fire(*n, 2);
    EXPECT_EQ(victim->received, (std::vector<int>{0, 1}));
    EXPECT_EQ(newcomer->received, (std::vector<int>{2}));
    EXPECT_EQ(stayer->received, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(zid::listenerProxies(*n).size(), 3u);
}

TEST(ListenerTest, ATableWalkedBeforeAListenerDiesDropsItAtTheNextWalk) {
    auto n = rt::make<Notifier>();
    auto gone = rt::make<Recorder>(), stayer = rt::make<Recorder>();
    zid::addListener(*n, gone);
    zid::addListener(*n, stayer);
    fire(*n, 1);
    gone.reset();
    fire(*n, 2);
    EXPECT_EQ(stayer->received, (std::vector<int>{1, 2}));
    EXPECT_EQ(zid::listeners(*n)->members()->size(), 1u);  // the walk that met it pruned it
}

TEST(ListenerTest, WillAndDidChangeReachChangeListeners) {
    auto n = rt::make<Notifier>();
    auto r = rt::make<Recorder>();
    zid::addListener(*n, r);
    zid::addListener(*n, rt::make<Silent>());  // gone at once; harmless
    zid::willChange(*n);
    zid::didChange(*n);
    zid::didChange(*n);
    EXPECT_EQ(r->willChanges, 1);
    EXPECT_EQ(r->didChanges, 2);
}

TEST(ListenerTest, ProxyDescriptionNamesItsTarget) {
    auto r = rt::make<Recorder>();
    auto proxy = zid::listenerProxyFor(*r);
    EXPECT_NE(proxy->description().find(" target: " + r->description()), std::string::npos);
    r.reset();
    EXPECT_NE(proxy->description().find(" target: (null)"), std::string::npos);
}

class CountingListener : public rt::Object, public IProbeListener {
    RT_CLASS(CountingListener, rt::Object)
public:
    std::atomic<int> calls{0};
    void probeDidFire(Notifier&, int) override { ++calls; }
};

TEST(ListenerTest, StrayRegistrationsFromOtherThreadsDoNotCorruptTheTable) {
    auto n = rt::make<Notifier>();
    constexpr int threads = 8;
    std::vector<rt::Ref<CountingListener>> listeners;
    for (int i = 0; i < threads; ++i) listeners.push_back(rt::make<CountingListener>());
    std::vector<std::thread> workers;
    for (int i = 0; i < threads; ++i)
        workers.emplace_back([&, i] {
            for (int round = 0; round < 50; ++round) {
                zid::addListener(*n, listeners[i]);
                fire(*n, round);
                zid::removeListener(*n, *listeners[i]);
            }
        });
    for (auto& w : workers) w.join();
    for (const auto& l : listeners) EXPECT_GE(l->calls.load(), 50);  // at least its own thread's notices
    EXPECT_TRUE(zid::listenerProxies(*n).empty());
}

// ---- dynamically sent listener messages ------------------------------------------------

const rt::Protocol& probeProtocol() {
    static const rt::Protocol& p = rt::Protocol::describe("IProbeListener")
                                        .optional(rt::sel("probeDidFire:value:"), &IProbeListener::probeDidFire)
                                        .optional(rt::sel("probeShouldGo:"), &IProbeListener::probeShouldGo);
    return p;
}

class ProbeStandIn : public rt::StandIn<IProbeListener> {
    RT_CLASS(ProbeStandIn, rt::Proxy)
public:
    void probeDidFire(Notifier& n, int value) override { forward<void>(rt::sel("probeDidFire:value:"), n, value); }
    bool probeShouldGo(Notifier& n) override { return forward<bool>(rt::sel("probeShouldGo:"), n); }
};

// A listener class made at run time that adopts the protocol by name and implements
// only what is added to its method table.
rt::Ref<rt::Object> dynamicListener(const std::string& className, std::vector<int>* fired) {
    probeProtocol();
    auto* cls = rt::Class::allocateClassPair(&rt::Object::staticClass(), className);
    cls->addProtocol("IProbeListener");
    if (fired)
        rt::addMethod(*cls, rt::sel("probeDidFire:value:"),
                      rt::implementation<void(rt::Object&, rt::Value, int)>(
                          [fired](rt::Object&, rt::Value, int value) { fired->push_back(value); }));
    auto listener = rt::make<rt::Object>();
    listener->setObjectClass(*cls);
    return listener;
}

TEST(ListenerDynamicTest, TheThreeOutcomesOfAMessageSentThroughTheProxy) {
    probeProtocol();
    auto n = rt::make<Notifier>();
    auto typed = rt::make<Recorder>();           // implements probeDidFire, inherits the raising probeShouldGo
    std::vector<int> fired;
    auto dynamic = dynamicListener("ProbeListenerDynA", &fired);  // implements probeDidFire only
    auto bare = dynamicListener("ProbeListenerDynB", nullptr);    // adopts the protocol, implements nothing
    auto stranger = rt::make<Notifier>();       // knows nothing of the protocol
    for (const auto& l : {rt::Ref<rt::Object>(typed), dynamic, bare, rt::Ref<rt::Object>(stranger)}) zid::addListener(*n, l);

    // Delivered where implemented; dropped silently elsewhere.
    zid::notifyListeners(*n, [&](zid::ListenerProxy& p) { p.send(rt::sel("probeDidFire:value:"), n, 4); });
    EXPECT_EQ(typed->received, std::vector<int>{4});
    EXPECT_EQ(fired, std::vector<int>{4});

    // A message with a result: refused by listeners whose protocol declares it but
    // that lack it; answered zero by one that has never heard of it.
    auto askOne = [&](const rt::Ref<rt::Object>& listener) {
        return zid::listenerProxyFor(*listener)->send<bool>(rt::sel("probeShouldGo:"), n);
    };
    for (const auto& refusing : {rt::Ref<rt::Object>(typed), dynamic, bare}) {
        try {
            askOne(refusing);
            ADD_FAILURE() << refusing->className() << " answered";
        } catch (const rt::Exception& e) {
            EXPECT_EQ(e.name(), zid::ListenerProxy::UnimplementedReturningSelectorCalled);
            EXPECT_EQ(e.reason(), "ListenerProxy::selector with return value not implemented:probeShouldGo:");
        }
    }
    EXPECT_FALSE(askOne(stranger));
    EXPECT_EQ(zid::listenerProxyFor(*stranger)->send<int>(rt::sel("count")), 0);
    EXPECT_TRUE(zid::listenerProxyFor(*stranger)->send<rt::Value>(rt::sel("name")).isNil());
}

TEST(ListenerDynamicTest, MessagesToAGoneListenerAnswerZero) {
    auto listener = rt::make<Answerer>(true);
    auto proxy = zid::listenerProxyFor(*listener);
    auto n = rt::make<Notifier>();
    probeProtocol();
    EXPECT_TRUE(proxy->send<bool>(rt::sel("probeShouldGo:"), n));
    listener.reset();
    EXPECT_FALSE(proxy->send<bool>(rt::sel("probeShouldGo:"), n));
    EXPECT_EQ(proxy->send<double>(rt::sel("probeShouldGo:"), n), 0.0);
    EXPECT_NO_THROW(proxy->send(rt::sel("probeDidFire:value:"), n, 1));
    EXPECT_FALSE(proxy->respondsToSelector(rt::sel("probeShouldGo:")));
}

TEST(ListenerDynamicTest, AskListenersCountsARefusalAsTheDefaultAnswer) {
    auto n = rt::make<Notifier>();
    auto bare = dynamicListener("ProbeListenerDynC", nullptr);
    auto yes = rt::make<Answerer>(true);
    zid::addListener(*n, bare);
    zid::addListener(*n, yes);
    auto question = [&](zid::ListenerProxy& p) { return p.send<bool>(rt::sel("probeShouldGo:"), n); };
    EXPECT_TRUE(zid::askListeners(*n, question, true));
    EXPECT_EQ(yes->asked, 1);
    EXPECT_FALSE(zid::askListeners(*n, question, false));
    EXPECT_EQ(yes->asked, 1);
    EXPECT_THROW(zid::allListeners(*n, question), rt::Exception);
}

TEST(ListenerDynamicTest, TypedWalksReachListenersThatAnswerOnlyDynamically) {
    rt::registerStandIn<IProbeListener, ProbeStandIn>("IProbeListener");
    auto n = rt::make<Notifier>();
    std::vector<int> fired;
    auto dynamic = dynamicListener("ProbeListenerDynD", &fired);
    auto typed = rt::make<Recorder>();
    zid::addListener(*n, dynamic);
    zid::addListener(*n, typed);
    fire(*n, 8);
    EXPECT_EQ(fired, std::vector<int>{8});
    EXPECT_EQ(typed->received, std::vector<int>{8});
    // A result it lacks is refused, as for a typed listener without the override.
    EXPECT_TRUE(ask(*n, true));
    EXPECT_FALSE(ask(*n, false));
}

}  // namespace
