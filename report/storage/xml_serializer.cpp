#include "report/storage/xml_serializer.h"

#include "base/error.h"
#include "base/number_format.h"
#include "base/stream.h"
#include "base/text_codec.h"
#include "report/storage/property_text.h"
#include "report/storage/xml_attributes.h"
#include "report/storage/xml_document.h"
#include "report/storage/xml_escape.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace {

using ovx::PropertyInfo;
using ovx::PropertyKind;

constexpr double kFloatAncestorTolerance = 0.000001;

QString DecodeText(const QByteArray& bytes) { return ovx::DecodeNarrow(bytes); }

void AppendAttribute(QByteArray& out, const QByteArray& name, const QByteArray& escaped_value) {
  out += ' ';
  out += name;
  out += "=\"";
  out += escaped_value;
  out += '"';
}

QByteArray EscapedText(const QString& text) { return ovx::XmlEscape(text.toUtf8()); }

bool IsOrdinal(PropertyKind kind) {
  return kind == PropertyKind::kInteger || kind == PropertyKind::kChar ||
         kind == PropertyKind::kEnumeration || kind == PropertyKind::kSet;
}

QByteArray Hex(const QByteArray& bytes) { return bytes.toHex().toUpper(); }

std::optional<QByteArray> FromHex(const QByteArray& hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  for (char c : hex) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
  }
  return QByteArray::fromHex(hex);
}

}  // namespace

TovxXMLSerializer::TovxXMLSerializer(const ovx::ClassRegistry& classes, ovx::StoredObject* owner)
    : classes_(classes), owner_(owner) {}

TovxXMLSerializer::~TovxXMLSerializer() = default;

void TovxXMLSerializer::AddError(const QString& line) {
  // A damaged file may bring a line per object: sorting once when the list
  // is asked for keeps that linear (an insertion in order would not be).
  if (error_set_.contains(line)) return;
  error_set_.insert(line);
  errors_.append(line);
  errors_sorted_ = false;
}

const QStringList& TovxXMLSerializer::Errors() const {
  if (!errors_sorted_) {
    std::sort(errors_.begin(), errors_.end());
    errors_sorted_ = true;
  }
  return errors_;
}

// --- writing ------------------------------------------------------------------

QByteArray TovxXMLSerializer::WriteProperties(const ovx::Persistent& object,
                                              const QByteArray& prefix,
                                              const ovx::Persistent* ancestor) {
  QByteArray out;
  WriteObjectAttributes(object, prefix, ancestor, out);
  return out;
}

