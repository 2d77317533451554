#include <RudoreVaz/Controls/ControlCommands.h>

#include <algorithm>
#include <memory>
#include <type_traits>

#include <rt/ChangeScope.h>
#include <RuzEzo/Binding/FKBindingCategory.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Interface/FKActionSignal.h>
#include <RuzEzo/Interface/FKTextSignals.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <ui/Button.h>

namespace zid {

namespace {

constexpr const char* kButtonCommand = "kUIButtonCommand";
constexpr const char* kButtonCommandHandler = "kUIButtonCommandHandler";
constexpr const char* kButtonRunningTasks = "kUIButtonRunningTasks";
constexpr const char* kItemCommand = "kUIBarButtonItemCommand";
constexpr const char* kItemCommandHandler = "kUIBarButtonItemCommandHandler";
constexpr const char* kFieldReturnCommand = "kUITextFieldReturnCommand";
constexpr const char* kFieldReturnCommandHandler = "kUITextFieldReturnCommandHandler";
constexpr const char* kViewSingleTapCommand = "kUIViewSingleTapCommand";
constexpr const char* kViewSingleTapCommandHandler = "kUIViewSingleTapCommandHandler";
constexpr const char* kViewTask = "kUIViewTask";
constexpr const char* kViewTaskHandler = "kUIViewTaskHandler";
constexpr const char* kViewActivityIndicator = "kUIViewActivityIndicator";

// The stored commands and task read by key, so "command.disabled" and the like are
// keypaths of the control itself.
const bool propertiesRegistered = [] {
    ui::View::registerExtensionProperty("command", [](const ui::View& v) { return v.associatedObject(kButtonCommand); });
    ui::View::registerExtensionProperty("returnCommand",
                                        [](const ui::View& v) { return v.associatedObject(kFieldReturnCommand); });
    ui::View::registerExtensionProperty("singleTapCommand",
                                        [](const ui::View& v) { return v.associatedObject(kViewSingleTapCommand); });
    ui::View::registerExtensionProperty("task", [](const ui::View& v) { return v.associatedObject(kViewTask); });
    return true;
}();

void store(rt::Object& owner, const char* key, const rt::Ref<rt::Object>& value) {
    (void)propertiesRegistered;
    rt::ChangeScope scope(owner, {std::string(key) == kButtonCommand           ? "command"
                                  : std::string(key) == kFieldReturnCommand    ? "returnCommand"
                                  : std::string(key) == kViewSingleTapCommand ? "singleTapCommand"
                                  : std::string(key) == kViewTask              ? "task"
                                                                               : key});
    owner.setAssociatedObject(rt::Value(value), key);
}

// How many tasks the button's command returned are still running, as a signal the
// "enabled" binding reads. Kept across command changes: a task of the previous command
// still holds the button.
FKSignalRef runningTasks(ui::Button& button) {
    if (auto existing = button.associatedObject(kButtonRunningTasks).as<FKSignal>()) return existing;
    auto made = rt::make<FKSignal>();
    made->setValue(rt::Value(0LL));
    button.setAssociatedObject(rt::Value(std::static_pointer_cast<rt::Object>(made)), kButtonRunningTasks);
    return made;
}

void disposeHandler(rt::Object& owner, const char* key) {
    if (auto h = owner.associatedObject(key).as<OnSignalHelper>()) h->dispose();
    owner.setAssociatedObject(rt::Value(), key);
}

// Executes the owner's command, as commandOf reads it then, with the owner as sender each
// time trigger sends, for as long as the owner lives. The handler is kept under
// handlerKey, where the next command's setter ends it.
template <class Owner>
void executeOnSignal(Owner& owner, const FKSignalRef& trigger,
                     rt::Ref<rt::Object> (*commandOf)(const std::type_identity_t<Owner>&), const char* handlerKey) {
    rt::Weak<Owner> weak = owner.template selfAs<Owner>();
    auto handler = onSignal(trigger, deallocSignal(owner), [weak, commandOf](const rt::Value&) {
        auto strong = weak.lock();
        if (!strong) return;
        if (auto* cmd = asCommand(commandOf(*strong))) cmd->execute(strong);
    });
    owner.setAssociatedObject(rt::Value(std::static_pointer_cast<rt::Object>(handler)), handlerKey);
}

IconResolver& iconResolver() {
    static IconResolver resolver = [](const std::string& name) -> rt::Ref<ui::Image> {
        for (const auto& bundle : std::vector<rt::Ref<fnd::Bundle>>{fnd::Bundle::main(), RudoreVazBundle()}) {
            if (!bundle) continue;
            if (auto path = bundle->pathForResource(name, "png")) return ui::Image::imageWithContentsOfFile(*path);
        }
        return nullptr;
    };
    return resolver;
}

}  // namespace

IconResolver setIconResolver(IconResolver resolver) {
    auto old = std::move(iconResolver());
    iconResolver() = std::move(resolver);
    return old;
}

// ---- button -------------------------------------------------------------------------------------

void setCommand(ui::Button& button, const rt::Ref<rt::Object>& c) {
    disposeHandler(button, kButtonCommandHandler);
    store(button, kButtonCommand, c);
    // Enabled while the command is and no task it returned is running: a command that
    // turns itself off and on again during its task cannot free the button early.
    bindingWithKeypath(button, "enabled")
        ->setSignal(signalForKeypath(button, "command.disabled")->not_()->and_(runningTasks(button)->not_()));
    rt::Weak<ui::Button> weak = button.selfAs<ui::Button>();
    auto dealloc = deallocSignal(button);
    auto handler = onSignal(signalForEvents(button, ui::ControlEvents::TouchUpInside), dealloc, [weak](const rt::Value&) {
        if (auto b = weak.lock()) executeCommand(*b);
    });
    onSignal(signalForKeypath(button, "command.title"), dealloc, [weak](const rt::Value& v) {
        auto b = weak.lock();
        if (b && v.isString()) b->setTitle(v.string(), ui::ControlState::Normal);
    });
    onSignal(signalForKeypath(button, "command.icon"), dealloc, [weak](const rt::Value& v) {
        auto b = weak.lock();
        if (b && v.isString() && !v.string().empty()) {
            if (auto& resolve = iconResolver()) b->setImage(resolve(v.string()), ui::ControlState::Normal);
        }
    });
    button.setAssociatedObject(rt::Value(std::static_pointer_cast<rt::Object>(handler)), kButtonCommandHandler);
}

rt::Ref<rt::Object> command(const ui::Button& button) { return button.associatedObject(kButtonCommand).object(); }

void executeCommand(ui::Button& button) {
    auto c = command(button);
    auto* cmd = asCommand(c);
    if (!cmd) return;
    auto self = button.selfAs<ui::Button>();
    auto t = cmd->execute(self);
    if (!t) return;
    // Counted, not flagged: with two tasks running, the first to end leaves the button
    // off. Once none runs the button follows the command's flag again.
    auto running = runningTasks(button);
    running->setValue(rt::Value(running->lastValue().longLongValue() + 1));
    button.setEnabled(false);
    rt::Weak<ui::Button> weak = self;
    auto counted = std::make_shared<bool>(false);
    auto finished = signalForKeypath(*t, "isFinished")->toBool()->filter([](const rt::Value& v) { return v.boolValue(); });
    onSignal(finished, deallocSignal(button), [weak, counted](const rt::Value&) {
        auto b = weak.lock();
        if (!b || *counted) return;
        *counted = true;
        auto tasks = runningTasks(*b);
        long long left = std::max(0LL, tasks->lastValue().longLongValue() - 1);
        tasks->setValue(rt::Value(left));
        if (left > 0) return;
        auto* now = asCommand(command(*b));
        b->setEnabled(!(now && now->disabled()));
    });
}

// ---- bar button item -------------------------------------------------------------------------------

void setCommand(ui::BarButtonItem& item, const rt::Ref<rt::Object>& c) {
    disposeHandler(item, kItemCommandHandler);
    item.setAssociatedObject(rt::Value(c), kItemCommand);
    // The item is not a view: it follows the command's own keypaths, renewed here.
    if (c) {
        bindingWithKeypath(item, "enabled")->setSignal(signalForKeypath(*c, "disabled")->not_());
        bindingWithKeypath(item, "title")->setSignal(signalForKeypath(*c, "title"));
    } else {
        bindingWithKeypath(item, "enabled")->setSignal(FKSignalRef());
        bindingWithKeypath(item, "title")->setSignal(FKSignalRef());
        item.setEnabled(true);
        item.setTitle("");
    }
    executeOnSignal(item, actionSignal(item), command, kItemCommandHandler);
}

rt::Ref<rt::Object> command(const ui::BarButtonItem& item) { return item.associatedObject(kItemCommand).object(); }

// ---- text field --------------------------------------------------------------------------------------

void setReturnCommand(ui::TextField& field, const rt::Ref<rt::Object>& c) {
    disposeHandler(field, kFieldReturnCommandHandler);
    store(field, kFieldReturnCommand, c);
    bindingWithKeypath(field, "enabled")->setSignal(signalForKeypath(field, "returnCommand.disabled")->not_());
    bindingWithKeypath(field, "placeholder")->setSignal(signalForKeypath(field, "returnCommand.title"));
    executeOnSignal(field, returnSignal(field), returnCommand, kFieldReturnCommandHandler);
}

rt::Ref<rt::Object> returnCommand(const ui::TextField& field) {
    return field.associatedObject(kFieldReturnCommand).object();
}

// ---- any view ---------------------------------------------------------------------------------------

void setSingleTapCommand(ui::View& view, const rt::Ref<rt::Object>& c) {
    disposeHandler(view, kViewSingleTapCommandHandler);
    store(view, kViewSingleTapCommand, c);
    bindingWithKeypath(view, "userInteractionEnabled")
        ->setSignal(signalForKeypath(view, "singleTapCommand.disabled")->not_());
    executeOnSignal(view, singleTapSignal(view), singleTapCommand, kViewSingleTapCommandHandler);
}

rt::Ref<rt::Object> singleTapCommand(const ui::View& view) {
    return view.associatedObject(kViewSingleTapCommand).object();
}

void setTask(ui::View& view, const rt::Ref<AKOperationTask>& t) {
    setTaskHandler(view, nullptr);
    store(view, kViewTask, t);
    if (!t) return;
    rt::Weak<ui::View> weak = view.selfAs<ui::View>();
    auto handler = onSignal(signalForKeypath(view, "task.isFinished"), deallocSignal(view), [weak](const rt::Value& v) {
        auto owner = weak.lock();
        if (!owner) return;
        if (!v.boolValue()) {
            auto indicator = rt::make<ui::ActivityIndicatorView>(ui::ActivityIndicatorViewStyle::Gray);
            setActivityIndicator(*owner, indicator);
            indicator->setTintColor(ui::Color::rgba(1, 0, 0));
            indicator->startAnimating();
        } else {
            setActivityIndicator(*owner, nullptr);
        }
    });
    setTaskHandler(view, handler);
}

rt::Ref<AKOperationTask> task(const ui::View& view) { return view.associatedObject(kViewTask).as<AKOperationTask>(); }

void setTaskHandler(ui::View& view, const rt::Ref<OnSignalHelper>& handler) {
    if (auto old = taskHandler(view)) old->dispose();
    view.setAssociatedObject(handler ? rt::Value(std::static_pointer_cast<rt::Object>(handler)) : rt::Value(),
                             kViewTaskHandler);
}

rt::Ref<OnSignalHelper> taskHandler(const ui::View& view) {
    return view.associatedObject(kViewTaskHandler).as<OnSignalHelper>();
}

void setActivityIndicator(ui::View& view, const rt::Ref<ui::ActivityIndicatorView>& indicator) {
    if (auto old = activityIndicator(view)) old->removeFromSuperview();
    view.setAssociatedObject(indicator ? rt::Value(std::static_pointer_cast<rt::Object>(indicator)) : rt::Value(),
                             kViewActivityIndicator);
    if (!indicator) return;
    view.addSubview(indicator);
    ui::Rect b = view.bounds();
    indicator->setCenter(ui::Point{b.size.width / 2, b.size.height / 2});
}

rt::Ref<ui::ActivityIndicatorView> activityIndicator(const ui::View& view) {
    return view.associatedObject(kViewActivityIndicator).as<ui::ActivityIndicatorView>();
}

}  // namespace zid
