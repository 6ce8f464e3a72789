#include "base/error.h"

#include <gtest/gtest.h>

namespace ovx {
namespace {

TEST(FormatMessageTest, FillsPlacesInOrder) {
  struct Case {
    const char* text;
    QStringList args;
    const char* expected;
  };
  const Case cases[] = {
      {"Could not rename %s, it was introduced in the ancestor report",
       {"Memo1"},
       "Could not rename Memo1, it was introduced in the ancestor report"},
      {"%s of %d", {"Page 1", "3"}, "Page 1 of 3"},
      {"100%% done", {}, "100% done"},
      {"missing %s and %s", {"one"}, "missing one and %s"},
      {"trailing %", {"x"}, "trailing %"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatMessage(QString::fromUtf8(c.text), c.args), QString::fromUtf8(c.expected))
        << c.text;
  }
}

TEST(ErrorTest, CarriesResourceNameAndMessage) {
  const Error error("clCantRen", "Could not rename %s, it was introduced in the ancestor report",
                    {"Memo1"});
  EXPECT_EQ(error.ResourceName(), "clCantRen");
  EXPECT_EQ(error.Args(), QStringList{"Memo1"});
  EXPECT_STREQ(error.what(), "Could not rename Memo1, it was introduced in the ancestor report");
  EXPECT_EQ(error.MessageFrom("不能改名 %s"), QString::fromUtf8("不能改名 Memo1"));
}

}  // namespace
}  // namespace ovx
