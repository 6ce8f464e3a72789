// What the files of the classes module share: the object base class that
// carries the class a script named, the metadata of each class, and the
// checks every handler makes before it touches an object.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <memory>

#include "base/meta_class.h"
#include "script/interpreter.h"
#include "script/method_call.h"

class TksScript;

namespace ovx {
namespace classes {

// Every object of the module carries the metadata of the class the script
// named, so that members are found by the class it was created as.
class ClassesObject : public Persistent {
 public:
  explicit ClassesObject(const MetaClass& meta) : meta_(&meta) {}
  const MetaClass& GetMetaClass() const override { return *meta_; }
  // For objects that belong to another object of the module (a collection's
  // items): removes and deletes this object there and answers true. `this`
  // is gone afterwards.
  virtual bool FreeFromOwner() { return false; }
  // Work that must succeed before a script's Free lets the object go (a
  // file stream writes its file); throws a script error and then the
  // object stays.
  virtual void BeforeFree() {}

 private:
  const MetaClass* meta_;
};

// The metadata of a module class by name ("TList"); every name the module
// registers has one, made once (thread-safe) and kept for the process.
const MetaClass& Meta(const char* class_name);

ScriptError ObjectError(const QString& text);
ScriptError StreamError(const QString& text);
// The current text of message `name`, `built_in` when it has none.
QString ScriptMessageText(const char* name, const char* built_in);
ScriptError InvalidReference(const ScriptValue& value);
// "List index out of bounds (%1)", the error of every list of the module.
ScriptError ListIndexError(qint64 index);
ScriptProgram& ProgramOf(ScriptMethodCall& call);
// An index from a script value, checked against `size` (`size` itself
// allowed where `end_ok`); ListIndexError outside.
qsizetype CheckedIndex(const ScriptValue& v, qsizetype size, bool end_ok = false);
// Whether an index property's handler is called to write (NAME.SET).
inline bool IsSet(const ScriptMethodCall& call) {
  return call.method_name.endsWith(QLatin1String(".SET"));
}

// The object the member was reached through, as the class the handler
// serves; a script error when it is anything else or gone.
template <typename T>
T& Self(ScriptMethodCall& call) {
  auto* object = dynamic_cast<T*>(call.instance.ObjectPointer());
  if (!object) throw InvalidReference(call.instance);
  return *object;
}
// An argument that must be an object of class T.
template <typename T>
T& ArgObject(ScriptMethodCall& call, int i) {
  const ScriptValue v = call.Arg(i);
  auto* object = dynamic_cast<T*>(v.ObjectPointer());
  if (!object) throw InvalidReference(v);
  return *object;
}

// Memory a script's streams and lists hold counts against the program's
// element budget, one element for every kBytesPerElement bytes, so that no
// loop of writes or adds can take all memory.
inline constexpr qint64 kBytesPerElement = 80;

// A share of the program's element budget that grows and shrinks with the
// object it belongs to and is given back when the object goes.
class Charge {
 public:
  explicit Charge(std::shared_ptr<qint64> budget) : budget_(std::move(budget)) {}
  Charge(const Charge&) = delete;
  Charge& operator=(const Charge&) = delete;
  ~Charge() { Set(0); }
  // Takes more, or gives back; throws a script error when the budget is
  // spent and then keeps the old amount.
  void Set(qint64 elements);
  void Add(qint64 elements) { Set(held_ + elements); }
  qint64 Held() const { return held_; }
  const std::shared_ptr<qint64>& Budget() const { return budget_; }

 private:
  std::shared_ptr<qint64> budget_;
  qint64 held_ = 0;
};
inline qint64 ElementsForBytes(qint64 bytes) {
  return (bytes + kBytesPerElement - 1) / kBytesPerElement;
}

// File access for scripts, as installed by SetScriptFiles; throws a script
// error when the host installed none.
QByteArray ReadScriptFile(const QString& path, qint64 max_bytes);
void WriteScriptFile(const QString& path, const QByteArray& bytes);

// No stream grows past what the whole element budget stands for.
inline constexpr qint64 kMaxStreamBytes = kMaxScriptArrayElements * kBytesPerElement;

// Bytes in memory behind every stream of the module; a file stream writes
// them back when it goes (classes_streams.cpp).
class StreamObject : public ClassesObject {
 public:
  StreamObject(const MetaClass& meta, std::shared_ptr<qint64> budget)
      : ClassesObject(meta), charge_(std::move(budget)) {}

  const QByteArray& Data() const { return data_; }
  qint64 Position() const { return position_; }
  bool readable = true;
  bool writable = true;

  void SetData(QByteArray data) {
    charge_.Set(ElementsForBytes(data.size()));
    data_ = std::move(data);
    position_ = 0;
  }
  void SetPosition(qint64 position) {
    if (position < 0 || position > kMaxStreamBytes)
      throw StreamError(
          ScriptMessageText("rsScriptStreamSeek", "Invalid stream position: %1").arg(position));
    position_ = position;
  }
  void SetSize(qint64 size) {
    CheckWritable();
    if (size < 0) size = 0;
    Grow(size);
    data_.resize(size);
    charge_.Set(ElementsForBytes(size));
    position_ = std::min(position_, size);
    Changed();
  }
  QByteArray Read(qint64 count) {
    if (!readable)
      throw StreamError(ScriptMessageText("rsScriptStreamRead",
                                          "Stream read error: the stream was opened for writing"));
    if (count <= 0 || position_ >= data_.size()) return {};
    const QByteArray bytes = data_.mid(position_, std::min(count, data_.size() - position_));
    position_ += bytes.size();
    return bytes;
  }
  void Write(const QByteArray& bytes) {
    CheckWritable();
    if (bytes.isEmpty()) return;
    const qint64 end = position_ + bytes.size();
    if (end > data_.size()) {
      Grow(end);
      data_.resize(end, '\0');
    }
    std::copy(bytes.begin(), bytes.end(), data_.begin() + position_);
    position_ = end;
    Changed();
  }

 protected:
  virtual void Changed() {}

 private:
  void CheckWritable() const {
    if (!writable)
      throw StreamError(ScriptMessageText("rsScriptStreamWrite",
                                          "Stream write error: the stream was opened for reading"));
  }
  // Charges a size before memory is taken for it.
  void Grow(qint64 size) {
    if (size > kMaxStreamBytes)
      throw StreamError(
          ScriptMessageText("rsScriptStreamSize", "Stream too large: %1 bytes").arg(size));
    if (ElementsForBytes(size) > charge_.Held()) charge_.Set(ElementsForBytes(size));
  }
  QByteArray data_;
  qint64 position_ = 0;
  Charge charge_;
};

// For the members of other classes that read or write streams
// (TStrings.SaveToStream, TksXMLDocument).
QByteArray ReadRest(StreamObject& stream);
void WriteBytes(StreamObject& stream, const QByteArray& bytes);

// Replaces the lines of a TStrings object of the module through its own
// rules (sorted, duplicates, budget); an invalid reference otherwise.
void SetStringsLines(Persistent& strings, const QStringList& lines);

// Registration of the module's parts, in dependency order.
void RegisterLists(TksScript& script);
void RegisterStrings(TksScript& script);
void RegisterStreams(TksScript& script);
void RegisterXml(TksScript& script);

}  // namespace classes
}  // namespace ovx
