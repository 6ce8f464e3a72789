// Page-number texts: the pages they name, in order, and the texts refused.
#include "engine/page_ranges.h"
#include "base/error.h"

#include <gtest/gtest.h>

#include <vector>

namespace ovx {
namespace {

std::vector<int> Listed(const PageRanges& ranges) {
  std::vector<int> numbers;
  for (qint64 i = 0; i < ranges.Count(); ++i) numbers.push_back(ranges.PageAt(i) + 1);
  return numbers;
}

TEST(PageRangesTest, NamesPagesInTheOrderGiven) {
  struct Case {
    const char* text;
    int page_count;
    std::vector<int> pages;
  };
  const Case cases[] = {
      {"", 3, {1, 2, 3}},
      {" 1 , 3 ", 5, {1, 3}},
      {"2-", 5, {2, 3, 4, 5}},
      {"3-1", 5, {}},
      {"1-3,2", 5, {1, 2, 3, 2}},
      {"5,1-2", 5, {5, 1, 2}},
      // Pages that do not exist take no place in the list.
      {"0,4,99,2", 3, {2}},
      {"2-9", 3, {2, 3}},
      {"7-", 3, {}},
      {"1-2000000000", 4, {1, 2, 3, 4}},
  };
  for (const Case& c : cases) {
    const PageRanges ranges = PageRanges::Parse(QString::fromUtf8(c.text), c.page_count);
    EXPECT_EQ(Listed(ranges), c.pages) << c.text;
    EXPECT_EQ(ranges.All(), *c.text == 0) << c.text;
  }
}

TEST(PageRangesTest, HugeRangesCostOneEntryEach) {
  // Fifty ranges of two billion pages over a report of 100 000 pages: the
  // list counts five million positions without building them.
  QString text;
  for (int i = 0; i < 50; ++i) text += QStringLiteral("1-2000000000,");
  text += QStringLiteral("7");
  const PageRanges ranges = PageRanges::Parse(text, 100000);
  EXPECT_EQ(ranges.Count(), 50 * qint64{100000} + 1);
  EXPECT_EQ(ranges.PageAt(0), 0);
  EXPECT_EQ(ranges.PageAt(100000), 0);
  EXPECT_EQ(ranges.PageAt(4999999), 99999);
  EXPECT_EQ(ranges.PageAt(5000000), 6);
  EXPECT_EQ(ranges.PageAt(5000001), -1);
  EXPECT_EQ(ranges.PageAt(-1), -1);
  EXPECT_TRUE(ranges.Contains(99999));
  EXPECT_FALSE(ranges.Contains(100000));
}

TEST(PageRangesTest, ContainsAnswersForEachPage) {
  const PageRanges ranges = PageRanges::Parse(u"2,4-5", 6);
  std::vector<bool> contained;
  for (int i = 0; i < 6; ++i) contained.push_back(ranges.Contains(i));
  EXPECT_EQ(contained, (std::vector<bool>{false, true, false, true, true, false}));
  EXPECT_TRUE(PageRanges(3).Contains(2));
  EXPECT_FALSE(PageRanges(3).Contains(3));
}

TEST(PageRangesTest, AnItemThatIsNotANumberIsAConversionError) {
  for (const char* text : {"1,,3", "a", "1-b", "-3", "1-2-3", "2.5", "+3", "99999999999",
                           "1-99999999999", ",", "1;2"}) {
    try {
      (void)PageRanges::Parse(QString::fromUtf8(text), 10);
      ADD_FAILURE() << text << " was accepted";
    } catch (const Error& e) {
      EXPECT_EQ(e.ResourceName(), "rsBadPageNumber") << text;
      EXPECT_TRUE(e.Message().contains(QString::fromUtf8(text))) << e.Message().toStdString();
    }
  }
}

}  // namespace
}  // namespace ovx
