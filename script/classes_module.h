// The platform classes scripts create for themselves: TObject,
// TPersistent, TComponent, TStrings and TStringList, with the TDuplicates
// enumeration. Objects a script creates belong to its program
// (ScriptProgram::AdoptObject) and are reached only through handles.
#pragma once

class TksScript;

namespace ovx {

// Appends the module to the RTTI module list, once; call at start-up,
// before the first script applies AddRTTI or asks for the global unit.
void RegisterClassesModule();
// The registrations themselves, for a module list of one's own.
void RegisterClasses(TksScript& script);

}  // namespace ovx
