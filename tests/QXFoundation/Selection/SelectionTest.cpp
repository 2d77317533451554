#include <gtest/gtest.h>

#include <QXFoundation/Listening/IListenable.h>
#include <QXFoundation/Lists/ArrayList.h>
#include "Selection/ListSelection.h"
#include <rt/KVO.h>

namespace {

using namespace zid;
using Calls = std::vector<std::string>;

// Records listener calls and key-value notices in one sequence.
class SelectionLog : public rt::Object, public ISelectionListener {
public:
    void selectionDidSelectObject(ListSelection&, const rt::Value& object) override {
        calls.push_back("select " + object.description());
    }
    void selectionDidDeselectObject(ListSelection&, const rt::Value& object) override {
        calls.push_back("deselect " + object.description());
    }
    void watch(const rt::Ref<rt::Object>& selection, const std::string& key) {
        tokens.push_back(rt::observe(selection, key, rt::KVONew | rt::KVOPrior, [this, key](const rt::KVOChange& c) {
            calls.push_back((c.isPrior ? "will " : "did ") + key);
        }));
    }
    Calls calls;
    std::vector<rt::Ref<rt::Observation>> tokens;
};

struct SelectionTest : ::testing::Test {
    rt::Ref<MutableArrayList> list = MutableArrayList::listWithArray({"A", "B", "C"});
    rt::Ref<SelectionLog> log = rt::make<SelectionLog>();
    template <class S> rt::Ref<S> make() {
        auto selection = S::selectionWithList(list);
        addListener(*selection, log);
        log->watch(selection, "selectedObjects");
        return selection;
    }
};

TEST_F(SelectionTest, SelectingTwiceChangesNothingTheSecondTime) {
    auto selection = make<MultipleSelection>();
    selection->selectObject("B");
    selection->selectObject("B");
    selection->selectObject(rt::Value());
    EXPECT_EQ(log->calls, (Calls{"will selectedObjects", "select B", "did selectedObjects"}));
    auto earlier = selection->selectedObjects();
    selection->selectAll();
    selection->selectAll();
    EXPECT_EQ(rt::Value(selection->selectedObjects()), rt::Value(rt::Value::Array{"B", "A", "C"}));
    EXPECT_EQ(rt::Value(earlier), rt::Value(rt::Value::Array{"B"}));  // a copy
    log->calls.clear();
    selection->deselectAll();
    EXPECT_EQ(log->calls, (Calls{"will selectedObjects", "will selectedObjects", "deselect B", "deselect A", "deselect C",
                                 "did selectedObjects", "did selectedObjects"}));
}

TEST_F(SelectionTest, ObjectsLeavingTheListAreDeselectedWhenItsBatchCloses) {
    auto selection = make<MultipleSelection>();
    selection->selectAllFromArray({"A", "C", "X"});
    log->calls.clear();
    list->beginUpdates();
    list->removeObjectAtIndex(0);
    EXPECT_TRUE(selection->isSelected("A"));
    list->endUpdates();
    EXPECT_EQ(log->calls, (Calls{"will selectedObjects", "deselect A", "did selectedObjects", "will selectedObjects",
                                 "deselect X", "did selectedObjects"}));
    EXPECT_EQ(rt::Value(selection->selectedObjects()), rt::Value(rt::Value::Array{"C"}));
}

TEST_F(SelectionTest, AutoselectPicksTheFirstObjectWheneverNothingIsSelected) {
    auto selection = make<SingleSelection>();
    selection->setAutoselect(true);
    EXPECT_EQ(selection->selectedObject(), rt::Value("A"));
    list->removeObjectAtIndex(0);
    EXPECT_EQ(selection->selectedObject(), rt::Value("B"));
    list->removeAllObjects();
    EXPECT_TRUE(selection->selectedObject().isNil());
    list->addObject("D");
    EXPECT_EQ(selection->selectedObject(), rt::Value("D"));
}

TEST_F(SelectionTest, SingleSelectionReplacesInsideOnePairOfEachProperty) {
    auto selection = make<SingleSelection>();
    log->watch(selection, "selectedObject");
    selection->selectObject("A");
    log->calls.clear();
    selection->selectObject("B");
    EXPECT_EQ(log->calls, (Calls{"will selectedObjects", "will selectedObject", "deselect A", "select B",
                                 "did selectedObject", "did selectedObjects"}));
    selection->setSelectedObject(rt::Value::null());
    EXPECT_TRUE(selection->selectedObjects().empty());
    selection->setValueForKey(rt::Value("C"), "selectedObject");
    EXPECT_EQ(selection->valueForKey("selectedObject"), rt::Value("C"));
}

TEST_F(SelectionTest, BulkOperationsOfASingleSelectionKeepOneObject) {
    auto selection = make<SingleSelection>();
    selection->selectObject("A");
    selection->selectAll();
    EXPECT_EQ(rt::Value(selection->selectedObjects()), rt::Value(rt::Value::Array{"C"}));
    selection->selectAllFromArray({"A", "B"});
    EXPECT_EQ(rt::Value(selection->selectedObjects()), rt::Value(rt::Value::Array{"B"}));
    selection->deselectAllFromArray({"B"});
    EXPECT_TRUE(selection->selectedObject().isNil());
}

class OddOnly : public MultipleSelection {
    RT_CLASS(OddOnly, MultipleSelection)
public:
    using MultipleSelection::MultipleSelection;
    bool canSelect(const rt::Value& object) const override { return object.string() != "B"; }
};

TEST_F(SelectionTest, EverySelectingPathAsksCanSelect) {
    auto selection = rt::make<OddOnly>(list);
    selection->selectObject("B");
    selection->selectAll();
    EXPECT_EQ(rt::Value(selection->selectedObjects()), rt::Value(rt::Value::Array{"A", "C"}));
    auto single = toSingleSelection(list);
    EXPECT_EQ(single->list(), list);
    auto multiple = toMultipleSelection(list);
    multiple->setList(MutableArrayList::listWithArray({"Z"}));
    multiple->selectObject("A");
    list->removeObjectAtIndex(0);  // the old list: no longer followed
    EXPECT_TRUE(multiple->isSelected("A"));
}

}  // namespace

