// Fuzz target for reading variables files.
//
// Whatever the bytes, loading must end without a crash; a damaged document
// must leave the list as it was, and what loaded must save and load again to
// the same bytes. The category operations run over what was read.
#include "base/stream.h"
#include "report/model/report_lists.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>

namespace {

QByteArray Save(const TovxVariables& variables) {
  ovx::MemoryStream stream;
  variables.SaveToStream(stream);
  return stream.Data();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int argc = 1;
  static char name[] = "variables_fuzzer";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);

  TovxVariables variables;
  variables.SetValue(QStringLiteral("Before"), 1);
  const QByteArray before = Save(variables);
  ovx::MemoryStream input(
      QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
  try {
    variables.LoadFromStream(input);
  } catch (...) {
    if (Save(variables) != before) std::abort();
    return 0;
  }

  const QByteArray first = Save(variables);
  TovxVariables again;
  ovx::MemoryStream saved(first);
  again.LoadFromStream(saved);  // what the library wrote must read back
  if (Save(again) != first) std::abort();

  QStringList categories;
  variables.CategoryNames(categories);
  categories.append(QString());
  for (const QString& category : categories) {
    QStringList names;
    variables.VariablesOfCategory(category, names);
    variables.AddToCategory(category, QStringLiteral("Added"), 2);
  }
  for (const QString& category : categories) variables.RemoveCategory(category);
  while (variables.Count() > 0) variables.RemoveVariable(variables.Items(0).Name());
  return 0;
}
