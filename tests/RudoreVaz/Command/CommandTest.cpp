// Commands and control commands. Controls are driven by injected touches, presses and
// the return key: a tapped button disables itself until its task finishes, a newer
// task is not cleared by an older one finishing, and an empty compound is disabled.

#include <vector>

#include <gtest/gtest.h>

#include <RudoreVaz/Command/ICommand.h>
#include <RudoreVaz/Controls/ControlCommands.h>
#include "Task/LogicalTasks/AKCompoundTask.h"
#include <VirtualTime.h>
#include <rt/Exception.h>
#include <ui/NavigationController.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

using namespace zid;
using namespace ui;

namespace {

class CommandTest : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        window = rt::make<Window>(Rect(0, 0, 320, 480));
    }
    static rt::Ref<AKOperationTask> newTask() { return rt::make<AKOperationTask>(); }
    rt::Ref<Window> window;
};

TEST_F(CommandTest, BlockCommandHoldsItsTaskUntilThatTaskFinishes) {
    std::vector<rt::Ref<AKOperationTask>> tasks{newTask(), newTask()};
    std::size_t next = 0;
    auto c = AKBlockCommand::commandWithTitle("Load", [&](const rt::Ref<rt::Object>&) { return tasks[next++]; });
    int fired = 0;
    auto exec = c->executeSignal();
    exec->addValueHandler([&](const rt::Value& v) {
        EXPECT_TRUE(v.isNil());
        ++fired;
    });
    EXPECT_EQ(c->execute(nullptr), tasks[0]);
    EXPECT_EQ(c->execute(nullptr), tasks[1]);
    EXPECT_EQ(fired, 2);
    tasks[0]->setFinished();
    drain();
    EXPECT_EQ(c->task(), tasks[1]);  // the older task finishing leaves the newer one
    tasks[1]->setFinished();
    drain();
    EXPECT_FALSE(c->task());
}

TEST_F(CommandTest, BlockCommandEdgeCases) {
    auto done = newTask();
    done->setFinished();
    drain();
    auto c = AKBlockCommand::commandWithTitle("x", [&](const rt::Ref<rt::Object>&) { return done; });
    EXPECT_EQ(c->execute(nullptr), done);
    EXPECT_FALSE(c->task());  // already finished: nothing held
    auto none = AKBlockCommand::commandWithTitle("y", [](const rt::Ref<rt::Object>&) { return rt::Ref<AKOperationTask>(); });
    EXPECT_FALSE(none->execute(nullptr));
    auto empty = rt::make<AKBlockCommand>("z");
    EXPECT_FALSE(empty->execute(nullptr));
    auto work = newTask();
    auto finish = AKBlockCommand::doneCommandWithTitle("Done", work);
    EXPECT_FALSE(finish->execute(nullptr));
    drain();
    EXPECT_TRUE(work->isFinished());
    EXPECT_EQ(AKBlockCommand::cancelCommandWithTitle("c", newTask())->commandType(), CommandType::Cancel);
    // The cancelling form ends its task as cancelled, not finished; the typed forms keep
    // title, icon and block.
    auto dropped = newTask();
    auto cancelling = AKBlockCommand::cancelCommandWithTitle("Stop", "stop-icon", dropped);
    EXPECT_EQ(cancelling->icon(), "stop-icon");
    EXPECT_FALSE(cancelling->execute(nullptr));
    drain();
    EXPECT_TRUE(dropped->isCancelled());
    int runs = 0;
    auto destructive = AKBlockCommand::destructiveCommandWithTitle("Delete", "bin", [&](const rt::Ref<rt::Object>&) {
        ++runs;
        return rt::Ref<AKOperationTask>();
    });
    EXPECT_EQ(destructive->commandType(), CommandType::Destructive);
    EXPECT_EQ(destructive->title(), "Delete");
    EXPECT_EQ(destructive->icon(), "bin");
    destructive->execute(nullptr);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(AKBlockCommand::doneCommandWithTitle("d", newTask())->commandType(), CommandType::Default);
    auto abstract = rt::make<AKAbstractCommand>("a");
    EXPECT_THROW(abstract->execute(nullptr), rt::Exception);
}

TEST_F(CommandTest, CompoundIsDisabledWhenAllOrNoneOfItsCommandsAre) {
    auto empty = AKCompundCommand::commandWithTitle("none", "", {});
    EXPECT_TRUE(empty->disabled());
    auto a = AKBlockCommand::commandWithTitle("a", [](const rt::Ref<rt::Object>&) { return rt::Ref<AKOperationTask>(); });
    auto t = newTask();
    auto b = AKBlockCommand::commandWithTitle("b", [&](const rt::Ref<rt::Object>&) { return t; });
    auto both = AKCompundCommand::commandWithTitle("both", "", {a, b});
    EXPECT_FALSE(both->disabled());
    a->setDisabled(true);
    EXPECT_FALSE(both->disabled());
    b->setDisabled(true);
    EXPECT_TRUE(both->disabled());
    auto task = both->execute(nullptr);  // disabled commands still run when executed directly
    ASSERT_TRUE(task);
    EXPECT_EQ(rt::cast<AKCompoundTask>(task)->subtasks().size(), 1u);
    auto nils = AKCompundCommand::commandWithTitle("nils", "", {a});
    EXPECT_FALSE(nils->execute(nullptr));
}

