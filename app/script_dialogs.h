// What report scripts show in the window program: ShowMessage, MessageDlg,
// InputBox and InputQuery as Qt message and input boxes. The script library
// calls them only on the thread that owns the application (a script on a
// worker thread shows nothing), so the boxes are made where widgets live.
#pragma once

#include <memory>

#include "script/sys_functions.h"

namespace ovx::app {

// Dialogs parented to the active window, if any.
std::shared_ptr<ScriptDialogs> MakeScriptDialogs();
// Installs them for every script of the process.
void InstallScriptDialogs();

}  // namespace ovx::app
