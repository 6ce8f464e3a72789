// Binary property records: the data an object keeps beyond its published
// properties, written in templates as "<prefix>PropData" in hexadecimal.
//
// A record is a sequence of named values: the name as a length byte and its
// bytes, a type byte, then the value (integers little-endian; binary values
// and long strings after a 32-bit length). Reading checks every length
// against the bytes that are left, so damaged records end with an error,
// never with a read past the end.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace ovx {

enum class RecordValueType : unsigned char {
  kNull = 0,
  kInt8 = 2,
  kInt16 = 3,
  kInt32 = 4,
  kString = 6,  // length byte and bytes
  kFalse = 8,
  kTrue = 9,
  kBinary = 10,      // 32-bit length and bytes
  kLongString = 12,  // 32-bit length and bytes
  kUtf8String = 20,  // 32-bit length and UTF-8 bytes
};

class PropertyRecordWriter {
 public:
  void WriteInt(const QByteArray& name, qint32 value);
  void WriteBool(const QByteArray& name, bool value);
  void WriteText(const QByteArray& name, const QString& text);
  void WriteBinary(const QByteArray& name, const QByteArray& bytes);
  const QByteArray& Data() const { return data_; }

 private:
  void WriteName(const QByteArray& name);
  QByteArray data_;
};

struct RecordValue {
  QByteArray name;
  RecordValueType type = RecordValueType::kNull;
  qint32 integer = 0;  // kInt8, kInt16, kInt32, kFalse (0), kTrue (1)
  QByteArray bytes;    // kString, kBinary, kLongString, kUtf8String
};

class PropertyRecordReader {
 public:
  explicit PropertyRecordReader(QByteArray data) : data_(std::move(data)) {}
  bool AtEnd() const { return position_ >= data_.size(); }
  // The next value; throws ovx::Error when the record is damaged.
  RecordValue Next();

 private:
  QByteArray Take(qsizetype count);
  quint32 TakeUInt32();
  QByteArray data_;
  qsizetype position_ = 0;
};

}  // namespace ovx
