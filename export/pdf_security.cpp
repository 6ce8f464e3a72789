// The standard security handler, revision 3; see pdf_security.h.
#include "export/pdf_security.h"

#include <QCryptographicHash>

#include <utility>

namespace ovx {
namespace {

constexpr unsigned char kPadding[32] = {
    0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E, 0x56, 0xFF, 0xFA, 0x01, 0x08,
    0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68, 0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

constexpr int kKeyBytes = 16;

QByteArray Md5(QByteArrayView data) {
  return QCryptographicHash::hash(data, QCryptographicHash::Md5);
}

// Revision 3 encrypts 19 more times, each with the key's bytes XORed with
// the round number.
QByteArray Rc4Rounds(const QByteArray& key, QByteArray data) {
  data = Rc4::Crypt(key, data);
  for (int round = 1; round <= 19; ++round) {
    QByteArray round_key = key;
    for (char& c : round_key) c = static_cast<char>(c ^ round);
    data = Rc4::Crypt(round_key, data);
  }
  return data;
}

QByteArray LittleEndian32(std::int32_t value) {
  const auto v = static_cast<std::uint32_t>(value);
  QByteArray out(4, '\0');
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return out;
}

}  // namespace

Rc4::Rc4(QByteArrayView key) {
  for (int i = 0; i < 256; ++i) state_[i] = static_cast<std::uint8_t>(i);
  if (key.isEmpty()) return;
  std::uint8_t j = 0;
  for (int i = 0; i < 256; ++i) {
    j = static_cast<std::uint8_t>(j + state_[i] + static_cast<std::uint8_t>(key[i % key.size()]));
    std::swap(state_[i], state_[j]);
  }
}

void Rc4::Apply(char* data, qsizetype size) {
  for (qsizetype k = 0; k < size; ++k) {
    i_ = static_cast<std::uint8_t>(i_ + 1);
    j_ = static_cast<std::uint8_t>(j_ + state_[i_]);
    std::swap(state_[i_], state_[j_]);
    const std::uint8_t pad = state_[static_cast<std::uint8_t>(state_[i_] + state_[j_])];
    data[k] = static_cast<char>(static_cast<std::uint8_t>(data[k]) ^ pad);
  }
}

QByteArray Rc4::Crypt(QByteArrayView key, QByteArrayView data) {
  QByteArray out = data.toByteArray();
  Rc4 cipher(key);
  cipher.Apply(out.data(), out.size());
  return out;
}

std::int32_t PdfPermissionValue(int flags) { return (flags & 15) * 4 - 64; }

QByteArray PdfStandardSecurity::PaddedPassword(const QString& password) {
  bool latin1 = true;
  for (const QChar c : password) latin1 = latin1 && c.unicode() <= 0xFF;
  QByteArray bytes = latin1 ? password.toLatin1() : password.toUtf8();
  bytes.truncate(32);
  bytes.append(reinterpret_cast<const char*>(kPadding), 32 - bytes.size());
  return bytes;
}

PdfStandardSecurity::PdfStandardSecurity(const QString& user_password,
                                         const QString& owner_password, std::int32_t permissions,
                                         QByteArrayView file_id)
    : p_(permissions) {
  const QByteArray user = PaddedPassword(user_password);
  const QByteArray owner =
      PaddedPassword(owner_password.isEmpty() ? user_password : owner_password);

  // O: the padded user password under a key made from the owner password.
  QByteArray hash = Md5(owner);
  for (int i = 0; i < 50; ++i) hash = Md5(hash);
  o_ = Rc4Rounds(hash.left(kKeyBytes), user);

  // The file key.
  QByteArray input = user + o_ + LittleEndian32(p_) + file_id.toByteArray();
  hash = Md5(input);
  for (int i = 0; i < 50; ++i) hash = Md5(hash.left(kKeyBytes));
  key_ = hash.left(kKeyBytes);

  // U: the padding and the identifier hashed, encrypted, and 16 bytes of
  // filler (zeros) to make 32.
  u_ = Rc4Rounds(
      key_, Md5(QByteArray(reinterpret_cast<const char*>(kPadding), 32) + file_id.toByteArray()));
  u_.append(QByteArray(16, '\0'));
}

QByteArray PdfStandardSecurity::ObjectKey(int object_number) const {
  QByteArray input = key_;
  input += static_cast<char>(object_number & 0xFF);
  input += static_cast<char>((object_number >> 8) & 0xFF);
  input += static_cast<char>((object_number >> 16) & 0xFF);
  input += '\0';
  input += '\0';
  return Md5(input).left(kKeyBytes);
}

QByteArray PdfStandardSecurity::Encrypt(int object_number, QByteArrayView data) const {
  return Rc4::Crypt(ObjectKey(object_number), data);
}

}  // namespace ovx
