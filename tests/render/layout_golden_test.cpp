// The layout account of textlayout for a table of typical texts, compared
// with reviewed golden files (scripts/regenerate-goldens.sh rewrites them).
#include "tests/test_support.h"
#include "tools/layout_dump.h"

#include <gtest/gtest.h>

namespace {

struct Case {
  const char* name;
  QStringList args;
};

const QString kChinese = QStringLiteral("天地玄黄宇宙洪荒日月盈昃辰宿列张寒来暑往秋收冬藏");

std::vector<Case> Cases() {
  return {
      {"chinese_without_spaces",
       {"--font", "楷体", "--size", "15", "--width", "100", "--height", "120", "--text", kChinese}},
      {"latin_with_spaces",
       {"--font", "Arial", "--size", "10", "--width", "120", "--text",
        "The quick brown fox jumps over the lazy dog, again and again."}},
      {"tags",
       {"--tags", "--width", "400", "--text",
        "<b>Bold</b> <i>italic</i> <u>under</u> <strike>struck</strike> "
        "<font color=\"#FF0000\">red</font> <font color=red>named</font> "
        "<font color=#FF0000>bare</font> x<sub>2</sub> y<sup>3</sup>\\n<nowrap>kept "
        "together</nowrap> <font color="}},
      {"empty_lines", {"--width", "120", "--text", "First\\n\\nThird"}},
      {"paragraph_gap_block",
       {"--width", "120", "--paragraph-gap", "20", "--halign", "3", "--text",
        "A first paragraph that wraps over lines.\\nA second one, also long enough to wrap."}},
      {"rotation_90",
       {"--rotation", "90", "--width", "60", "--height", "200", "--text", "Turned text runs up"}},
      {"rotation_minus_90",
       {"--rotation", "-90", "--width", "60", "--height", "200", "--text",
        "Turned text runs down"}},
      {"hyphenation", {"--word-break", "--width", "70", "--text", "ПРОГРАММИРОВАНИЕ ИНТЕРЕСНО"}},
      {"single_cell_centred",
       {"--font", "楷体", "--size", "15", "--width", "26", "--height", "28", "--halign", "2",
        "--valign", "2", "--text", "玄"}},
      {"overflow",
       {"--width", "80", "--height", "30", "--tags", "--text",
        "<b>Bold words that run on</b> and on past the bottom of the box."}},
  };
}

TEST(LayoutGoldenTest, AccountsMatchTheReviewedFiles) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    ovx::LayoutRequest request;
    ASSERT_EQ(ovx::ParseLayoutArguments(c.args, &request), QString());
    ovx::test::ExpectGolden(QStringLiteral("layout/%1.txt").arg(QLatin1String(c.name)),
                            ovx::DumpLayout(request).toUtf8());
  }
}

}  // namespace
