// Language files: finding them, choosing one, keeping the choice.
#include "base/error.h"
#include "report/storage/xml_error.h"
#include "tests/resources/resources_test_util.h"

#include <QSettings>

namespace ovx::test {
namespace {

const QByteArray kGerman =
    ResourceXml("<StrRes Name=\"1\" Text=\"OK\"/><StrRes Name=\"mbError\" Text=\"Fehler\"/>");
const QByteArray kFrench = ResourceXml("<StrRes Name=\"2\" Text=\"Annuler\"/>");

QString ResourceNameOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const ovx::Error& error) {
    return error.ResourceName().isEmpty() ? QStringLiteral("(unnamed)") : error.ResourceName();
  }
  return {};
}

TEST_F(ResourcesTest, LanguagesAreNamedFromTheFilesWhateverTheirCase) {
  const QString german = WriteFile(QStringLiteral("GERMAN.OVC"), kGerman);
  WriteFile(QStringLiteral("french.ovc"), kFrench);
  WriteFile(QStringLiteral("pt_br.Ovc"), kFrench);
  WriteFile(QStringLiteral("readme.txt"), "not a language");
  WriteFile(QStringLiteral(".ovc"), kFrench);  // no name: not a language
  resources_->RescanLanguages();
  EXPECT_EQ(resources_->Languages(), QStringList({"French", "German", "Pt_br"}));
  // The real path, not one rebuilt from the language name: on this file
  // system "German.ovc" would not be found.
  EXPECT_EQ(resources_->LanguageFile(QStringLiteral("German")), german);
  EXPECT_EQ(resources_->LanguageFile(QStringLiteral("german")), german);
  EXPECT_TRUE(resources_->LanguageFile(QStringLiteral("Klingon")).isEmpty());
}

TEST_F(ResourcesTest, ChoosingALanguageLoadsItOverTheBuiltInTextsAndKeepsTheChoice) {
  WriteFile(QStringLiteral("GERMAN.OVC"), kGerman);
  WriteFile(QStringLiteral("French.ovc"), kFrench);
  resources_->RescanLanguages();
  EXPECT_TRUE(resources_->StoredLanguage().isEmpty());

  resources_->SelectLanguage(QStringLiteral("german"));
  EXPECT_EQ(resources_->GetNumbered(1), "OK");
  EXPECT_EQ(resources_->GetNumbered(2), "取消");
  EXPECT_EQ(resources_->StoredLanguage(), "German");

  // Switching does not leave the German texts behind.
  resources_->SelectLanguage(QStringLiteral("French"));
  EXPECT_EQ(resources_->GetNumbered(1), "确定");
  EXPECT_EQ(resources_->GetNumbered(2), "Annuler");

  // A new table (the next start of the program) applies the stored choice.
  const auto next = MakeResources();
  EXPECT_EQ(next->GetNumbered(2), "取消");
  next->ApplyStoredLanguage();
  EXPECT_EQ(next->GetNumbered(2), "Annuler");

  resources_->SelectLanguage(QString());
  EXPECT_EQ(resources_->GetNumbered(2), "取消");
  EXPECT_TRUE(resources_->StoredLanguage().isEmpty());
}

TEST_F(ResourcesTest, ABadLanguageChoiceIsReportedAndChangesNothing) {
  const QString vanishing = WriteFile(QStringLiteral("vanishing.ovc"), kGerman);
  WriteFile(QStringLiteral("empty.ovc"), ResourceXml(""));
  WriteFile(QStringLiteral("foreign.ovc"), "<?xml version=\"1.0\"?><report/>");
  WriteFile(QStringLiteral("broken.ovc"), "<?xml version=\"1.1\"?><Resources><StrRes");
  WriteFile(QStringLiteral("French.ovc"), kFrench);
  resources_->RescanLanguages();
  resources_->SelectLanguage(QStringLiteral("French"));
  ASSERT_TRUE(QFile::remove(vanishing));

  struct Case {
    const char* language;
    QString resource_name;
  };
  const Case cases[] = {
      {"Klingon", "rsLangUnknown"}, {"Vanishing", "rsLangFileMissing"},  // listed, then deleted
      {"Empty", "rsLangFileEmpty"}, {"Foreign", "rsLangFileEmpty"},
      {"Broken", "(unnamed)"},  // TovxInvalidXMLException
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ResourceNameOf([&] { resources_->SelectLanguage(QString::fromLatin1(c.language)); }),
              c.resource_name)
        << c.language;
    EXPECT_EQ(resources_->GetNumbered(2), "Annuler") << c.language;
    EXPECT_EQ(resources_->StoredLanguage(), "French") << c.language;
  }
  // Every message a user may see here has a text.
  for (const char* name : {"rsLangUnknown", "rsLangFileMissing", "rsLangFileEmpty"}) {
    EXPECT_TRUE(resources_->Contains(QString::fromLatin1(name))) << name;
  }
}

TEST_F(ResourcesTest, OversizedLanguageFileIsRefused) {
  QByteArray huge = ResourceXml("<StrRes Name=\"1\" Text=\"OK\"/>");
  huge.append(QByteArray(17 * 1024 * 1024, ' '));
  const QString path = WriteFile(QStringLiteral("huge.ovc"), huge);
  EXPECT_EQ(ResourceNameOf([&] { resources_->LoadFromFile(path); }), "rsLangFileTooLarge");
  EXPECT_EQ(resources_->GetNumbered(1), "确定");
}

}  // namespace
}  // namespace ovx::test
