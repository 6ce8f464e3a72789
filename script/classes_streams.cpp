// The module's streams: TStream's members over bytes in memory, TMemoryStream
// and TFileStream, with the file-mode and seek-origin constants.
//
// A file stream holds the file's bytes in memory and writes them back
// whole through the host's safe writer when the script frees it (or, when
// it never does, when its program ends), so the file is never left
// half-written and a write that fails leaves the old file as it was. The bytes count against the
// program's element budget. Buffers are strings of byte-sized characters;
// a character above U+00FF in a buffer to write is an error, never a byte
// silently changed.
#include "script/classes_internal.h"

#include "base/error.h"
#include "script/messages.h"
#include "script/script.h"

namespace ovx {
namespace classes {

namespace {

constexpr qint64 kMaxStreamFileBytes = 64 * 1024 * 1024;

enum FileMode : int {
  kFmOpenRead = 0x0000,
  kFmOpenWrite = 0x0001,
  kFmOpenReadWrite = 0x0002,
  kFmShareExclusive = 0x0010,
  kFmShareDenyWrite = 0x0020,
  kFmShareDenyNone = 0x0040,
  kFmCreate = 0xFF00,
};
enum SeekOrigin : int { kSoFromBeginning = 0, kSoFromCurrent = 1, kSoFromEnd = 2 };

QString Msg(const char* name, const char* text) { return ScriptMessageText(name, text); }

}  // namespace

QByteArray ReadRest(StreamObject& stream) {
  return stream.Read(stream.Data().size() - stream.Position());
}
void WriteBytes(StreamObject& stream, const QByteArray& bytes) { stream.Write(bytes); }

namespace {

class FileStreamObject : public StreamObject {
 public:
  FileStreamObject(QString path, std::shared_ptr<qint64> budget)
      : StreamObject(Meta("TFileStream"), std::move(budget)), path_(std::move(path)) {}
  // A write that fails here cannot reach the script; the old file stays.
  ~FileStreamObject() override {
    try {
      Commit();
    } catch (...) {
    }
  }
  void BeforeFree() override { Commit(); }
  void MarkDirty() { dirty_ = true; }

 protected:
  void Changed() override { dirty_ = true; }