void TovxXMLSerializer::WriteObjectAttributes(const ovx::Persistent& object,
                                              const QByteArray& prefix,
                                              const ovx::Persistent* ancestor, QByteArray& out) {
  // An ancestor is only comparable when it is of the same class (a fill of
  // another type, say).
  if (ancestor && &ancestor->GetMetaClass() != &object.GetMetaClass()) ancestor = nullptr;
  auto& mutable_object = const_cast<ovx::Persistent&>(object);
  auto* mutable_ancestor = const_cast<ovx::Persistent*>(ancestor);

  for (const PropertyInfo* p : object.GetMetaClass().Properties()) {
    if (!p->get && p->kind != PropertyKind::kObject) continue;
    if (!p->IsStored(object)) continue;
    const QByteArray name = prefix + p->name.toLatin1();
    if (IsOrdinal(p->kind)) {
      const ovx::PropertyValue value = p->get(object);
      bool write = write_defaults_;
      if (!write) {
        if (ancestor) {
          write = ovx::ToInt(value) != ovx::ToInt(p->get(*ancestor));
        } else {
          write = !p->default_value || ovx::ToInt(value) != ovx::ToInt(*p->default_value);
        }
      }
      if (write) AppendAttribute(out, name, ovx::PropertyValueText(*p, value).toLatin1());
      continue;
    }
    switch (p->kind) {
      case PropertyKind::kFloat: {
        const double value = ovx::ToDouble(p->get(object));
        if (write_defaults_ || !ancestor ||
            std::fabs(value - ovx::ToDouble(p->get(*ancestor))) >= kFloatAncestorTolerance) {
          AppendAttribute(out, name, ovx::FormatFloat(value).toLatin1());
        }
        break;
      }
      case PropertyKind::kString: {
        // Empty text is written only where it is not what a new object has,
        // so that clearing a text with a default survives saving.
        const QString value = ovx::ToText(p->get(object));
        const bool write =
            write_defaults_ ||
            (ancestor ? value != ovx::ToText(p->get(*ancestor))
                      : !value.isEmpty() ||
                            (p->default_value && value != ovx::ToText(*p->default_value)));
        if (write) AppendAttribute(out, name, EscapedText(value));
        break;
      }
      case PropertyKind::kVariant: {
        const QVariant variant = ovx::ToVariant(p->get(object));
        const QString value = variant.toString();
        // A value is stored as its text, so Null and "" would read back
        // alike; Null is what a new object has, so it is left out.
        const bool null_as_new =
            !variant.isValid() && (!ancestor || !ovx::ToVariant(p->get(*ancestor)).isValid());
        if (null_as_new && !write_defaults_) break;
        if (write_defaults_ || !ancestor || value != ovx::ToVariant(p->get(*ancestor)).toString()) {
          AppendAttribute(out, name, EscapedText(value));
        }
        break;
      }
      case PropertyKind::kReference: {
        const QString value = ovx::PropertyText(*p, object);
        const QString inherited = ancestor ? ovx::PropertyText(*p, *ancestor) : QString();
        if (write_defaults_ || value != inherited) {
          // "nil" says the inherited reference was taken away.
          AppendAttribute(out, name, value.isEmpty() ? QByteArray("nil") : EscapedText(value));
        }
        break;
      }
      case PropertyKind::kStringList: {
        const QString value = ovx::ToStringList(p->get(object)).join(QStringLiteral("\r\n"));
        if (write_defaults_ || !ancestor ||
            value != ovx::ToStringList(p->get(*ancestor)).join(QStringLiteral("\r\n"))) {
          AppendAttribute(out, name + ".Text", EscapedText(value));
        }
        break;
      }
      case PropertyKind::kObject: {
        if (!p->object) break;
        const ovx::Persistent* nested = p->object(mutable_object);
        if (!nested) break;
        const ovx::Persistent* nested_ancestor =
            mutable_ancestor ? p->object(*mutable_ancestor) : nullptr;
        WriteObjectAttributes(*nested, name + '.', nested_ancestor, out);
        break;
      }
      default:  // wide string lists, 64-bit integers and host callbacks are not stored
        break;
    }
  }

  if (const auto* stored = dynamic_cast<const ovx::StoredObject*>(&object)) {
    if (const std::optional<QString> text = stored->StoredText()) {
      const auto* stored_ancestor = dynamic_cast<const ovx::StoredObject*>(ancestor);
      const std::optional<QString> inherited =
          stored_ancestor ? stored_ancestor->StoredText() : std::optional<QString>();
      if (!inherited || *inherited != *text)
        AppendAttribute(out, prefix + "Text", EscapedText(*text));
    }
  }
  const QByteArray data = object.DefinedData();
  if (!data.isEmpty() && (!ancestor || ancestor->DefinedData() != data)) {
    AppendAttribute(out, prefix + "PropData", Hex(data));
  }
}

void TovxXMLSerializer::WriteObjectElement(const ovx::StoredObject& object, bool save_children,
                                           bool is_top, TovxXMLItem& element) {
  const ovx::StoredObject* ancestor = ancestor_of ? ancestor_of(object) : nullptr;
  element.SetName(ancestor ? QByteArray("inherited") : object.StoredClassName().toUtf8());
  QByteArray text;
  if (!is_top) AppendAttribute(text, "Name", EscapedText(object.StoredName()));
  if (const std::optional<QByteArray> raw = object.RawAttributes()) {
    if (!raw->isEmpty()) {
      text += ' ';
      text += *raw;
    }
  } else {
    WriteObjectAttributes(object, {}, ancestor, text);
  }
  element.SetText(text.trimmed());
  if (handle_nested_) object.WriteCollections(element, *this);
  if (!save_children) return;
  for (const ovx::StoredObject* child : object.StoredChildren()) {
    WriteObjectElement(*child, true, false, *element.Add());
  }
}

