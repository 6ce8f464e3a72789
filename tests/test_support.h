// Helpers shared by the test executables.
#pragma once

#include <QString>

namespace ovx::test {

// Path of a fixture below tests/data (VELMORA_TEST_DATA, set by CTest).
QString DataPath(const QString& relative);

}  // namespace ovx::test
