// Saving, loading and copying single objects and their subtrees through the
// template format: the same serializer as whole reports, with the object's
// report (when it has one) resolving references and collecting errors.
#include "base/error.h"
#include "base/stream.h"
#include "report/model/classes.h"
#include "report/model/component.h"
#include "report/model/report.h"
#include "report/storage/xml_item.h"
#include "report/storage/xml_serializer.h"

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

void TovxComponent::Assign(const TovxComponent& source) {
  if (&source == this) return;
  TovxXMLSerializer serializer(ClassesFor(*this), OwnerFor(*this));
  serializer.SetSerializeDefaultValues(true);
  TovxXMLItem element;
  serializer.WriteComponentTree(source, false, element);
  // Read as a top element: the name is not taken, and without child
  // elements the children are left alone.
  serializer.ReadComponentTree(*this, element);
  AddErrors(*this, serializer.Errors());
}
