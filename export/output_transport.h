// Output transports: where an export's bytes go.
//
// A filter never opens files itself. Before a run it hands its settings to
// a transport (TakeSettingsFrom), opens it (which may ask the user for a
// file name), then asks it for one writable stream per output file and
// gives each back when the file is complete. A stream that was not given
// back by the time the transport closes is discarded: a run that fails
// halfway leaves no truncated file behind and no earlier file damaged,
// because every file is written beside its target and renamed into place
// only when finished. During an export run the transport holds the files
// given back (written and synced, not yet renamed) until the run has ended
// well, so a run that fails on its fifth page leaves the first four files
// of an earlier run as they were too.
//
// The file-dialog transport asks the host for the file name through a hook
// (SetSaveDialogHook); the user-interface library installs one built on the
// platform's save dialog. Without a hook it fails with a message, so a
// headless program must give the file name and switch the dialog off.
#pragma once

#include "report/model/component.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TovxCustomExportFilter;
class TovxReport;

namespace ovx {
class Stream;
}  // namespace ovx

class TovxCustomIOTransport : public TovxComponent {
  OVX_META_CLASS

 public:
  explicit TovxCustomIOTransport(TovxComponent* owner = nullptr);
  ~TovxCustomIOTransport() override;

  // --- settings, taken from the filter before a run ---------------------------
  const QString& FileName() const { return file_name_; }
  void SetFileName(const QString& file_name) { file_name_ = file_name; }
  const QString& DefaultPath() const { return default_path_; }
  void SetDefaultPath(const QString& path) { default_path_ = path; }
  // With the dot (".jpg").
  const QString& DefaultExt() const { return default_ext_; }
  void SetDefaultExt(const QString& ext) { default_ext_ = ext; }
  // The folder relative file names are resolved against.
  const QString& BasePath() const { return base_path_; }
  void SetBasePath(const QString& path) { base_path_ = path; }
  // "Description|*.ext" pairs, as filters describe their files.
  const QString& FilterString() const { return filter_string_; }
  void SetFilterString(const QString& text) { filter_string_ = text; }
  bool OverwritePrompt() const { return overwrite_prompt_; }
  void SetOverwritePrompt(bool on) { overwrite_prompt_ = on; }
  // Streams are opened for writing (the export) or for reading.
  bool WriteAccess() const { return write_access_; }
  void SetWriteAccess(bool on) { write_access_ = on; }
  // The report being exported; hides TovxComponent::Report, since a
  // transport is never part of a report's tree.
  TovxReport* Report() const { return report_; }
  void SetReport(TovxReport* report) { report_ = report; }

  // Copies default path, extension, file name, report, file-type text,
  // overwrite prompt and write access from `filter`; the base folder is the
  // folder of the file name, else the default path.
  void TakeSettingsFrom(const TovxCustomExportFilter& filter);

  // --- operations ------------------------------------------------------------------
  virtual bool CanWrite() const { return true; }
  virtual bool CanRead() const { return false; }
  // What "save to" lists call the transport.
  QString GetDescription() const override;
  // Prepares output; may ask the user and answers false when the user
  // cancelled. Throws ovx::Error when it cannot ask.
  [[nodiscard]] virtual bool OpenFilter() { return true; }
  // Discards every stream not given back with FreeStream.
  virtual void CloseFilter();
  // A stream for `file_name` (relative names lie in BasePath), owned by
  // the transport until FreeStream. Throws ovx::Error when the file cannot
  // be opened.
  virtual ovx::Stream& GetStream(const QString& file_name);
  // Completes the file of `stream` (it takes its final name now) and frees
  // the stream. Throws ovx::Error when the file cannot be completed; the
  // stream is freed all the same.
  virtual void FreeStream(ovx::Stream& stream);
  // Drops a stream without completing its file (a failed or cancelled
  // run's output); the file it would have replaced stays as it was.
  void DiscardStream(ovx::Stream& stream);
  // From now until CommitHeldFiles or CloseFilter, streams given back are
  // finished but keep their temporary names.
  void HoldCompletedFiles();
  // Renames the held files into place. Throws ovx::Error when one cannot be.
  void CommitHeldFiles();
  // Streams handed out and not given back yet.
  int OpenStreamCount() const { return static_cast<int>(streams_.size()); }

