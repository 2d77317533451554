#pragma once
// Commands on controls: a button, bar button item or text field shows its command,
// follows its disabled flag and executes it when the user acts (touch up inside, a
// press, the return key); any view can execute a command on a single tap and show an
// activity indicator while a task runs.

#include <RudoreVaz/Command/ICommand.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>
#include <ui/BarItem.h>
#include <ui/Slider.h>
#include <ui/TextField.h>

namespace zid {

/// Loads an icon by name (the default looks for "<name>.png" in the main bundle, then
/// in the command library's bundle). Answers the resolver it replaced.
using IconResolver = std::function<rt::Ref<ui::Image>(const std::string& name)>;
IconResolver setIconResolver(IconResolver resolver);

// ---- button -----------------------------------------------------------------------------
void setCommand(ui::Button& button, const rt::Ref<rt::Object>& command);
/// The button's command; nil for a button that never had one.
rt::Ref<rt::Object> command(const ui::Button& button);
/// Executes the command; when it answers a task the button stays disabled until the
/// task finishes, then follows the command's disabled flag again.
void executeCommand(ui::Button& button);

// ---- bar button item ------------------------------------------------------------------------
void setCommand(ui::BarButtonItem& item, const rt::Ref<rt::Object>& command);
rt::Ref<rt::Object> command(const ui::BarButtonItem& item);

// ---- text field -------------------------------------------------------------------------------
void setReturnCommand(ui::TextField& field, const rt::Ref<rt::Object>& command);
rt::Ref<rt::Object> returnCommand(const ui::TextField& field);

// ---- any view ----------------------------------------------------------------------------------
void setSingleTapCommand(ui::View& view, const rt::Ref<rt::Object>& command);
rt::Ref<rt::Object> singleTapCommand(const ui::View& view);
/// Shows a grey, red-tinted spinner at the view's centre while the task is unfinished.
void setTask(ui::View& view, const rt::Ref<AKOperationTask>& task);
rt::Ref<AKOperationTask> task(const ui::View& view);
void setTaskHandler(ui::View& view, const rt::Ref<OnSignalHelper>& handler);
rt::Ref<OnSignalHelper> taskHandler(const ui::View& view);
void setActivityIndicator(ui::View& view, const rt::Ref<ui::ActivityIndicatorView>& indicator);
rt::Ref<ui::ActivityIndicatorView> activityIndicator(const ui::View& view);

}  // namespace zid