 private:
  void Commit() {
    if (!dirty_) return;
    WriteScriptFile(path_, Data());
    dirty_ = false;
  }
  QString path_;
  bool dirty_ = false;
};

// Bytes of a buffer string: one character each.
QByteArray BufferBytes(const QString& buffer, qint64 count) {
  const qsizetype n = static_cast<qsizetype>(std::clamp<qint64>(count, 0, buffer.size()));
  QByteArray bytes(n, '\0');
  for (qsizetype i = 0; i < n; ++i) {
    const char16_t c = buffer[i].unicode();
    if (c > 0xFF)
      throw StreamError(
          Msg("rsScriptStreamChar", "Stream buffer holds a character above U+00FF at %1")
              .arg(i + 1));
    bytes[i] = static_cast<char>(c);
  }
  return bytes;
}

ScriptValue NewMemoryStream(ScriptMethodCall& call) {
  ScriptProgram& program = ProgramOf(call);
  return ScriptValue::Object(program.AdoptObject(
      std::make_unique<StreamObject>(Meta("TMemoryStream"), program.ElementBudget())));
}

}  // namespace

void RegisterStreams(TksScript& script) {
  const std::pair<const char*, int> constants[] = {
      {"fmCreate", kFmCreate},
      {"fmOpenRead", kFmOpenRead},
      {"fmOpenWrite", kFmOpenWrite},
      {"fmOpenReadWrite", kFmOpenReadWrite},
      {"fmShareExclusive", kFmShareExclusive},
      {"fmShareDenyWrite", kFmShareDenyWrite},
      {"fmShareDenyNone", kFmShareDenyNone},
      {"soFromBeginning", kSoFromBeginning},
      {"soFromCurrent", kSoFromCurrent},
      {"soFromEnd", kSoFromEnd},
  };
  for (const auto& [name, value] : constants)
    script.AddConst(QString::fromLatin1(name), QStringLiteral("Integer"), ScriptValue::Int(value));

  using S = StreamObject;
  if (TksClassVariable* cls =
          script.AddClass(QStringLiteral("TStream"), QStringLiteral("TObject"))) {
    cls->AddConstructor(QStringLiteral("constructor Create"), [](ScriptMethodCall&) -> ScriptValue {
      throw ObjectError(
          ScriptMessage(QStringLiteral("rsScriptAbstractClass"),
                        QStringLiteral("Cannot create an instance of abstract class %1"))
              .arg(QStringLiteral("TStream")));
    });
    // Count is clamped to the buffer's length: the handler never reads
    // past the value it was given.
    cls->AddMethod(QStringLiteral("function Read(var Buffer: String; Count: Integer): Integer"),
                   [](ScriptMethodCall& call) {
                     const QByteArray bytes = Self<S>(call).Read(call.Arg(1).ToInt64());
                     call.SetArg(0, ScriptValue::String(QString::fromLatin1(bytes)));
                     return ScriptValue::Integer(bytes.size());
                   });
    cls->AddMethod(QStringLiteral("function Write(const Buffer: String; Count: Integer): Integer"),
                   [](ScriptMethodCall& call) {
                     const QByteArray bytes =
                         BufferBytes(call.Arg(0).ToString(), call.Arg(1).ToInt64());
                     Self<S>(call).Write(bytes);
                     return ScriptValue::Integer(bytes.size());
                   });
    cls->AddMethod(QStringLiteral("function Seek(Offset: Integer; Origin: Word): Integer"),
                   [](ScriptMethodCall& call) {
                     S& s = Self<S>(call);
                     const qint64 offset = call.Arg(0).ToInt64();
                     qint64 base = 0;
                     switch (call.Arg(1).ToInt64()) {
                       case kSoFromBeginning:
                         break;
                       case kSoFromCurrent:
                         base = s.Position();
                         break;
                       case kSoFromEnd:
                         base = s.Data().size();
                         break;
                       default:
                         throw StreamError(Msg("rsScriptStreamOrigin", "Invalid seek origin: %1")
                                               .arg(call.Arg(1).ToString()));
                     }
                     s.SetPosition(offset > kMaxStreamBytes ? offset : base + offset);
                     return ScriptValue::Integer(s.Position());
                   });
    // A count of 0 copies the whole source from its start.
    cls->AddMethod(QStringLiteral("function CopyFrom(Source: TStream; Count: Integer): Integer"),
                   [](ScriptMethodCall& call) {
                     S& target = Self<S>(call);
                     S& source = ArgObject<S>(call, 0);
                     qint64 count = call.Arg(1).ToInt64();
                     if (count == 0) {
                       source.SetPosition(0);
                       count = source.Data().size();
                     }
                     const QByteArray bytes = source.Read(count);
                     if (bytes.size() < count)
                       throw StreamError(Msg("rsScriptStreamShort", "Stream read error"));
                     target.Write(bytes);
                     return ScriptValue::Integer(bytes.size());
                   });
    cls->AddProperty(
        QStringLiteral("Position"), QStringLiteral("Integer"),
        [](ScriptMethodCall& call) { return ScriptValue::Integer(Self<S>(call).Position()); },
        [](ScriptMethodCall& call, const ScriptValue& v) {
          Self<S>(call).SetPosition(v.ToInt64());
        });
    cls->AddProperty(
        QStringLiteral("Size"), QStringLiteral("Integer"),
        [](ScriptMethodCall& call) { return ScriptValue::Integer(Self<S>(call).Data().size()); },
        [](ScriptMethodCall& call, const ScriptValue& v) { Self<S>(call).SetSize(v.ToInt64()); });
  }

  if (TksClassVariable* cls =
          script.AddClass(QStringLiteral("TMemoryStream"), QStringLiteral("TStream"))) {
    cls->AddConstructor(QStringLiteral("constructor Create"), NewMemoryStream);
    cls->AddMethod(QStringLiteral("procedure Clear"), [](ScriptMethodCall& call) {
      Self<S>(call).SetData({});
      return ScriptValue();
    });
    cls->AddMethod(QStringLiteral("procedure SetSize(NewSize: Integer)"),
                   [](ScriptMethodCall& call) {
                     Self<S>(call).SetSize(call.Arg(0).ToInt64());
                     return ScriptValue();
                   });
    cls->AddMethod(QStringLiteral("procedure LoadFromFile(const FileName: String)"),
                   [](ScriptMethodCall& call) {
                     S& s = Self<S>(call);
                     s.SetData(ReadScriptFile(call.Arg(0).ToString(), kMaxStreamFileBytes));
                     return ScriptValue();
                   });
    cls->AddMethod(QStringLiteral("procedure SaveToFile(const FileName: String)"),
                   [](ScriptMethodCall& call) {
                     WriteScriptFile(call.Arg(0).ToString(), Self<S>(call).Data());
                     return ScriptValue();
                   });
    cls->AddMethod(QStringLiteral("procedure LoadFromStream(Stream: TStream)"),
                   [](ScriptMethodCall& call) {
                     S& s = Self<S>(call);
                     S& source = ArgObject<S>(call, 0);
                     source.SetPosition(0);
                     s.SetData(ReadRest(source));
                     return ScriptValue();
                   });
    cls->AddMethod(QStringLiteral("procedure SaveToStream(Stream: TStream)"),
                   [](ScriptMethodCall& call) {
                     const QByteArray bytes = Self<S>(call).Data();
                     ArgObject<S>(call, 0).Write(bytes);
                     return ScriptValue();
                   });
  }

  if (TksClassVariable* cls =
          script.AddClass(QStringLiteral("TFileStream"), QStringLiteral("TStream"))) {
    cls->AddConstructor(
        QStringLiteral("constructor Create(const FileName: String; Mode: Word)"),
        [](ScriptMethodCall& call) {
          ScriptProgram& program = ProgramOf(call);
          const QString path = call.Arg(0).ToString();
          const qint64 mode = call.Arg(1).ToInt64();
          auto stream = std::make_unique<FileStreamObject>(path, program.ElementBudget());
          if ((mode & kFmCreate) == kFmCreate) {
            // Created empty at once in the platform's terms: the file is
            // written even when nothing is.
            stream->MarkDirty();
          } else {
            const int access = static_cast<int>(mode & 3);
            if (access == 3)
              throw StreamError(Msg("rsScriptStreamMode", "Invalid file mode: %1").arg(mode));
            // Loading is not a change: an unchanged file is not rewritten.
            stream->SetData(ReadScriptFile(path, kMaxStreamFileBytes));
            stream->readable = access != kFmOpenWrite;
            stream->writable = access != kFmOpenRead;
          }
          return ScriptValue::Object(program.AdoptObject(std::move(stream)));
        });
  }
}

}  // namespace classes
}  // namespace ovx
