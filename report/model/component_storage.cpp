// Saving, loading and copying single objects and their subtrees through the
// template format: the same serializer as whole reports, with the object's
// report (when it has one) resolving references and collecting errors.
#include "base/error.h"
#include "base/number_format.h"
#include "base/stream.h"
#include "report/model/classes.h"
#include "report/model/component.h"
#include "report/model/memo_view.h"
#include "report/model/picture.h"
#include "report/model/report.h"
#include "report/storage/property_text.h"
#include "report/storage/xml_escape.h"
#include "report/storage/xml_item.h"
#include "report/storage/xml_serializer.h"

#include <QHash>

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <memory>
#include <vector>

namespace {

const ovx::ClassRegistry& ClassesFor(const TovxComponent& object) {
  const TovxReport* report = object.Report();
  return report ? report->Classes() : ovx::ReportClasses();
}

// References resolve within the object's report, or within the object's own
// tree when it belongs to none.
ovx::StoredObject* OwnerFor(TovxComponent& object) {
  if (TovxReport* report = object.Report()) return report;
  return &object;
}

void AddErrors(TovxComponent& object, const QStringList& errors) {
  if (TovxReport* report = object.Report()) {
    for (const QString& line : errors) report->AddError(line);
  }
}

}  // namespace

void TovxComponent::SaveToStream(ovx::Stream& stream, bool save_children,
                                 bool save_default_values) {
  TovxXMLSerializer serializer(ClassesFor(*this), OwnerFor(*this));
  serializer.SetSerializeDefaultValues(save_default_values);
  serializer.WriteRootComponent(*this, save_children, stream);
}

bool TovxComponent::LoadFromStream(ovx::Stream& stream) {
  Clear();
  TovxXMLSerializer serializer(ClassesFor(*this), OwnerFor(*this));
  QStringList errors;
  try {
    serializer.ReadRootComponent(*this, stream);
  } catch (const ovx::Error& error) {
    errors << error.Message();
  }
  errors << serializer.Errors();
  AddErrors(*this, errors);
  return errors.isEmpty();
}