TEST_F(CommandTest, TappedButtonWaitsForItsTaskThenFollowsTheCommand) {
    auto button = Button::buttonWithType(ButtonType::System);
    button->setFrame(Rect(10, 10, 100, 40));
    window->addSubview(button);
    EXPECT_FALSE(command(*button));
    rt::Ref<AKOperationTask> t;
    int runs = 0;
    auto c = AKBlockCommand::commandWithTitle("Play", [&](const rt::Ref<rt::Object>& sender) {
        EXPECT_EQ(sender, button);
        ++runs;
        t = newTask();
        return t;
    });
    setCommand(*button, c);
    EXPECT_EQ(button->currentTitle(), "Play");
    c->setTitle("Pause");
    EXPECT_EQ(button->currentTitle(), "Pause");
    TouchInjector in(window);
    in.tap(Point{50, 30});
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(button->isEnabled());
    in.wait(1);
    in.tap(Point{50, 30});
    EXPECT_EQ(runs, 1);  // disabled while the task runs
    t->setFinished();
    drain();
    EXPECT_TRUE(button->isEnabled());
    // A command disabled while its task ran keeps the button disabled at the end.
    in.wait(1);
    in.tap(Point{50, 30});
    c->setDisabled(true);
    t->setFinished();
    drain();
    EXPECT_FALSE(button->isEnabled());
    c->setDisabled(false);
    EXPECT_TRUE(button->isEnabled());
    // A second command replaces the first: one tap runs it once.
    int second = 0;
    setCommand(*button, AKBlockCommand::commandWithTitle("Other", [&](const rt::Ref<rt::Object>&) {
                   ++second;
                   return rt::Ref<AKOperationTask>();
               }));
    in.wait(1);
    in.tap(Point{50, 30});
    EXPECT_EQ(second, 1);
    EXPECT_EQ(runs, 2);
}

TEST_F(CommandTest, AButtonStaysOffUntilItsTaskEndsWhateverTheCommandFlagDoesMeanwhile) {
    auto button = Button::buttonWithType(ButtonType::System);
    button->setFrame(Rect(10, 10, 100, 40));
    window->addSubview(button);
    std::vector<rt::Ref<AKOperationTask>> tasks;
    auto c = AKBlockCommand::commandWithTitle("Load", [&](const rt::Ref<rt::Object>&) {
        tasks.push_back(newTask());
        return tasks.back();
    });
    setCommand(*button, c);
    TouchInjector in(window);
    in.tap(Point{50, 30});
    ASSERT_EQ(tasks.size(), 1u);
    // The command turns itself off and on again while its task runs.
    c->setDisabled(true);
    c->setDisabled(false);
    EXPECT_FALSE(button->isEnabled()) << "the running task still holds the button";
    in.wait(1);
    in.tap(Point{50, 30});
    EXPECT_EQ(tasks.size(), 1u) << "a second tap must not run the command again";
    // A second task started by hand: the first ending leaves the button off.
    executeCommand(*button);
    ASSERT_EQ(tasks.size(), 2u);
    tasks[0]->setFinished();
    drain();
    EXPECT_FALSE(button->isEnabled());
    tasks[1]->setFinished();
    drain();
    EXPECT_TRUE(button->isEnabled()) << "no task runs and the command is enabled";
    // Afterwards the button follows the flag again.
    c->setDisabled(true);
    EXPECT_FALSE(button->isEnabled());
    c->setDisabled(false);
    EXPECT_TRUE(button->isEnabled());
    // A task of a replaced command still holds the button until it ends.
    in.wait(1);
    in.tap(Point{50, 30});
    ASSERT_EQ(tasks.size(), 3u);
    setCommand(*button, AKBlockCommand::commandWithTitle("Other", [](const rt::Ref<rt::Object>&) {
                   return rt::Ref<AKOperationTask>();
               }));
    EXPECT_FALSE(button->isEnabled());
    tasks[2]->setFinished();
    drain();
    EXPECT_TRUE(button->isEnabled());
}

