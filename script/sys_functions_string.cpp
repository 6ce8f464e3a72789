// String functions.
//
// Positions and counts come from scripts and are clamped the way the
// platform's own string routines clamp them, so no value of them reaches
// outside the string: Copy starts at 1 at the earliest and stops at the end;
// Delete does nothing for a start outside the string; Insert puts text at
// the start or the end when the position is before or past them; a count
// of 0 or less takes nothing.
#include "base/number_format.h"
#include "script/sys_functions_internal.h"

#include <algorithm>

namespace ovx::sys {
namespace {

using V = ScriptValue;

// SetLength beyond this is taken for a mistake rather than allocated.
constexpr qint64 kMaxSetLength = qint64(1) << 26;

// The 0-based start and the length of the part [from, from + count) of a
// text of `size` characters, 1-based `from` clamped to 1.
std::pair<qsizetype, qsizetype> Span(qsizetype size, qint64 from, qint64 count) {
  from = std::max<qint64>(from, 1);
  if (from > size || count <= 0) return {0, 0};
  return {static_cast<qsizetype>(from - 1),
          static_cast<qsizetype>(std::min<qint64>(count, size - from + 1))};
}

// Delete and DeleteStr: nothing for a start outside the string.
V Delete(ScriptMethodCall& c) {
  QString s = c.Arg(0).ToString();
  const qint64 from = c.Arg(1).ToInt64();
  const qint64 count = c.Arg(2).ToInt64();
  if (from >= 1 && from <= s.size()) {
    const auto [start, length] = Span(s.size(), from, count);
    s.remove(start, length);
  }
  c.SetArg(0, V::String(s));
  return V();
}

QString NameCase(const QString& text) {
  QString s = text.toLower();
  for (qsizetype i = 0; i < s.size(); ++i) {
    if (i == 0 || s[i - 1] == u' ') s[i] = s[i].toUpper();
  }
  return s;
}

// Blanks and control characters: everything up to the space.
QString Trim(const QString& s) {
  qsizetype begin = 0, end = s.size();
  while (begin < end && s[begin].unicode() <= u' ') ++begin;
  while (end > begin && s[end - 1].unicode() <= u' ') --end;
  return s.mid(begin, end - begin);
}

V SetLength(ScriptMethodCall& c) {
  const V v = c.Arg(0);
  const qint64 length = c.Arg(1).ToInt64();
  if (length < 0 || length > kMaxSetLength) {
    Fail("ERangeError", "rsScriptBadLength", QStringLiteral("Invalid length: %1"),
         FormatInt(length));
  }
  if (v.kind() == V::Kind::kArray) {
    // Arrays from the host carry no budget of their own: the element limit
    // of one program still holds for each of them.
    if (length > kMaxScriptArrayElements) {
      Fail("EOutOfMemory", "rsScriptArrayBounds",
           QStringLiteral("Invalid array bounds: at most %1 elements"),
           QString::number(kMaxScriptArrayElements));
    }
    const ScriptArray& old = *v.array();
    if (old.low.size() != 1) {
      Fail("ERangeError", "rsScriptSetLengthDims",
           QStringLiteral("SetLength needs an array of one dimension"));
    }
    // A new array rather than a resize in place: other variables holding
    // the old one keep it as it was. It counts against the same budget.
    // An array from the host carries no budget: the new one is the
    // running program's and counts against its budget.
    std::shared_ptr<qint64> budget = old.live;
    if (!budget && c.program) budget = c.program->ElementBudget();
    ScriptArray::Reserve(budget, length);
    auto a = std::make_shared<ScriptArray>();
    a->live = budget;
    a->low = old.low;
    a->high = {old.low[0] + length - 1};
    try {
      const size_t keep = std::min(old.items.size(), static_cast<size_t>(length));
      a->items.assign(old.items.begin(), old.items.begin() + static_cast<std::ptrdiff_t>(keep));
      a->items.resize(static_cast<size_t>(length));
    } catch (...) {
      // The destructor gives back what the items hold; the rest of the
      // reservation is returned here.
      if (a->live) *a->live -= length - static_cast<qint64>(a->items.size());
      throw;
    }
    c.SetArg(0, V::Array(std::move(a)));
    return V();
  }
  QString s = v.kind() == V::Kind::kNull ? QString() : v.ToString();
  if (length <= s.size()) {
    s.truncate(static_cast<qsizetype>(length));
  } else {
    s += QString(static_cast<qsizetype>(length) - s.size(), u' ');
  }
  c.SetArg(0, V::String(s));
  return V();
}

}  // namespace

void AddStringFunctions(std::vector<SysFunction>& out) {
  const QString cat = QStringLiteral("ctString");
  out.push_back(
      {cat, QStringLiteral("function Length(s: Variant): Integer"), [](ScriptMethodCall& c) {
         const V v = c.Arg(0);
         if (v.kind() == V::Kind::kArray) {
           const ScriptArray& a = *v.array();
           return V::Integer(a.low.empty() ? 0 : a.high[0] - a.low[0] + 1);
         }
         if (v.kind() == V::Kind::kNull) return V::Int(0);
         return V::Integer(v.ToString().size());
       }});
  out.push_back({cat, QStringLiteral("function Copy(s: String; from, count: Integer): String"),
                 [](ScriptMethodCall& c) {
                   const QString s = c.Arg(0).ToString();
                   const auto [start, length] =
                       Span(s.size(), c.Arg(1).ToInt64(), c.Arg(2).ToInt64());
                   return V::String(s.mid(start, length));
                 }});
  out.push_back(
      {cat, QStringLiteral("function Pos(substr, s: String): Integer"), [](ScriptMethodCall& c) {
         const QString sub = c.Arg(0).ToString();
         if (sub.isEmpty()) return V::Int(0);
         return V::Integer(c.Arg(1).ToString().indexOf(sub) + 1);
       }});
  out.push_back(
      {cat, QStringLiteral("procedure Delete(var s: String; from, count: Integer)"), Delete});
  out.push_back(
      {cat, QStringLiteral("procedure DeleteStr(var s: String; from, count: Integer)"), Delete});
  out.push_back({cat, QStringLiteral("procedure Insert(s: String; var s2: String; pos: Integer)"),
                 [](ScriptMethodCall& c) {
                   const QString s = c.Arg(0).ToString();
                   QString s2 = c.Arg(1).ToString();
                   const qint64 at = std::clamp<qint64>(c.Arg(2).ToInt64(), 1, s2.size() + 1);
                   s2.insert(static_cast<qsizetype>(at - 1), s);
                   c.SetArg(1, V::String(s2));
                   return V();
                 }});
  out.push_back({cat, QStringLiteral("function Uppercase(s: String): String"),
                 [](ScriptMethodCall& c) { return V::String(c.Arg(0).ToString().toUpper()); }});
  out.push_back({cat, QStringLiteral("function Lowercase(s: String): String"),
                 [](ScriptMethodCall& c) { return V::String(c.Arg(0).ToString().toLower()); }});
  out.push_back({cat, QStringLiteral("function Trim(s: String): String"),
                 [](ScriptMethodCall& c) { return V::String(Trim(c.Arg(0).ToString())); }});
  out.push_back({cat, QStringLiteral("function NameCase(s: String): String"),
                 [](ScriptMethodCall& c) { return V::String(NameCase(c.Arg(0).ToString())); }});
  out.push_back({cat, QStringLiteral("function CompareText(s, s1: String): Integer"),
                 [](ScriptMethodCall& c) {
                   const int r = QString::compare(c.Arg(0).ToString(), c.Arg(1).ToString(),
                                                  Qt::CaseInsensitive);
                   return V::Int(r < 0 ? -1 : r > 0 ? 1 : 0);
                 }});
  out.push_back({cat, QStringLiteral("function Chr(i: Integer): Char"), [](ScriptMethodCall& c) {
                   const qint64 code = c.Arg(0).ToInt64();
                   if (code < 0 || code > 0xFFFF) {
                     Fail("ERangeError", "rsScriptBadChr",
                          QStringLiteral("Chr: %1 is no character code (0 to 65535)"),
                          FormatInt(code));
                   }
                   return V::String(QString(QChar(static_cast<char16_t>(code))));
                 }});
  out.push_back({cat, QStringLiteral("function Ord(ch: Char): Integer"), [](ScriptMethodCall& c) {
                   const V v = c.Arg(0);
                   if (v.IsIntegral()) return v;
                   if (v.kind() == V::Kind::kBool) return V::Int(v.ToBool() ? 1 : 0);
                   const QString s = v.ToString();
                   return V::Int(s.isEmpty() ? 0 : s[0].unicode());
                 }});
  out.push_back(
      {cat, QStringLiteral("procedure SetLength(var S: Variant; L: Integer)"), SetLength});
}

}  // namespace ovx::sys