void TovxXMLSerializer::WriteComponentTree(const ovx::StoredObject& root, bool save_children,
                                           TovxXMLItem& element) {
  WriteObjectElement(root, save_children, true, element);
  if (save_custom_data) {
    TovxXMLItem* custom = element.Add();
    custom->SetName("OvxCustomData");
    save_custom_data(*custom);
  }
}

void TovxXMLSerializer::WriteRootComponent(const ovx::StoredObject& root, bool save_children,
                                           ovx::Stream& stream) {
  TovxXMLDocument document;
  document.SetAutoIndent(true);
  WriteComponentTree(root, save_children, *document.Root());
  document.SaveToStream(stream);
}

QByteArray TovxXMLSerializer::ObjectToString(const ovx::StoredObject& object) {
  QByteArray out = object.StoredClassName().toUtf8();
  if (const std::optional<QByteArray> raw = object.RawAttributes()) {
    AppendAttribute(out, "Name", EscapedText(object.StoredName()));
    if (!raw->isEmpty()) out += ' ' + *raw;
  } else {
    WriteObjectAttributes(object, {}, nullptr, out);
  }
  return out;
}

void TovxXMLSerializer::WriteObjectRecord(const ovx::StoredObject& object, ovx::Stream& stream) {
  stream.Write('<' + ObjectToString(object) + "/>");
}

QByteArray TovxXMLSerializer::WriteCollectionItem(const ovx::Persistent& item,
                                                  const ovx::Persistent* ancestor,
                                                  const QString& ancestor_name, int unique_number) {
  QByteArray out;
  if (!ancestor_name.isEmpty()) AppendAttribute(out, "InheritedName", EscapedText(ancestor_name));
  WriteObjectAttributes(item, {}, ancestor, out);
  if (unique_number > 0) AppendAttribute(out, "uin", QByteArray::number(unique_number));
  return out.trimmed();
}

// --- reading ------------------------------------------------------------------

void TovxXMLSerializer::ReadRootComponent(ovx::StoredObject& root, ovx::Stream& stream) {
  TovxXMLDocument document;
  try {
    document.LoadFromStream(stream);
  } catch (const TovxInvalidXMLException&) {
    // What was read before the damage is kept, and the caller still learns
    // that the document is not whole.
    if (!document.Root()->Name().isEmpty()) ReadComponentTree(root, *document.Root());
    throw;
  }
  ReadComponentTree(root, *document.Root());
}

void TovxXMLSerializer::ReadComponentTree(ovx::StoredObject& root, const TovxXMLItem& element) {
  std::vector<ovx::StoredObject*> read;
  reading_tree_ = true;
  read_objects_.clear();
  ReadElement(root, element, true, read);
  reading_tree_ = false;
  read_objects_.clear();
  ResolveReferences();
  for (ovx::StoredObject* object : read) {
    object->SetLoading(false);
    if (object != &root) object->Loaded();
  }
}

void TovxXMLSerializer::ReadElement(ovx::StoredObject& object, const TovxXMLItem& element,
                                    bool is_top, std::vector<ovx::StoredObject*>& read) {
  object.SetLoading(true);
  read.push_back(&object);
  if (reading_tree_) read_objects_.insert(&object);
  const QString saved_name = current_object_name_;
  current_object_name_ = is_top ? object.StoredName() : DecodeText(element.Prop("Name"));
  // The top object keeps its own name.
  ReadAttributes(object, element.Text(), !is_top);
  for (int i = 0; i < element.Count(); ++i) {
    const TovxXMLItem& child = *element.Items(i);
    if (child.Name() == "OvxCustomData") {
      if (load_custom_data) load_custom_data(child);
      continue;
    }
    if (handle_nested_ && object.ReadCollection(child, *this)) continue;
    ReadChildElement(object, child, read);
  }
  current_object_name_ = saved_name;
}