TEST_F(CommandTest, BarButtonItemFollowsAndRunsItsLatestCommand) {
    auto root = rt::make<ViewController>();
    auto item = rt::make<BarButtonItem>("", BarButtonItemStyle::Plain);
    root->navigationItem()->setRightBarButtonItem(item);
    window->setRootViewController(rt::make<NavigationController>(root));
    int first = 0, second = 0;
    auto c1 = AKBlockCommand::commandWithTitle("One", [&](const rt::Ref<rt::Object>&) { ++first; return rt::Ref<AKOperationTask>(); });
    auto c2 = AKBlockCommand::commandWithTitle("Two", [&](const rt::Ref<rt::Object>&) { ++second; return rt::Ref<AKOperationTask>(); });
    setCommand(*item, c1);
    setCommand(*item, c2);
    EXPECT_EQ(item->title(), "Two");
    auto v = item->itemView();
    Rect f = v->convertRectToView(v->bounds(), nullptr);
    TouchInjector(window).tap(Point{midX(f), midY(f)});
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
    c2->setDisabled(true);
    EXPECT_FALSE(item->isEnabled());
}

TEST_F(CommandTest, ReturnCommandOfATextField) {
    auto field = rt::make<TextField>(Rect(10, 100, 200, 30));
    window->addSubview(field);
    int runs = 0;
    auto c = AKBlockCommand::commandWithTitle("Search", [&](const rt::Ref<rt::Object>&) { ++runs; return rt::Ref<AKOperationTask>(); });
    setReturnCommand(*field, c);
    EXPECT_EQ(field->placeholder(), "Search");
    TouchInjector(window).tap(Point{50, 115});
    field->insertText("abc");
    field->returnKey();
    EXPECT_EQ(runs, 1);
    c->setDisabled(true);
    EXPECT_FALSE(field->isEnabled());
}

TEST_F(CommandTest, AReplacedCommandNoLongerRunsAndTheNewOneGetsItsOwnerAsSender) {
    auto view = rt::make<View>(Rect(0, 200, 100, 60));
    auto field = rt::make<TextField>(Rect(10, 100, 200, 30));
    window->addSubview(view);
    window->addSubview(field);
    int old = 0;
    std::vector<rt::Ref<rt::Object>> senders;
    auto stale = AKBlockCommand::commandWithTitle("Old", [&](const rt::Ref<rt::Object>&) { ++old; return rt::Ref<AKOperationTask>(); });
    auto latest = AKBlockCommand::commandWithTitle("New", [&](const rt::Ref<rt::Object>& sender) {
        senders.push_back(sender);
        return rt::Ref<AKOperationTask>();
    });
    setSingleTapCommand(*view, stale);
    setSingleTapCommand(*view, latest);
    setReturnCommand(*field, stale);
    setReturnCommand(*field, latest);
    TouchInjector(window).tap(Point{50, 230});
    TouchInjector(window).tap(Point{50, 115});
    field->returnKey();
    EXPECT_EQ(old, 0);
    ASSERT_EQ(senders.size(), 2u);
    EXPECT_EQ(senders[0], std::static_pointer_cast<rt::Object>(view));
    EXPECT_EQ(senders[1], std::static_pointer_cast<rt::Object>(field));
    setSingleTapCommand(*view, nullptr);  // no command: a tap runs nothing
    TouchInjector(window).tap(Point{50, 230});
    EXPECT_EQ(senders.size(), 2u);
}

TEST_F(CommandTest, SingleTapCommandAndTheTaskIndicatorOfAView) {
    auto view = rt::make<View>(Rect(0, 200, 100, 60));
    window->addSubview(view);
    int taps = 0;
    auto c = AKBlockCommand::commandWithTitle("Tap", [&](const rt::Ref<rt::Object>&) { ++taps; return rt::Ref<AKOperationTask>(); });
    setSingleTapCommand(*view, c);
    TouchInjector(window).tap(Point{50, 230});
    EXPECT_EQ(taps, 1);
    c->setDisabled(true);
    EXPECT_FALSE(view->isUserInteractionEnabled());

    auto t1 = newTask();
    setTask(*view, t1);
    auto indicator = activityIndicator(*view);
    ASSERT_TRUE(indicator);
    EXPECT_EQ(indicator->superview(), view);
    EXPECT_EQ(indicator->center(), (Point{50, 30}));
    EXPECT_TRUE(indicator->isAnimating());
    EXPECT_EQ(indicator->activityIndicatorViewStyle(), ActivityIndicatorViewStyle::Gray);
    setTask(*view, newTask());  // replaced by another unfinished task: still one indicator
    std::size_t indicators = 0;
    for (const auto& s : view->subviews()) indicators += bool(rt::cast<ActivityIndicatorView>(s));
    EXPECT_EQ(indicators, 1u);
    task(*view)->setFinished();
    drain();
    EXPECT_FALSE(activityIndicator(*view));
    EXPECT_TRUE(view->subviews().empty());
}

}  // namespace
