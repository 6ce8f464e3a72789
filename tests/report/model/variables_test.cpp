// Report variables: categories, variables files, keyed arrays and the
// process-wide list.
#include "base/error.h"
#include "base/stream.h"
#include "report/model/report_lists.h"
#include "report/storage/xml_error.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

namespace {

// "a, b" lists: a leading blank makes a header.
TovxVariables Make(const QStringList& names) {
  TovxVariables variables;
  for (const QString& name : names) {
    TovxVariable& v = variables.Add();
    v.SetName(name);
    if (!v.IsCategory()) v.SetValue(name + QStringLiteral("!"));
  }
  return variables;
}

QStringList Names(const TovxVariables& variables) {
  QStringList names;
  for (int i = 0; i < variables.Count(); ++i) names.append(variables.Items(i).Name());
  return names;
}

QByteArray Saved(const TovxVariables& variables) {
  ovx::MemoryStream stream;
  variables.SaveToStream(stream);
  return stream.Data();
}

const QStringList kList = {"Loose", " Money", "Rate", "Tax", " Dates", "Start", " Empty"};

TEST(VariablesTest, CategoryQueries) {
  const TovxVariables variables = Make(kList);
  QStringList list{"old"};
  variables.CategoryNames(list, false);
  EXPECT_EQ(list, (QStringList{"old", "Money", "Dates", "Empty"}));
  variables.CategoryNames(list);
  EXPECT_EQ(list, (QStringList{"Money", "Dates", "Empty"}));

  struct Case {
    const char* category;
    QStringList names;
  };
  const Case cases[] = {
      {"money", {"Rate", "Tax"}},  // ignoring case
      {"Dates", {"Start"}},
      {"Empty", {}},
      {"", {"Loose"}},  // before the first header
      {"Missing", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.category);
    QStringList names{"stale"};
    variables.VariablesOfCategory(c.category, names);
    EXPECT_EQ(names, c.names);
  }
  // A nameless entry ends a category.
  TovxVariables gap = Make({" Money", "Rate", "", "Tax"});
  QStringList names;
  gap.VariablesOfCategory("Money", names);
  EXPECT_EQ(names, QStringList{"Rate"});

  EXPECT_EQ(variables.IndexOfName("tax"), 3);
  EXPECT_EQ(variables.IndexOfName(" money"), 1);
  EXPECT_EQ(variables.IndexOfName("Money"), -1);
}

TEST(VariablesTest, CategoryChanges) {
  struct Case {
    const char* what;
    std::function<void(TovxVariables&)> change;
    QStringList names;
  };
  const Case cases[] = {
      {"into a missing category nothing",
       [](TovxVariables& v) { v.AddToCategory("Missing", "New", 1); }, kList},
      {"into a middle category after its last variable",
       [](TovxVariables& v) { v.AddToCategory("MONEY", "New", 1); },
       {"Loose", " Money", "Rate", "Tax", "New", " Dates", "Start", " Empty"}},
      {"into the last category at the end",
       [](TovxVariables& v) { v.AddToCategory("Empty", "New", 1); },
       {"Loose", " Money", "Rate", "Tax", " Dates", "Start", " Empty", "New"}},
      {"an existing variable keeps its place",
       [](TovxVariables& v) { v.AddToCategory("Empty", "rate", 1); }, kList},
      {"remove a category and its variables",
       [](TovxVariables& v) { v.RemoveCategory("money"); },
       {"Loose", " Dates", "Start", " Empty"}},
      {"remove the last category",
       [](TovxVariables& v) { v.RemoveCategory("Empty"); },
       {"Loose", " Money", "Rate", "Tax", " Dates", "Start"}},
      {"remove a missing category", [](TovxVariables& v) { v.RemoveCategory("Nope"); }, kList},
      {"remove a variable",
       [](TovxVariables& v) { v.RemoveVariable("TAX"); },
       {"Loose", " Money", "Rate", " Dates", "Start", " Empty"}},
      {"remove a missing variable", [](TovxVariables& v) { v.RemoveVariable("Nope"); }, kList},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TovxVariables variables = Make(kList);
    c.change(variables);
    EXPECT_EQ(Names(variables), c.names);
  }
  TovxVariables variables = Make(kList);
  variables.AddToCategory("Empty", "rate", 7);
  EXPECT_EQ(variables.Value("Rate"), QVariant(7));
}

TEST(VariablesTest, FileRoundTrip) {
  TovxVariables variables;
  variables.SetValue(" Category", QVariant());
  variables.SetValue("Nothing", QVariant());
  variables.SetValue("Empty", QString(""));
  variables.SetValue("Number", 12.5);
  variables.SetValue("Date", QDate(2024, 2, 29));
  variables.SetValue("Quoted", QStringLiteral("say \"hi\" & 'bye' <x>\r\nsecond line\n\tthird"));
  variables.SetValue("Expression", QStringLiteral("[Sum(<Orders.\"Amount\">)]"));
  variables.SetValue("漢字", QStringLiteral("頁"));

  QTemporaryDir dir;
  const QString path = dir.filePath("vars.od3");
  variables.SaveToFile(path);
  TovxVariables loaded = Make({"Stale"});
  loaded.LoadFromFile(path);
  ASSERT_EQ(Names(loaded), Names(variables));
  EXPECT_FALSE(loaded.Items(0).Value().isValid()) << "a header stays Null";
  EXPECT_FALSE(loaded.Value("Nothing").isValid()) << "Null stays Null";
  EXPECT_TRUE(loaded.Value("Empty").isValid()) << "empty text is not Null";
  EXPECT_EQ(loaded.Value("Empty").toString(), "");
  // Values are stored as their text, as templates store them.
  EXPECT_EQ(loaded.Value("Number").toString(), "12.5");
  EXPECT_EQ(loaded.Value("Date").toString(), "2024-02-29");
  EXPECT_EQ(loaded.Value("Quoted").toString(), variables.Value("Quoted").toString());
  EXPECT_EQ(loaded.Value("Expression").toString(), variables.Value("Expression").toString());
  EXPECT_EQ(loaded.Value("漢字").toString(), "頁");
  // Streams write the same document; reading it back gives the same bytes.
  const QByteArray bytes = Saved(variables);
  ASSERT_TRUE(bytes.contains("<variables>")) << bytes.constData();
  ovx::MemoryStream input(bytes);
  TovxVariables again;
  again.LoadFromStream(input);
  EXPECT_EQ(Saved(again), bytes);
}

TEST(VariablesTest, DamagedFileKeepsTheList) {
  const QByteArray good = Saved(Make({" Money", "Rate"}));
  const QByteArray cases[] = {
      good.left(good.size() - 5),  // cut before the end tags
      good.left(good.indexOf("<item") + 8),
      "<variables><item Name=\"a\"></variables>",
      "not xml at all",
      "",
  };
  for (const QByteArray& bytes : cases) {
    SCOPED_TRACE(bytes.constData());
    TovxVariables variables = Make(kList);
    ovx::MemoryStream input(bytes);
    EXPECT_ANY_THROW(variables.LoadFromStream(input));
    EXPECT_EQ(Names(variables), kList);
    EXPECT_EQ(variables.Value("Rate").toString(), "Rate!");
  }
  // A readable document with another root: an empty list.
  TovxVariables variables = Make(kList);
  ovx::MemoryStream other(QByteArray("<?xml version=\"1.0\"?><other><item Name=\"x\"/></other>"));
  variables.LoadFromStream(other);
  EXPECT_EQ(variables.Count(), 0);
  // The root and item names ignore case; other elements are skipped.
  ovx::MemoryStream mixed(
      QByteArray("<?xml version=\"1.0\"?><VARIABLES><Item Name=\"a\" Value=\"1\"/><note "
                 "Name=\"b\"/></VARIABLES>"));
  variables.LoadFromStream(mixed);
  EXPECT_EQ(Names(variables), QStringList{"a"});
  // A file that is not there.
  QTemporaryDir dir;
  variables = Make(kList);
  EXPECT_THROW(variables.LoadFromFile(dir.filePath("missing.od3")), ovx::Error);
  EXPECT_EQ(Names(variables), kList);
}

TEST(VariablesTest, FailedSaveKeepsTheOldFile) {
  QTemporaryDir dir;
  const QString path = dir.filePath("vars.od3");
  Make(kList).SaveToFile(path);
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray before = file.readAll();
  file.close();
  // A folder where the file should go cannot be replaced.
  EXPECT_THROW(Make({"x"}).SaveToFile(dir.path()), ovx::Error);
  EXPECT_THROW(Make({"x"}).SaveToFile(dir.filePath("no/such/dir.od3")), ovx::Error);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), before);
}