 protected:
  // Makes the stream GetStream hands out; the transport keeps it.
  virtual std::unique_ptr<ovx::Stream> CreateStream(const QString& file_name) = 0;
  // Completes a stream's file; nothing for streams without one.
  virtual void CompleteStream(ovx::Stream& stream) {}
  // Writes out what a stream holds without giving the file its name yet;
  // throws ovx::Error when that fails.
  virtual void FinishStream(ovx::Stream& stream) {}
  // `file_name` as a path: relative names lie in BasePath.
  QString ResolvePath(const QString& file_name) const;

 private:
  QString file_name_;
  QString default_path_;
  QString default_ext_;
  QString base_path_;
  QString filter_string_;
  bool overwrite_prompt_ = false;
  bool write_access_ = true;
  TovxReport* report_ = nullptr;
  std::vector<std::unique_ptr<ovx::Stream>> streams_;
  std::vector<std::unique_ptr<ovx::Stream>> held_;
  bool holding_ = false;
};

// Files on disk: written beside the target and renamed into place when the
// stream is given back (replacing an existing file); read shared.
class TovxFileTransport : public TovxCustomIOTransport {
  OVX_META_CLASS

 public:
  explicit TovxFileTransport(TovxComponent* owner = nullptr) : TovxCustomIOTransport(owner) {}

  bool CanRead() const override { return true; }

 protected:
  std::unique_ptr<ovx::Stream> CreateStream(const QString& file_name) override;
  void CompleteStream(ovx::Stream& stream) override;
  void FinishStream(ovx::Stream& stream) override;
};

// Files on disk whose name the user chooses in a save dialog when the
// transport opens.
class TovxFileDialogTransport : public TovxFileTransport {
  OVX_META_CLASS

 public:
  explicit TovxFileDialogTransport(TovxComponent* owner = nullptr) : TovxFileTransport(owner) {}

  QString GetDescription() const override;
  // Asks the save dialog hook; the chosen name becomes FileName. Throws
  // ovx::Error ("rsExportNoSaveDialog") when no hook is installed.
  [[nodiscard]] bool OpenFilter() override;
};

namespace ovx {

// What the save dialog is asked to show.
struct SaveDialogRequest {
  // Without extension; may be empty.
  QString initial_name;
  // May be empty (the dialog's own choice).
  QString initial_folder;
  // With the dot; added to a name the user types without one.
  QString default_ext;
  // Qt's form: "Jpeg 图 (*.jpg);;All files (*)".
  QString filter;
  bool overwrite_prompt = false;
};

// Answers the chosen path, or nullopt when the user cancelled.
using SaveDialogHook = std::function<std::optional<QString>(const SaveDialogRequest&)>;
// Process-wide; the user-interface library installs the platform's dialog.
// An empty hook removes it.
void SetSaveDialogHook(SaveDialogHook hook);
const SaveDialogHook& GetSaveDialogHook();

// "Description|*.a;*.b|..." as a Qt file-dialog filter ("Description (*.a
// *.b);;...").
QString QtFileFilter(const QString& filter_string);

// A transport class offered in the "save to" list of export dialogs.
struct TransportClass {
  QString class_name;
  std::function<std::unique_ptr<TovxCustomIOTransport>()> create;
};
// The classes known so far, the file-dialog transport first. Other
// transports add themselves with RegisterTransportClass (a class name
// registered twice keeps its first entry).
const std::vector<TransportClass>& TransportClasses();
void RegisterTransportClass(TransportClass transport_class);

}  // namespace ovx
