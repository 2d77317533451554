#pragma once
// Commands: something an interface element presents (a title, an icon name, a
// disabled flag) and executes, possibly into a task the element can watch.

#include <functional>
#include <string>

#include <RudoreVaz/Task/OperationTasks/AKOperationTask.h>
#include <RuzEzo/Signal/FKSignal.h>
#include <fnd/Bundle.h>
#include <rt/Property.h>

namespace zid {

/// Every operation optional: the defaults present nothing and are never disabled.
class IPresentable {
public:
    virtual ~IPresentable() = default;
    virtual std::string title() const { return {}; }
    virtual void setTitle(std::string) {}
    virtual std::string icon() const { return {}; }
    virtual void setIcon(std::string) {}
    virtual bool disabled() const { return false; }
    virtual void setDisabled(bool) {}
};

namespace CommandType {
inline constexpr unsigned Default = 0;
inline constexpr unsigned Destructive = 1;
inline constexpr unsigned Cancel = 2;
}  // namespace CommandType

class ICommand : public IPresentable {
public:
    /// Runs the command for the sender (the control that fired). Answers the task that
    /// the execution started, or nil when it left nothing to watch.
    virtual rt::Ref<AKOperationTask> execute(const rt::Ref<rt::Object>& sender) = 0;
    /// Fired on each execution.
    virtual FKSignalRef executeSignal() = 0;
    virtual unsigned commandType() const = 0;
    virtual void setCommandType(unsigned type) = 0;
};

/// Delivers every value, equal or not.
class AKExecuteSignal : public FKSignal {
    RT_CLASS(AKExecuteSignal, FKSignal)
public:
    bool repetitive() const override { return true; }
};

/// The base of commands: observable title, icon, disabled and command type.
class AKAbstractCommand : public rt::Object, public ICommand {
    RT_CLASS(AKAbstractCommand, rt::Object)
private:
    std::string title_;
    std::string icon_;
    bool disabled_ = false;
    unsigned commandType_ = CommandType::Default;

public:
    static constexpr rt::Stored<&AKAbstractCommand::title_, "title", rt::writable> titleKey{};
    static constexpr rt::Stored<&AKAbstractCommand::icon_, "icon", rt::writable> iconKey{};
    static constexpr rt::Stored<&AKAbstractCommand::disabled_, "disabled", rt::writable> disabledKey{};
    static constexpr rt::Stored<&AKAbstractCommand::commandType_, "commandType", rt::writable> commandTypeKey{};

    AKAbstractCommand(std::string title = {}, std::string icon = {});

    std::string title() const override { return title_; }
    void setTitle(std::string t) override { titleKey.set(*this, std::move(t)); }
    std::string icon() const override { return icon_; }
    void setIcon(std::string i) override { iconKey.set(*this, std::move(i)); }
    bool disabled() const override { return disabled_; }
    void setDisabled(bool d) override { disabledKey.set(*this, d); }
    unsigned commandType() const override { return commandType_; }
    void setCommandType(unsigned t) override { commandTypeKey.set(*this, t); }

    /// Raises InternalInconsistency: subclasses run the command.
    rt::Ref<AKOperationTask> execute(const rt::Ref<rt::Object>& sender) override;
    FKSignalRef executeSignal() override;
    std::string description() const override;
};

/// A command run by a block. It holds the task of its latest execution until that
/// task finishes.
class AKBlockCommand : public AKAbstractCommand {
    RT_CLASS(AKBlockCommand, AKAbstractCommand)
public:
    using Block = std::function<rt::Ref<AKOperationTask>(const rt::Ref<rt::Object>& sender)>;

    AKBlockCommand(std::string title = {}, std::string icon = {}, Block block = {})
        : AKAbstractCommand(std::move(title), std::move(icon)), block_(std::move(block)) {}

    static rt::Ref<AKBlockCommand> commandWithTitle(std::string title, std::string icon, Block block);
    static rt::Ref<AKBlockCommand> commandWithTitle(std::string title, Block block);
    static rt::Ref<AKBlockCommand> cancelCommandWithTitle(std::string title, std::string icon, Block block);
    static rt::Ref<AKBlockCommand> cancelCommandWithTitle(std::string title, Block block);
    static rt::Ref<AKBlockCommand> destructiveCommandWithTitle(std::string title, std::string icon, Block block);
    static rt::Ref<AKBlockCommand> destructiveCommandWithTitle(std::string title, Block block);
    /// Executing marks the task finished (a command that ends work started elsewhere).
    static rt::Ref<AKBlockCommand> doneCommandWithTitle(std::string title, std::string icon,
                                                        rt::Ref<AKOperationTask> task);
    static rt::Ref<AKBlockCommand> doneCommandWithTitle(std::string title, rt::Ref<AKOperationTask> task);
    /// Executing marks the task cancelled.
    static rt::Ref<AKBlockCommand> cancelCommandWithTitle(std::string title, std::string icon,
                                                          rt::Ref<AKOperationTask> task);
    static rt::Ref<AKBlockCommand> cancelCommandWithTitle(std::string title, rt::Ref<AKOperationTask> task);

    const Block& block() const { return block_; }
    void setBlock(Block b) { block_ = std::move(b); }
    rt::Ref<AKOperationTask> task() const { return task_; }

    rt::Ref<AKOperationTask> execute(const rt::Ref<rt::Object>& sender) override;

private:
    Block block_;
    rt::Ref<AKOperationTask> task_;
};

/// Several commands executed together. It is disabled when every wrapped command is
/// disabled, and when it wraps none.
class AKCompundCommand : public AKAbstractCommand {
    RT_CLASS(AKCompundCommand, AKAbstractCommand)
public:
    AKCompundCommand(std::string title = {}, std::string icon = {}, std::vector<rt::Ref<rt::Object>> commands = {});
    static rt::Ref<AKCompundCommand> commandWithTitle(std::string title, std::string icon,
                                                      std::vector<rt::Ref<rt::Object>> commands);

    const std::vector<rt::Ref<rt::Object>>& wrappedCommands() const { return commands_; }
    void setWrappedCommands(std::vector<rt::Ref<rt::Object>> c) { commands_ = std::move(c); }
    rt::Ref<AKOperationTask> task() const { return task_; }

    /// Executes every wrapped command in order (disabled or not); answers a compound
    /// task over the tasks they returned, or nil when none did.
    rt::Ref<AKOperationTask> execute(const rt::Ref<rt::Object>& sender) override;

protected:
    void didInitialize() override;

private:
    std::vector<rt::Ref<rt::Object>> commands_;
    rt::Ref<AKOperationTask> task_;
};

/// The command interface of an object, or nil.
ICommand* asCommand(const rt::Ref<rt::Object>& object);

/// The command library's resource bundle "RudoreVaz", located once; the main bundle
/// when absent.
rt::Ref<fnd::Bundle> RudoreVazBundle();

}  // namespace zid
