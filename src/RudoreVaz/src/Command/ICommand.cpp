#include <RudoreVaz/Command/ICommand.h>

#include <QXFoundation/Extensions/BundleExtensions.h>
#include <QXFoundation/Lists/ArrayList.h>
#include "Task/LogicalTasks/AKCompoundTask.h"
#include <RuzEzo/Binding/FKBindingCategory.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Lists/ListSignal.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>
#include <rt/Exception.h>

namespace zid {

ICommand* asCommand(const rt::Ref<rt::Object>& object) { return dynamic_cast<ICommand*>(object.get()); }

// ---- abstract command ----------------------------------------------------------------------

AKAbstractCommand::AKAbstractCommand(std::string title, std::string icon)
    : title_(std::move(title)), icon_(std::move(icon)) {}

rt::Ref<AKOperationTask> AKAbstractCommand::execute(const rt::Ref<rt::Object>&) {
    throw rt::Exception(rt::Exception::InternalInconsistency,
                        "You must override execute: in a subclass of " + objectClass().name());
}

FKSignalRef AKAbstractCommand::executeSignal() {
    rt::Value key(std::string("AKAbstractCommand::onExecuteSignal"));
    if (auto existing = customSignalForKey(*this, key)) return existing;
    auto signal = rt::make<AKExecuteSignal>();
    setCustomSignal(*this, signal, key);
    return signal;
}

std::string AKAbstractCommand::description() const { return rt::Object::description() + " title:" + title_; }

// ---- block command ------------------------------------------------------------------------------

namespace {

rt::Ref<AKBlockCommand> withType(rt::Ref<AKBlockCommand> command, unsigned type) {
    command->setCommandType(type);
    return command;
}

// The block of a command that ends work started elsewhere: it ends the task its way
// (finished, cancelled) and starts no task of its own.
AKBlockCommand::Block endingTask(rt::Ref<AKOperationTask> task, void (AKOperationTask::*end)()) {
    return [task = std::move(task), end](const rt::Ref<rt::Object>&) {
        ((*task).*end)();
        return rt::Ref<AKOperationTask>();
    };
}

}  // namespace

rt::Ref<AKBlockCommand> AKBlockCommand::commandWithTitle(std::string title, std::string icon, Block block) {
    return rt::make<AKBlockCommand>(std::move(title), std::move(icon), std::move(block));
}
rt::Ref<AKBlockCommand> AKBlockCommand::commandWithTitle(std::string title, Block block) {
    return commandWithTitle(std::move(title), {}, std::move(block));
}
rt::Ref<AKBlockCommand> AKBlockCommand::cancelCommandWithTitle(std::string title, std::string icon, Block block) {
    return withType(commandWithTitle(std::move(title), std::move(icon), std::move(block)), CommandType::Cancel);
}
rt::Ref<AKBlockCommand> AKBlockCommand::cancelCommandWithTitle(std::string title, Block block) {
    return cancelCommandWithTitle(std::move(title), {}, std::move(block));
}
rt::Ref<AKBlockCommand> AKBlockCommand::destructiveCommandWithTitle(std::string title, std::string icon, Block block) {
    return withType(commandWithTitle(std::move(title), std::move(icon), std::move(block)), CommandType::Destructive);
}
rt::Ref<AKBlockCommand> AKBlockCommand::destructiveCommandWithTitle(std::string title, Block block) {
    return destructiveCommandWithTitle(std::move(title), {}, std::move(block));
}
rt::Ref<AKBlockCommand> AKBlockCommand::doneCommandWithTitle(std::string title, std::string icon,
                                                             rt::Ref<AKOperationTask> task) {
    return commandWithTitle(std::move(title), std::move(icon), endingTask(std::move(task), &AKOperationTask::setFinished));
}
rt::Ref<AKBlockCommand> AKBlockCommand::doneCommandWithTitle(std::string title, rt::Ref<AKOperationTask> task) {
    return doneCommandWithTitle(std::move(title), {}, std::move(task));
}
rt::Ref<AKBlockCommand> AKBlockCommand::cancelCommandWithTitle(std::string title, std::string icon,
                                                               rt::Ref<AKOperationTask> task) {
    return cancelCommandWithTitle(std::move(title), std::move(icon), endingTask(std::move(task), &AKOperationTask::setCancelled));
}
rt::Ref<AKBlockCommand> AKBlockCommand::cancelCommandWithTitle(std::string title, rt::Ref<AKOperationTask> task) {
    return cancelCommandWithTitle(std::move(title), {}, std::move(task));
}

rt::Ref<AKOperationTask> AKBlockCommand::execute(const rt::Ref<rt::Object>& sender) {
    if (!block_) return nullptr;
    auto keep = self();
    executeSignal()->setValue(rt::Value());
    auto t = block_(sender);
    task_ = t;
    if (!t) return nullptr;
    rt::Weak<AKBlockCommand> weak = selfAs<AKBlockCommand>();
    rt::Weak<AKOperationTask> weakTask = t;
    auto finished = signalForKeypath(*t, "isFinished")->toBool()->filter([](const rt::Value& v) { return v.boolValue(); });
    onSignal(finished, deallocSignal(*this), [weak, weakTask](const rt::Value&) {
        auto self = weak.lock();
        // Only the task that finished leaves: a newer execution's task stays.
        if (self && self->task_ && self->task_ == weakTask.lock()) self->task_ = nullptr;
    });
    return t;
}

// ---- compound command ------------------------------------------------------------------------------

AKCompundCommand::AKCompundCommand(std::string title, std::string icon, std::vector<rt::Ref<rt::Object>> commands)
    : AKAbstractCommand(std::move(title), std::move(icon)), commands_(std::move(commands)) {}

rt::Ref<AKCompundCommand> AKCompundCommand::commandWithTitle(std::string title, std::string icon,
                                                             std::vector<rt::Ref<rt::Object>> commands) {
    return rt::make<AKCompundCommand>(std::move(title), std::move(icon), std::move(commands));
}

void AKCompundCommand::didInitialize() {
    AKAbstractCommand::didInitialize();
    rt::Value::Array items;
    for (const auto& c : commands_) items.emplace_back(c);
    auto list = toList(items);
    // Disabled when every wrapped command is, and when there is none: an empty
    // compound has nothing to run.
    auto disabled = ListSignal::signalWithList(list, "disabled")->map([](const rt::Value& v) {
        const auto& values = v.array();
        bool all = true;
        for (const auto& d : values) all = all && d.boolValue();
        return rt::Value(values.empty() || all);
    });
    bindingWithKeypath(*this, "disabled")->setSignal(disabled);
}

rt::Ref<AKOperationTask> AKCompundCommand::execute(const rt::Ref<rt::Object>& sender) {
    std::vector<rt::Ref<AKOperationTask>> tasks;
    auto commands = commands_;
    for (const auto& c : commands) {
        if (auto* command = asCommand(c)) {
            if (auto t = command->execute(sender)) tasks.push_back(t);
        }
    }
    task_ = tasks.empty() ? nullptr : AKCompoundTask::taskWithIdentifier(rt::Value(), "", tasks);
    return task_;
}

rt::Ref<fnd::Bundle> RudoreVazBundle() { return moduleBundleNamed("RudoreVaz"); }

}  // namespace zid