void TovxXMLSerializer::ReadChildElement(ovx::StoredObject& parent, const TovxXMLItem& element,
                                         std::vector<ovx::StoredObject*>& read) {
  const QString class_name = DecodeText(element.Name());
  const QString name = DecodeText(element.Prop("Name"));
  if (element.Name() == "inherited") {
    ovx::StoredObject* existing = owner_ && !name.isEmpty() ? owner_->FindStored(name) : nullptr;
    if (!existing) {
      AddError(QStringLiteral("不明的类别 inherited ") + name);
      return;
    }
    existing->MoveToEnd();
    ReadElement(*existing, element, false, read);
    return;
  }
  const ovx::MetaClass* meta = classes_.Find(class_name);
  if (!meta || !meta->CanCreate()) {
    AddError(QStringLiteral("不明的类别 ") + class_name);
    return;
  }
  if (!parent.CanContain(*meta)) {
    AddError(QStringLiteral("%1 cannot be placed in %2").arg(class_name, parent.StoredClassName()));
    return;
  }
  // An object of the same class and name may already be there (inherited
  // templates read into the ancestor's objects); one this read has filled
  // already is another object's, and this element makes its own.
  ovx::StoredObject* object = owner_ && !name.isEmpty() ? owner_->FindStored(name) : nullptr;
  if (object && (&object->GetMetaClass() != meta || read_objects_.contains(object))) {
    object = nullptr;
  }
  if (!object) {
    ovx::Persistent* created = meta->Create(&parent);
    object = dynamic_cast<ovx::StoredObject*>(created);
    if (!object) {
      delete created;
      AddError(QStringLiteral("不明的类别 ") + class_name);
      return;
    }
  }
  ReadElement(*object, element, false, read);
}

void TovxXMLSerializer::ReadAttributes(ovx::StoredObject& object, const QByteArray& text,
                                       bool take_name) {
  QByteArray attributes = text;
  ovx::XmlAttributeSpan span;
  if (ovx::FindXmlAttribute(attributes, "Name", span)) {
    const QString name = DecodeText(ovx::XmlUnescape(span.raw_value));
    ovx::RemoveXmlAttribute(attributes, span);
    if (take_name && !name.isEmpty()) TakeName(object, name);
  }
  if (object.RawAttributes()) {
    object.SetRawAttributes(attributes.trimmed());
    return;
  }
  // The name is taken once, above; a repeated Name attribute must not
  // rename the object (nor name the top object, which keeps its own).
  ovx::XmlAttributeScanner scanner(attributes);
  while (scanner.Next(span)) {
    if (!span.has_value || span.name.compare("Name", Qt::CaseInsensitive) == 0) continue;
    ReadAttribute(object, span.name.toByteArray(), span.raw_value.toByteArray());
  }
}

void TovxXMLSerializer::TakeName(ovx::StoredObject& object, const QString& name) {
  // A name held by another object is the common case in a damaged template
  // (thousands of copies of one object); it is told without an exception.
  ovx::StoredObject* holder = owner_ ? owner_->FindStored(name) : nullptr;
  QString problem;
  if (holder != nullptr && holder != &object) {
    problem = QStringLiteral("Duplicate name ") + name;
  } else {
    try {
      object.SetStoredName(name);
      return;
    } catch (const ovx::Error& error) {
      problem = error.Message();
    }
  }
  // Records of prepared pages keep their old handling: the object stays
  // without a name.
  if (reading_tree_) {
    try {
      object.TakeFreshStoredName();
    } catch (const ovx::Error&) {
    }
    if (!object.StoredName().isEmpty() && object.StoredName() != name) {
      problem += QStringLiteral(", renamed ") + object.StoredName();
    }
  }
  AddError(problem);
}

void TovxXMLSerializer::ReadProperties(const QByteArray& text, ovx::Persistent& object) {
  ovx::XmlAttributeScanner scanner(text);
  ovx::XmlAttributeSpan span;
  while (scanner.Next(span)) {
    if (span.has_value)
      ReadAttribute(object, span.name.toByteArray(), span.raw_value.toByteArray());
  }
  if (!reading_tree_) ResolveReferences();
}

