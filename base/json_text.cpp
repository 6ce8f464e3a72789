#include "base/json_text.h"

namespace ovx {

void AppendJsonString(QByteArray& out, const QString& text) {
  static const char kHex[] = "0123456789abcdef";
  out += '"';
  for (char c : text.toUtf8()) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      out += "\\u00";
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += c;
    }
  }
  out += '"';
}

}  // namespace ovx
