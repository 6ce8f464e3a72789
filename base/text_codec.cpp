// Both directions run iconv between CP936 and UTF-16LE. When iconv stops at a
// bad or unconvertible sequence, the code writes the replacement itself,
// steps over the offending input and resumes, so one bad byte never costs the
// rest of the text.
#include "base/text_codec.h"

#include "base/error.h"

#include <QtEndian>

#include <iconv.h>
#include <algorithm>
#include <cerrno>
#include <vector>

namespace ovx {
namespace {

constexpr char kGbkName[] = "CP936";
constexpr char kUtf16Name[] = "UTF-16LE";

// One iconv handle, opened on first use in the thread that owns it.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : to_(to), from_(from) {}
  ~Iconv() {
    if (handle_ != kInvalid) iconv_close(handle_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  // The handle in its initial shift state.
  iconv_t Get() {
    if (handle_ == kInvalid) {
      handle_ = iconv_open(to_, from_);
      if (handle_ == kInvalid) {
        throw Error({}, "The text conversion from %s to %s is not available on this system.",
                    {QString::fromLatin1(from_), QString::fromLatin1(to_)});
      }
    }
    iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    return handle_;
  }

 private:
  static inline const iconv_t kInvalid = reinterpret_cast<iconv_t>(-1);
  const char* to_;
  const char* from_;
  iconv_t handle_ = kInvalid;
};

struct Converters {
  Iconv decoder{kUtf16Name, kGbkName};
  Iconv encoder{kGbkName, kUtf16Name};
};

Converters& ThreadConverters() {
  thread_local Converters converters;
  return converters;
}

// Output space for iconv that grows on demand.
class OutputBuffer {
 public:
  explicit OutputBuffer(std::size_t initial) : bytes_(initial < 16 ? 16 : initial) {}
  char* Cursor() { return bytes_.data() + used_; }
  std::size_t Left() const { return bytes_.size() - used_; }
  void Advance(char* new_cursor) { used_ = static_cast<std::size_t>(new_cursor - bytes_.data()); }
  void Grow() { bytes_.resize(bytes_.size() * 2); }
  void Append(const char* data, std::size_t size) {
    while (Left() < size) Grow();
    std::copy(data, data + size, Cursor());
    used_ += size;
  }
  const char* Data() const { return bytes_.data(); }
  std::size_t Size() const { return used_; }

 private:
  std::vector<char> bytes_;
  std::size_t used_ = 0;
};

// The shape of a two-byte GBK character, mapped or not.
bool IsGbkPair(char lead, char trail) {
  const auto l = static_cast<unsigned char>(lead);
  const auto t = static_cast<unsigned char>(trail);
  return l >= 0x81 && l <= 0xFE && ((t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFE));
}

bool IsHighSurrogate(const char* le) {
  const auto unit = qFromLittleEndian<quint16>(le);
  return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(const char* le) {
  const auto unit = qFromLittleEndian<quint16>(le);
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

QString FromGbk(const QByteArray& bytes) {
  if (bytes.isEmpty()) return {};
  iconv_t cd = ThreadConverters().decoder.Get();
  // Each GBK character (one or two bytes) and each replaced byte yields one
  // UTF-16 unit, so twice the input size is enough; Grow covers the rest.
  OutputBuffer out(static_cast<std::size_t>(bytes.size()) * 2);
  char* in = const_cast<char*>(bytes.constData());  // iconv's signature is not const-correct
  std::size_t in_left = static_cast<std::size_t>(bytes.size());
  static constexpr char kReplacement[] = {'\xFD', '\xFF'};  // U+FFFD, little-endian

  while (in_left > 0) {
    char* cursor = out.Cursor();
    std::size_t out_left = out.Left();
    const std::size_t result = iconv(cd, &in, &in_left, &cursor, &out_left);
    out.Advance(cursor);
    if (result != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) {
      out.Grow();
    } else {
      // EILSEQ or EINVAL (truncated at the end). A well-formed pair without a
      // mapping (the user-defined areas, which the C library leaves out) is
      // one character: replacing only its lead byte would let the trail byte
      // pair up with the next byte into a wrong character. Anything else is
      // one bad byte; the next one may start a valid character.
      const std::size_t step = in_left >= 2 && IsGbkPair(in[0], in[1]) ? 2 : 1;
      out.Append(kReplacement, sizeof kReplacement);
      in += step;
      in_left -= step;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }

  const auto units = static_cast<qsizetype>(out.Size() / 2);
  QString text(units, Qt::Uninitialized);
  qFromLittleEndian<quint16>(out.Data(), units, text.data());
  return text;
}

QByteArray ToGbk(QStringView text, bool* lossless) {
  if (lossless) *lossless = true;
  if (text.isEmpty()) return {};
  iconv_t cd = ThreadConverters().encoder.Get();

  QByteArray input(text.size() * 2, Qt::Uninitialized);
  qToLittleEndian<quint16>(text.utf16(), text.size(), input.data());
  // At most two bytes per UTF-16 unit.
  OutputBuffer out(static_cast<std::size_t>(input.size()));
  char* in = input.data();
  std::size_t in_left = static_cast<std::size_t>(input.size());

  while (in_left > 0) {
    char* cursor = out.Cursor();
    std::size_t out_left = out.Left();
    const std::size_t result = iconv(cd, &in, &in_left, &cursor, &out_left);
    out.Advance(cursor);
    if (result != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) {
      out.Grow();
      continue;
    }
    // The character at `in` has no GBK code (EILSEQ) or is a lone surrogate
    // (EILSEQ, or EINVAL at the end). A surrogate pair is one character and
    // gets one "?".
    out.Append("?", 1);
    if (lossless) *lossless = false;
    const std::size_t step = in_left >= 4 && IsHighSurrogate(in) && IsLowSurrogate(in + 2)
                                 ? 4
                                 : std::min<std::size_t>(2, in_left);
    in += step;
    in_left -= step;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  return QByteArray(out.Data(), static_cast<qsizetype>(out.Size()));
}

bool IsValidUtf8(const QByteArray& bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
  const auto* const end = p + bytes.size();
  while (p < end) {
    const unsigned char lead = *p;
    if (lead < 0x80) {
      ++p;
      continue;
    }
    int length;
    // The first continuation byte's range excludes overlong forms (E0, F0),
    // surrogates (ED) and code points above U+10FFFF (F4).
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (end - p < length) return false;
    if (p[1] < low || p[1] > high) return false;
    for (int i = 2; i < length; ++i) {
      if (p[i] < 0x80 || p[i] > 0xBF) return false;
    }
    p += length;
  }
  return true;
}

QString DecodeNarrow(const QByteArray& bytes) {
  return IsValidUtf8(bytes) ? QString::fromUtf8(bytes) : FromGbk(bytes);
}

}  // namespace ovx