namespace {

using namespace zid;

class ThrowingSelectionListener : public rt::Object, public ISelectionListener {
public:
    void selectionDidSelectObject(ListSelection&, const rt::Value&) override { throw std::runtime_error("listener failed"); }
};

class ThrowingListListener : public rt::Object, public IListListener {
public:
    void listDidChangeContent(IList&) override { throw std::runtime_error("listener failed"); }
};

TEST(SelectionNoticesTest, ChangeNoticesStayBalancedWhenAListenerThrows) {
    auto list = MutableArrayList::listWithArray({"A", "B"});
    auto selection = MultipleSelection::selectionWithList(list);
    auto thrower = rt::make<ThrowingSelectionListener>();
    addListener(*selection, thrower);
    std::vector<std::string> notices;
    auto token = rt::observe(selection, "selectedObjects", rt::KVONew | rt::KVOPrior,
                             [&](const rt::KVOChange& c) { notices.push_back(c.isPrior ? "will" : "did"); });
    EXPECT_THROW(selection->selectObject("A"), std::runtime_error);
    EXPECT_EQ(notices, (std::vector<std::string>{"will", "did"}));

    // a list's did notices of "count" and "isEmpty" go out too
    auto listThrower = rt::make<ThrowingListListener>();
    addListener(*list, listThrower);
    std::vector<std::string> listNotices;
    std::vector<rt::Ref<rt::Observation>> tokens;
    for (std::string key : {"count", "isEmpty"})
        tokens.push_back(rt::observe(list, key, rt::KVONew | rt::KVOPrior, [&, key](const rt::KVOChange& c) {
            listNotices.push_back((c.isPrior ? "will " : "did ") + key);
        }));
    EXPECT_THROW(list->addObject("C"), std::runtime_error);
    EXPECT_EQ(listNotices, (std::vector<std::string>{"will isEmpty", "will count", "did count", "did isEmpty"}));
    EXPECT_EQ(list->count(), 3u);
}

TEST(SelectionNoticesTest, AutoselectSetInCodeIsObservable) {
    auto list = MutableArrayList::listWithArray({"A", "B"});
    auto selection = SingleSelection::selectionWithList(list);
    std::vector<bool> seen;
    auto token = rt::observe(selection, ListSelection::autoselectKey, *selection,
                             [&](ListSelection&, bool, bool now) { seen.push_back(now); });
    selection->setAutoselect(true);
    selection->setAutoselect(true);  // unchanged: no notice
    selection->setValueForKey(rt::Value(false), "autoselect");
    EXPECT_EQ(seen, (std::vector<bool>{true, false}));
    EXPECT_EQ(selection->selectedObject(), rt::Value("A"));  // turning it on selected the first object
}

}  // namespace