void TovxXMLSerializer::ReadAttribute(ovx::Persistent& object, const QByteArray& name,
                                      const QByteArray& raw_value) {
  auto* stored = dynamic_cast<ovx::StoredObject*>(&object);
  // Compact names of prepared-report records.
  if (name.size() == 1) {
    static constexpr struct {
      char letter;
      const char16_t* property;
    } kCompact[] = {{'l', u"Left"}, {'t', u"Top"}, {'w', u"Width"}, {'h', u"Height"}};
    for (const auto& compact : kCompact) {
      if (name[0] != compact.letter) continue;
      if (const PropertyInfo* p = object.GetMetaClass().FindProperty(compact.property)) {
        SetPropertyFromText(object, *p, raw_value, name);
      }
      return;
    }
    if ((name[0] == 'u' || name[0] == 'x') && stored && stored->StoredText()) {
      stored->SetStoredText(DecodeText(ovx::XmlUnescape(raw_value)));
      return;
    }
  }

  const QList<QByteArray> parts = name.split('.');
  ovx::Persistent* target = &object;
  for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
    const PropertyInfo* p = target->GetMetaClass().FindProperty(QString::fromLatin1(parts[i]));
    if (!p) return;
    const bool last_part_follows = i + 2 == parts.size();
    if (last_part_follows && parts.last().compare("Text", Qt::CaseInsensitive) == 0 &&
        (p->kind == PropertyKind::kStringList || p->kind == PropertyKind::kWideStringList)) {
      if (p->IsReadOnly()) return;
      QString text = DecodeText(ovx::XmlUnescape(raw_value));
      text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
      const QStringList lines = text.isEmpty() ? QStringList() : text.split(u'\n');
      p->set(*target, lines);
      return;
    }
    if (p->kind != PropertyKind::kObject || !p->object) return;
    target = p->object(*target);
    if (!target) return;
  }
  const QByteArray& last = parts.last();
  if (last.compare("PropData", Qt::CaseInsensitive) == 0) {
    const std::optional<QByteArray> data = FromHex(raw_value);
    try {
      if (!data)
        throw ovx::Error(QString(), QStringLiteral("Damaged property data: not hexadecimal"));
      target->ReadDefinedData(*data);
    } catch (const ovx::Error& error) {
      AddError(error.Message() + QStringLiteral(" (") + current_object_name_ + u')');
    }
    return;
  }
  if (target == &object && stored && last.compare("Text", Qt::CaseInsensitive) == 0 &&
      stored->StoredText()) {
    stored->SetStoredText(DecodeText(ovx::XmlUnescape(raw_value)));
    return;
  }
  const PropertyInfo* p = target->GetMetaClass().FindProperty(QString::fromLatin1(last));
  if (!p || p->IsReadOnly()) return;
  SetPropertyFromText(*target, *p, raw_value, name);
}

void TovxXMLSerializer::SetPropertyFromText(ovx::Persistent& object, const PropertyInfo& property,
                                            const QByteArray& raw_value,
                                            const QByteArray& attribute) {
  const QString text = DecodeText(ovx::XmlUnescape(raw_value));
  const auto invalid = [&](const char* what) {
    AddError(QStringLiteral("\"%1\" is not a valid %2 (%3.%4)")
                 .arg(text, QString::fromLatin1(what), current_object_name_,
                      QString::fromLatin1(attribute)));
  };
  try {
    switch (property.kind) {
      case PropertyKind::kEnumeration: {
        const ovx::EnumType* type = property.enum_type;
        std::optional<qint64> ordinal = ovx::ParseInt(text);
        if (!ordinal && type) {
          if (const std::optional<int> index = type->IndexOf(text.trimmed())) ordinal = *index;
        }
        if (!ordinal || !type || *ordinal < 0 || *ordinal >= type->Count()) return invalid("value");
        property.set(object, *ordinal);
        break;
      }
      case PropertyKind::kSet: {
        const std::optional<qint64> bits = ovx::ParseInt(text);
        const int count = property.enum_type ? property.enum_type->Count() : 32;
        const qint64 mask = count >= 32 ? 0xFFFFFFFFLL : (qint64{1} << count) - 1;
        if (!bits || *bits < 0 || (*bits & ~mask) != 0) return invalid("set");
        property.set(object, *bits);
        break;
      }
      case PropertyKind::kInteger:
      case PropertyKind::kChar: {
        const std::optional<qint32> value = ovx::ParseInt32(text);
        if (!value) return invalid("integer");
        property.set(object, qint64{*value});
        break;
      }
      case PropertyKind::kFloat: {
        const std::optional<double> value = ovx::ParseFloat(text);
        if (!value || !std::isfinite(*value)) return invalid("number");
        property.set(object, *value);
        break;
      }
      case PropertyKind::kString:
        property.set(object, text);
        break;
      case PropertyKind::kVariant:
        property.set(object, QVariant(text));
        break;
      case PropertyKind::kReference:
        if (text == u"nil" || text.isEmpty()) {
          property.set(object, static_cast<ovx::Persistent*>(nullptr));
        } else {
          fixups_.push_back({&object, &property, text});
        }
        break;
      default:
        break;
    }
  } catch (const ovx::Error& error) {
    AddError(error.Message());
  }
}

