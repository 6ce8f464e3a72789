// The platform classes scripts create for themselves: TObject, TPersistent,
// TComponent, lists (TList, TStrings, TStringList, TCollection), streams
// (TStream, TMemoryStream, TFileStream) and the engine's XML classes
// (TksXMLItem, TksXMLDocument), with the TDuplicates and
// TPrinterOrientation enumerations and the file-mode and seek-origin
// constants. Objects a script creates belong to its program
// (ScriptProgram::AdoptObject) and are reached only through handles.
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class TksScript;

namespace ovx {

class Persistent;

// Appends the module to the RTTI module list, once; call at start-up,
// before the first script applies AddRTTI or asks for the global unit.
void RegisterClassesModule();
// The registrations themselves, for a module list of one's own.
void RegisterClasses(TksScript& script);

// How scripts reach files. The script library links nothing that writes
// files safely, so the host program installs both functions; until it
// does, every file member of the module raises a script error.
struct ScriptFiles {
  // The whole file, at most `max_bytes`; throws ovx::Error (missing file,
  // not a regular file, too large) with a message naming the file.
  std::function<QByteArray(const QString& path, qint64 max_bytes)> read;
  // Replaces the file with `bytes` so that a failure keeps the old file;
  // throws ovx::Error naming the file and the reason.
  std::function<void(const QString& path, const QByteArray& bytes)> write;
};
// Installs the file access for every script of the process; an empty
// ScriptFiles removes it. Safe from any thread.
void SetScriptFiles(ScriptFiles files);

// The owner of a host component that scripts read through TComponent's
// Owner (report objects: their report or parent); null when it has none.
// Objects the script created answer their own owner without it.
using ScriptOwnerOf = std::function<Persistent*(Persistent& component)>;
void SetScriptOwnerOf(ScriptOwnerOf owner_of);

}  // namespace ovx
