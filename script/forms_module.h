// The forms and dialogs names scripts use, without any window: this
// program shows no script-made forms, and the script library may not link
// a widget toolkit nor open windows from a worker thread.
//
// What is there: the control and form classes by name (TControl, TWinControl,
// TScrollingWinControl, TCustomForm, TForm, TFrame, TDataModule) so that
// type casts ("TForm(Sender)"), `is` tests and the class references of
// hosts' forms registered with TksScript::AddComponent resolve; the modal
// result constants (mrNone ... mrClose) and the button set shorthands
// (mbYesNoCancel, mbOKCancel, ...). The dialog functions themselves
// (ShowMessage, MessageDlg, InputBox, InputQuery) are in the standard
// library and go through the host's ScriptDialogs (script/sys_functions.h).
// Creating a control or form from a script is a script error.
#pragma once

class TksScript;

namespace ovx {

// Appends the module to the RTTI module list, once; call at start-up after
// RegisterClassesModule.
void RegisterFormsModule();
// The registrations themselves, for a module list of one's own.
void RegisterForms(TksScript& script);

}  // namespace ovx