void TovxXMLSerializer::ResolveReferences() {
  std::vector<Fixup> fixups;
  fixups.swap(fixups_);
  if (fixups.empty() || !owner_) return;
  // Many references (a whole template) are looked up in one index of the
  // tree, the first object of each name in tree order; a few go straight to
  // the owner.
  QHash<QString, ovx::StoredObject*> by_name;
  if (fixups.size() > 16) {
    std::vector<ovx::StoredObject*> pending{owner_};
    while (!pending.empty()) {
      ovx::StoredObject* object = pending.back();
      pending.pop_back();
      const QString key = object->StoredName().toUpper();
      if (!key.isEmpty() && !by_name.contains(key)) by_name.insert(key, object);
      std::vector<ovx::StoredObject*> children = object->StoredChildren();
      pending.insert(pending.end(), children.rbegin(), children.rend());
    }
  }
  for (const Fixup& fixup : fixups) {
    ovx::StoredObject* target = nullptr;
    if (by_name.isEmpty()) {
      target = owner_->ResolveReference(fixup.name);
    } else {
      target = by_name.value(fixup.name.toUpper(), nullptr);
      if (!target) target = owner_->ResolveOutsideReference(fixup.name);
    }
    if (!target) continue;
    try {
      fixup.property->set(*fixup.object, static_cast<ovx::Persistent*>(target));
    } catch (const ovx::Error& error) {
      AddError(error.Message());
    }
  }
}

ovx::StoredObject* TovxXMLSerializer::ReadObjectRecord(const QByteArray& text,
                                                       ovx::StoredObject* parent) {
  const QByteArray trimmed = text.trimmed();
  const qsizetype space = trimmed.indexOf(' ');
  const QByteArray class_name = space < 0 ? trimmed : trimmed.left(space);
  const QByteArray attributes = space < 0 ? QByteArray() : trimmed.mid(space + 1);
  const ovx::MetaClass* meta = classes_.Find(DecodeText(class_name));
  ovx::Persistent* created = meta && meta->CanCreate() ? meta->Create(parent) : nullptr;
  auto* object = dynamic_cast<ovx::StoredObject*>(created);
  if (!object) {
    delete created;
    AddError(QStringLiteral("不明的类别 ") + DecodeText(class_name));
    return nullptr;
  }
  object->SetLoading(true);
  current_object_name_ = DecodeText(ovx::ReadXmlAttribute(attributes, "Name"));
  ReadAttributes(*object, attributes, true);
  ResolveReferences();
  object->SetLoading(false);
  object->Loaded();
  return object;
}

void TovxXMLSerializer::ReadCollectionItem(const QByteArray& text, ovx::Persistent& item) {
  ovx::XmlAttributeScanner scanner(text);
  ovx::XmlAttributeSpan span;
  while (scanner.Next(span)) {
    if (!span.has_value) continue;
    // Bookkeeping of the collection, read by its owner.
    if (span.name.compare("InheritedName", Qt::CaseInsensitive) == 0 ||
        span.name.compare("uin", Qt::CaseInsensitive) == 0) {
      continue;
    }
    ReadAttribute(item, span.name.toByteArray(), span.raw_value.toByteArray());
  }
  if (!reading_tree_) ResolveReferences();
}
