#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  QCoreApplication app(argc, argv);  // sets the C locale from the environment
  return RUN_ALL_TESTS();
}