TEST(VariablesTest, ArrayKeysAreText) {
  TovxArray array;
  array.SetValue(1, "one");
  array.SetValue(QStringLiteral("Key"), 2);
  array.SetValue(QStringLiteral("1"), "uno");  // the same entry as key 1
  array.SetValue(QStringLiteral("KEY"), 3);
  EXPECT_EQ(array.Count(), 2);
  EXPECT_EQ(array.Value(1).toString(), "uno");
  EXPECT_EQ(array.Value(QStringLiteral("key")), QVariant(3));
  EXPECT_FALSE(array.Value(2).isValid());
}

TEST(VariablesTest, GlobalListIsShared) {
  ovx::GlobalVariableList& globals = ovx::GlobalVariables();
  globals.Clear();
  // Preparations on worker threads write and read the list at once.
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &globals] {
      const QString name = QStringLiteral("T%1").arg(t);
      for (int i = 0; i < 500; ++i) {
        globals.SetValue(name, i);
        (void)globals.Value(QStringLiteral("T0"));
        (void)globals.Snapshot();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  const TovxVariables snapshot = globals.Snapshot();
  EXPECT_EQ(snapshot.Count(), 4);
  for (int t = 0; t < 4; ++t) EXPECT_EQ(globals.Value(QStringLiteral("T%1").arg(t)), QVariant(499));

  // The copy-name macros prefer the global variable to the report's.
  TovxVariables report;
  globals.Clear();
  EXPECT_EQ(ovx::CopyNameVariable(&report), std::nullopt);
  EXPECT_EQ(ovx::CopyNameVariable(nullptr), std::nullopt);
  report.SetValue("copyname", QStringLiteral("Report"));
  EXPECT_EQ(ovx::CopyNameVariable(&report), QStringLiteral("Report"));
  globals.SetValue("CopyName", QStringLiteral("Global"));
  EXPECT_EQ(ovx::CopyNameVariable(&report), QStringLiteral("Global"));
  EXPECT_EQ(ovx::CopyNameVariable(nullptr), QStringLiteral("Global"));
  globals.Clear();
}

}  // namespace
