// The ini-file classes scripts use for settings files: TCustomIniFile,
// TMemIniFile and TIniFile. Files are reached through the host's file
// access (SetScriptFiles, script/classes_module.h); the classes module
// provides the TStrings and TStream objects their members fill.
#pragma once

class TksScript;

namespace ovx {

// Appends the module to the RTTI module list, once; call at start-up after
// RegisterClassesModule.
void RegisterIniModule();
// The registrations themselves, for a module list of one's own.
void RegisterIniFiles(TksScript& script);

}  // namespace ovx
