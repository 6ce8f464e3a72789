// Helpers shared by the test executables.
#pragma once

#include <QByteArray>
#include <QString>

namespace ovx::test {

// Path of a fixture below tests/data (VELMORA_TEST_DATA, set by CTest).
QString DataPath(const QString& relative);

// Compares `actual` with the golden file tests/data/<relative>. With
// VELMORA_UPDATE_GOLDENS=1 in the environment it writes the file instead
// (scripts/regenerate-goldens.sh); review the diff before committing.
void ExpectGolden(const QString& relative, const QByteArray& actual);

}  // namespace ovx::test