namespace {

// The value a float property has after a trip through the template format
// (15 significant digits), so that a copy equals what saving and loading
// the source would give. Whole numbers, the common case, need no trip.
// A page of typeset cells repeats a handful of positions and sizes, so the
// trip's results are remembered by the value's bits.
double AsStored(double value) {
  if (value == std::trunc(value) && std::fabs(value) < 1e15) return value;
  struct Slot {
    quint64 bits = 0;
    double stored = 0;
    bool used = false;
  };
  thread_local std::array<Slot, 256> recent;
  const quint64 bits = std::bit_cast<quint64>(value);
  Slot& slot = recent[(bits ^ (bits >> 29) ^ (bits >> 47)) & 0xff];
  if (slot.used && slot.bits == bits) return slot.stored;
  // As FormatFloat writes it: 15 significant digits.
  char buffer[40];
  const auto written =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
  double back = value;
  if (written.ec == std::errc()) std::from_chars(buffer, written.ptr, back);
  slot = {bits, back, true};
  return back;
}

// What a copy asks of an object beyond its properties, by class: a failed
// dynamic_cast walks the whole hierarchy, and a memo holds a dozen nested
// value objects.
struct CopyTraits {
  bool stored_object = false;
  bool picture = false;
  bool memo = false;
};

// Whether a memo's lines come back the same through its stored text (joined
// by CR LF, split at any line break): then a copy may share them.
bool LinesSurviveText(const QStringList& lines) {
  if (lines.size() == 1 && lines.front().isEmpty()) return false;
  for (const QString& line : lines) {
    if (line.contains(u'\r') || line.contains(u'\n')) return false;
  }
  return true;
}

const CopyTraits& TraitsOf(const ovx::Persistent& object) {
  thread_local QHash<const ovx::MetaClass*, CopyTraits> known;
  const ovx::MetaClass* meta = &object.GetMetaClass();
  auto it = known.constFind(meta);
  if (it == known.constEnd()) {
    it = known.insert(meta, {dynamic_cast<const ovx::StoredObject*>(&object) != nullptr,
                             dynamic_cast<const TovxPicture*>(&object) != nullptr,
                             dynamic_cast<const TovxCustomMemoView*>(&object) != nullptr});
  }
  return *it;
}

// Copies what the serializer would write of `from` (every stored property,
// defaults included) into `to`, in declaration order, straight through the
// property metadata. References are only gathered as attribute text, since
// they must resolve by name in the target's own report. Data a record
// cannot take is told in `errors`, as loading would tell it.
void CopyStored(const ovx::Persistent& from, ovx::Persistent& to,
                std::vector<const ovx::PropertyInfo*>& path, QByteArray& references,
                QStringList& errors) {
  const ovx::MetaClass& from_class = from.GetMetaClass();
  const bool same_class = &from_class == &to.GetMetaClass();
  auto& source = const_cast<ovx::Persistent&>(from);
  for (const ovx::PropertyInfo* p : from_class.Properties()) {
    if (!p->get && p->kind != ovx::PropertyKind::kObject) continue;
    if (!p->IsStored(from)) continue;
    const ovx::PropertyInfo* target = same_class ? p : to.GetMetaClass().FindProperty(p->name);
    if (!target || target->kind != p->kind) continue;
    switch (p->kind) {
      case ovx::PropertyKind::kObject: {
        if (!p->object || !target->object) break;
        // Neither holder made this value object yet: both hold its defaults.
        if (p->existing && target->existing && !p->existing(from) && !target->existing(to)) break;
        const ovx::Persistent* nested = p->object(source);
        ovx::Persistent* nested_to = target->object(to);
        if (nested && nested_to) {
          path.push_back(p);
          CopyStored(*nested, *nested_to, path, references, errors);
          path.pop_back();
        }
        break;
      }
      case ovx::PropertyKind::kReference: {
        const QString name = ovx::PropertyText(*p, from);
        if (name.isEmpty() && ovx::PropertyText(*target, to).isEmpty()) break;
        references += ' ';
        for (const ovx::PropertyInfo* outer : path) references += outer->name.toLatin1() + '.';
        references += p->name.toLatin1() + "=\"" +
                      (name.isEmpty() ? QByteArray("nil") : ovx::XmlEscape(name.toUtf8())) + '"';
        break;
      }
      case ovx::PropertyKind::kFloat: {
        if (!target->set) break;
        const double value = ovx::ToDouble(p->get(from));
        if (std::isfinite(value)) target->set(to, AsStored(value));
        break;
      }
      case ovx::PropertyKind::kVariant:
        // Variants are stored as their text.
        if (target->set) target->set(to, QVariant(ovx::ToVariant(p->get(from)).toString()));
        break;
      case ovx::PropertyKind::kInteger:
      case ovx::PropertyKind::kChar:
      case ovx::PropertyKind::kEnumeration:
      case ovx::PropertyKind::kSet:
      case ovx::PropertyKind::kString:
      case ovx::PropertyKind::kStringList:
        if (same_class && p->copy) {
          p->copy(from, to);
        } else if (target->set) {
          target->set(to, p->get(from));
        }
        break;
      default:  // wide string lists, 64-bit integers and host callbacks are not stored
        break;
    }
  }
  const CopyTraits from_traits = TraitsOf(from);
  const CopyTraits to_traits = same_class ? from_traits : TraitsOf(to);
  const auto* from_memo =
      from_traits.memo && to_traits.memo ? dynamic_cast<const TovxCustomMemoView*>(&from) : nullptr;
  if (from_memo && LinesSurviveText(from_memo->Lines())) {
    dynamic_cast<TovxCustomMemoView&>(to).SetLines(from_memo->Lines());
  } else if (from_traits.stored_object && to_traits.stored_object) {
    const auto& stored = dynamic_cast<const ovx::StoredObject&>(from);
    if (const std::optional<QString> text = stored.StoredText()) {
      auto& stored_to = dynamic_cast<ovx::StoredObject&>(to);
      if (stored_to.StoredText()) stored_to.SetStoredText(*text);
    }
  }
  // Pictures share their bytes and decoded image; other data goes through
  // its record. Nothing to copy leaves the target's own, as a file would.
  if (from_traits.picture) {
    const auto& picture = dynamic_cast<const TovxPicture&>(from);
    if (auto* picture_to = dynamic_cast<TovxPicture*>(&to); picture_to && !picture.IsEmpty()) {
      *picture_to = picture;
    }
    return;
  }
  const QByteArray data = from.DefinedData();
  if (!data.isEmpty()) {
    try {
      to.ReadDefinedData(data);
    } catch (const ovx::Error& error) {
      errors << error.Message();
    }
  }
}

}  // namespace

namespace {

// Whether `source` may write nested lists: a memo only with more than one
// format or highlight (the common memo has neither); any other class is
// asked.
bool MayHaveCollections(const TovxComponent& source) {
  if (!TraitsOf(source).memo) return true;
  const auto& memo = static_cast<const TovxCustomMemoView&>(source);
  return memo.FormatCount() > 1 || memo.HighlightCount() > 1;
}

}  // namespace

void TovxComponent::Assign(const TovxComponent& source) {
  if (&source == this) return;
  SetLoading(true);
  QByteArray references;
  QStringList errors;
  const std::optional<QByteArray> raw = source.RawAttributes();
  if (!raw) {
    std::vector<const ovx::PropertyInfo*> path;
    CopyStored(source, *this, path, references, errors);
    // Most copies are plain values only: no report to find (a walk up the
    // tree) and no serializer to make.
    if (references.isEmpty() && errors.isEmpty() && !MayHaveCollections(source)) {
      SetLoading(false);
      return;
    }
  }
  TovxReport* report = Report();
  TovxXMLSerializer serializer(report ? report->Classes() : ovx::ReportClasses(),
                               report ? static_cast<ovx::StoredObject*>(report) : this);
  if (raw) {
    if (RawAttributes()) SetRawAttributes(*raw);
  } else {
    for (const QString& error : errors)
      serializer.AddError(error + QStringLiteral(" (") + Name() + u')');
    // References resolve by name in this object's report; nested lists (a
    // memo's formats beyond the first) go through their elements. Most
    // objects have neither.
    if (!references.isEmpty()) serializer.ReadProperties(references, *this);
  }
  TovxXMLItem collections;
  source.WriteCollections(collections, serializer);
  for (int i = 0; i < collections.Count(); ++i) ReadCollection(*collections.Items(i), serializer);
  serializer.ResolveReferences();
  SetLoading(false);
  if (report) {
    for (const QString& line : serializer.Errors()) report->AddError(line);
  }
}
