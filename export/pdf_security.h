// The standard security handler of PDF, revision 3: 128-bit RC4 keys
// derived with MD5 from the passwords, the permissions and the file
// identifier.
//
// A protected file keeps its structure readable (dictionaries, names,
// numbers) and encrypts only string tokens and stream data, each under a
// key of its own made from the file key and the number of the object that
// holds it. Hence every string writer of the document takes the object
// number along with the bytes.
//
// RC4 and the padding are those of the published algorithms; MD5 comes from
// QtCore. Passwords are taken as Latin-1 bytes when every character fits
// (the PDF document encoding agrees on those), otherwise as UTF-8, and are
// cut to 32 bytes as the algorithm does.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <cstdint>

namespace ovx {

// The stream cipher; encrypting and decrypting are the same operation.
class Rc4 {
 public:
  explicit Rc4(QByteArrayView key);
  void Apply(char* data, qsizetype size);
  static QByteArray Crypt(QByteArrayView key, QByteArrayView data);

 private:
  std::array<std::uint8_t, 256> state_{};
  std::uint8_t i_ = 0;
  std::uint8_t j_ = 0;
};

// Permission bits of the P value.
inline constexpr int kPdfPermitPrint = 1;
inline constexpr int kPdfPermitModify = 2;
inline constexpr int kPdfPermitCopy = 4;
inline constexpr int kPdfPermitAnnotate = 8;

// P for a set of the four permission bits above: (flags & 15) x 4 - 64, so
// every other bit (reserved, or meaning "higher quality" and "fill forms")
// stays as the writer of the original filter set it.
std::int32_t PdfPermissionValue(int flags);

class PdfStandardSecurity {
 public:
  // `file_id` is the 16 bytes of the first file identifier. An empty owner
  // password is replaced by the user password.
  PdfStandardSecurity(const QString& user_password, const QString& owner_password,
                      std::int32_t permissions, QByteArrayView file_id);

  // The 32 bytes of /O and /U.
  const QByteArray& OwnerValue() const { return o_; }
  const QByteArray& UserValue() const { return u_; }
  std::int32_t Permissions() const { return p_; }
  const QByteArray& FileKey() const { return key_; }

  // The RC4 key of an object (generation 0).
  QByteArray ObjectKey(int object_number) const;
  QByteArray Encrypt(int object_number, QByteArrayView data) const;

  // The password bytes, padded or cut to 32 with the standard padding.
  static QByteArray PaddedPassword(const QString& password);

 private:
  QByteArray o_;
  QByteArray u_;
  QByteArray key_;
  std::int32_t p_;
};

}  // namespace ovx
