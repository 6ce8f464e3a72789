#include "report/storage/property_record.h"

#include "base/error.h"

#include <QtEndian>

namespace ovx {

namespace {

[[noreturn]] void ThrowDamaged(const char* what) {
  throw Error(QString(), QStringLiteral("Damaged property data: %s"), {QString::fromLatin1(what)});
}

void AppendUInt32(QByteArray& out, quint32 value) {
  char bytes[4];
  qToLittleEndian(value, bytes);
  out.append(bytes, 4);
}

}  // namespace

void PropertyRecordWriter::WriteName(const QByteArray& name) {
  const QByteArray stem = name.left(255);
  data_.append(static_cast<char>(stem.size()));
  data_.append(stem);
}

void PropertyRecordWriter::WriteInt(const QByteArray& name, qint32 value) {
  WriteName(name);
  data_.append(static_cast<char>(RecordValueType::kInt32));
  AppendUInt32(data_, static_cast<quint32>(value));
}

void PropertyRecordWriter::WriteBool(const QByteArray& name, bool value) {
  WriteName(name);
  data_.append(static_cast<char>(value ? RecordValueType::kTrue : RecordValueType::kFalse));
}

void PropertyRecordWriter::WriteText(const QByteArray& name, const QString& text) {
  WriteName(name);
  const QByteArray utf8 = text.toUtf8();
  data_.append(static_cast<char>(RecordValueType::kUtf8String));
  AppendUInt32(data_, static_cast<quint32>(utf8.size()));
  data_.append(utf8);
}

void PropertyRecordWriter::WriteBinary(const QByteArray& name, const QByteArray& bytes) {
  WriteName(name);
  data_.append(static_cast<char>(RecordValueType::kBinary));
  AppendUInt32(data_, static_cast<quint32>(bytes.size()));
  data_.append(bytes);
}

QByteArray PropertyRecordReader::Take(qsizetype count) {
  if (count < 0 || count > data_.size() - position_) ThrowDamaged("a length runs past the end");
  QByteArray bytes = data_.mid(position_, count);
  position_ += count;
  return bytes;
}

quint32 PropertyRecordReader::TakeUInt32() {
  const QByteArray bytes = Take(4);
  return qFromLittleEndian<quint32>(bytes.constData());
}

RecordValue PropertyRecordReader::Next() {
  RecordValue value;
  const QByteArray length = Take(1);
  value.name = Take(static_cast<unsigned char>(length[0]));
  value.type = static_cast<RecordValueType>(static_cast<unsigned char>(Take(1)[0]));
  switch (value.type) {
    case RecordValueType::kNull:
      break;
    case RecordValueType::kInt8:
      value.integer = static_cast<qint8>(Take(1)[0]);
      break;
    case RecordValueType::kInt16:
      value.integer = qFromLittleEndian<qint16>(Take(2).constData());
      break;
    case RecordValueType::kInt32:
      value.integer = static_cast<qint32>(TakeUInt32());
      break;
    case RecordValueType::kFalse:
      value.integer = 0;
      break;
    case RecordValueType::kTrue:
      value.integer = 1;
      break;
    case RecordValueType::kString:
      value.bytes = Take(static_cast<unsigned char>(Take(1)[0]));
      break;
    case RecordValueType::kBinary:
    case RecordValueType::kLongString:
    case RecordValueType::kUtf8String: {
      const quint32 size = TakeUInt32();
      if (size > static_cast<quint32>(data_.size() - position_))
        ThrowDamaged("a length runs past the end");
      value.bytes = Take(static_cast<qsizetype>(size));
      break;
    }
    default:
      ThrowDamaged("unknown value type");
  }
  return value;
}

}  // namespace ovx
