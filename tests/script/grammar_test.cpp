#include "script/grammar.h"

#include "base/error.h"
#include "script/languages.h"
#include "script/script_languages.h"
#include "script/xml.h"

#include <QFile>

#include <gtest/gtest.h>

namespace ovx {
namespace {

struct Dialect {
  const char* name;
  const char* file;
  int keywords;
  QStringList errors;    // names of the error elements, in order
  QStringList types;     // alias=type
  QStringList settings;  // name=text, in order
  QStringList rules;
};

QStringList ErrorNames(int count, QList<int> missing = {}) {
  QStringList names;
  for (int i = 1; names.size() < count; ++i) {
    if (!missing.contains(i)) names << QStringLiteral("err%1").arg(i);
  }
  return names;
}

const Dialect& DialectAt(int index) {
  static const Dialect dialects[] = {
      {"PascalScript",
       "pascalscript.xml",
       40,
       ErrorNames(20),
       {},
       {"commentline1=//", "commentblock1={,}", "commentblock2=(*,*)", "stringquotes='",
        "hexsequence=$"},
       {"empty",
        "program",
        "usesclause",
        "block",
        "declsection",
        "constsection",
        "constantdecl",
        "varsection",
        "varlist",
        "typeident",
        "array",
        "arraydim",
        "initvalue",
        "expression",
        "simpleexpression",
        "term",
        "factor",
        "setconstructor",
        "setnode",
        "relop",
        "addop",
        "mulop",
        "designator",
        "exprlist",
        "statement",
        "stmtlist",
        "simplestatement",
        "assignstmt",
        "callstmt",
        "structstmt",
        "compoundstmt",
        "conditionalstmt",
        "ifstmt",
        "casestmt",
        "caseselector",
        "loopstmt",
        "repeatstmt",
        "whilestmt",
        "forstmt",
        "trystmt",
        "withstmt",
        "proceduredeclsection",
        "proceduredecl",
        "procedureheading",
        "functiondecl",
        "functionheading",
        "formalparameters",
        "formalparam"}},
      {"C++Script",
       "cppscript.xml",
       19,
       ErrorNames(18, {15, 16}),
       {"int=integer", "long=integer", "void=integer", "bool=boolean", "float=extended"},
       {"commentline1=//", "commentblock1=/*,*/", "commentblock2=/*,*/", "stringquotes=\"",
        "hexsequence=0x", "specstrchar=1", "casesensitive=1"},
       {"empty",
        "program",
        "usesclause",
        "declsection",
        "constsection",
        "constantdecl",
        "varstmt",
        "array",
        "arraydim",
        "initvalue",
        "expression",
        "simpleexpression",
        "term",
        "factor",
        "setconstructor",
        "setnode",
        "newoperator",
        "relop",
        "addop",
        "mulop",
        "designator",
        "exprlist",
        "statement",
        "emptystmt",
        "stmtlist",
        "simplestatement",
        "deletestmt",
        "assignstmt",
        "callstmt",
        "returnstmt",
        "structstmt",
        "compoundstmt",
        "conditionalstmt",
        "ifstmt",
        "casestmt",
        "caseselector",
        "loopstmt",
        "repeatstmt",
        "whilestmt",
        "forstmt",
        "forcompoundstmt",
        "forstmtitem",
        "trystmt",
        "functiondecl",
        "functionheading",
        "formalparameters",
        "formalparam"}},
      {"BasicScript",
       "basicscript.xml",
       40,
       ErrorNames(28),
       {"decimal=extended"},
       {"commentline1='", "commentline2=rem", "commentblock1=/\\,/\\", "commentblock2=/\\,/\\",
        "stringquotes=\"", "hexsequence=0x", "declarevars=0", "skipeol=0", "skipchar=_"},
       {"empty",
        "program",
        "statements",
        "statementlist",
        "importstmt",
        "dimstmt",
        "vardecl",
        "asclause",
        "array",
        "arraydim",
        "initvalue",
        "expression",
        "simpleexpression",
        "term",
        "factor",
        "setconstructor",
        "setnode",
        "newoperator",
        "relop",
        "addop",
        "mulop",
        "designator",
        "exprlist",
        "statement",
        "breakstmt",
        "continuestmt",
        "exitstmt",
        "deletestmt",
        "setstmt",
        "assignstmt",
        "callstmt",
        "returnstmt",
        "ifstmt",
        "thenstmt",
        "elseifstmt",
        "elsestmt",
        "casestmt",
        "caseselector",
        "dostmt",
        "whilestmt",
        "forstmt",
        "trystmt",
        "withstmt",
        "procstmt",
        "funcstmt",
        "formalparameters",
        "formalparam"}},
      {"JScript",
       "jscript.xml",
       22,
       ErrorNames(17, {13, 15, 16}),
       {},
       {"commentline1=//", "commentblock1=/*,*/", "commentblock2=/*,*/", "stringquotes=\"",
        "hexsequence=0x", "specstrchar=1", "declarevars=0"},
       {"empty",       "program",          "statements",   "block",           "importstmt",
        "varstmt",     "vardecl",          "array",        "arraydim",        "initvalue",
        "expression",  "simpleexpression", "term",         "factor",          "setconstructor",
        "setnode",     "newoperator",      "relop",        "addop",           "mulop",
        "designator",  "exprlist",         "statement",    "breakstmt",       "continuestmt",
        "deletestmt",  "assignstmt",       "callstmt",     "returnstmt",      "ifstmt",
        "switchstmt",  "caseselector",     "dowhilestmt",  "whilestmt",       "forstmt",
        "forstmtitem", "trystmt",          "functionstmt", "functionheading", "formalparameters",
        "formalparam", "withstmt"}},
  };
  return dialects[index];
}

class GrammarTest : public testing::TestWithParam<int> {};

TEST_P(GrammarTest, DocumentHasTheDialectsSettingsWordsMessagesAndRules) {
  const Dialect& dialect = DialectAt(GetParam());
  QFile file(QStringLiteral(":/velmora/script/grammars/") + QString::fromLatin1(dialect.file));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  TksXMLDocument document;
  document.LoadFromString(QString::fromUtf8(file.readAll()));
  const TksXMLItem* root = document.Root();
  EXPECT_EQ(root->Name(), QStringLiteral("language"));
  EXPECT_EQ(root->Prop(QStringLiteral("text")), QString::fromLatin1(dialect.name));
  ASSERT_GE(root->Count(), 2);
  const TksXMLItem* parser = root->Items(0);
  ASSERT_EQ(parser->Name(), QStringLiteral("parser"));
  EXPECT_EQ(root->Items(1)->Name(), QStringLiteral("types"));

  QStringList settings;
  const TksXMLItem* keywords = nullptr;
  const TksXMLItem* errors = nullptr;
  for (int i = 0; i < parser->Count(); ++i) {
    const TksXMLItem* item = parser->Items(i);
    if (item->Name() == u"keywords") {
      keywords = item;
    } else if (item->Name() == u"errors") {
      errors = item;
    } else {
      settings << item->Name() + u'=' + item->Prop(QStringLiteral("text"));
    }
  }
  EXPECT_EQ(settings, dialect.settings);
  ASSERT_TRUE(keywords && errors);
  EXPECT_EQ(keywords->Count(), dialect.keywords);
  for (int i = 0; i < keywords->Count(); ++i) {
    EXPECT_TRUE(keywords->Items(i)->Text().isEmpty() && keywords->Items(i)->Count() == 0);
  }
  QStringList error_names;
  for (int i = 0; i < errors->Count(); ++i) {
    error_names << errors->Items(i)->Name();
    EXPECT_FALSE(errors->Items(i)->Prop(QStringLiteral("text")).isEmpty());
  }
  EXPECT_EQ(error_names, dialect.errors);
  QStringList types;
  for (int i = 0; i < root->Items(1)->Count(); ++i) {
    const TksXMLItem* alias = root->Items(1)->Items(i);
    types << alias->Name() + u'=' + alias->Prop(QStringLiteral("type"));
  }
  EXPECT_EQ(types, dialect.types);

  QStringList rules;
  for (int i = 2; i < root->Count(); ++i) rules << root->Items(i)->Name();
  EXPECT_EQ(rules, dialect.rules);
  EXPECT_EQ(root->Items(2)->Count(), 0);  // `empty` has no body

  // Every rule reference and error name resolves.
  RegisterScriptLanguages();
  EXPECT_NO_THROW(FindLanguage(QString::fromLatin1(dialect.name)));
}

INSTANTIATE_TEST_SUITE_P(Grammar, GrammarTest, testing::Range(0, 4));

TEST(GrammarRegistryTest, LookupIgnoresCaseAndHidesAtNames) {
  RegisterScriptLanguages();
  RegisterLanguage(QStringLiteral("@Hidden"),
                   QStringLiteral("<?xml?><language><program/></language>"));
  const QStringList names = GetLanguageList();
  EXPECT_TRUE(names.contains(QStringLiteral("PascalScript")));
  EXPECT_TRUE(names.contains(QStringLiteral("C++Script")));
  EXPECT_TRUE(names.contains(QStringLiteral("BasicScript")));
  EXPECT_TRUE(names.contains(QStringLiteral("JScript")));
  EXPECT_FALSE(names.contains(QStringLiteral("@Hidden")));
  EXPECT_EQ(FindLanguage(QStringLiteral("pascalscript"))->name, QStringLiteral("PascalScript"));
  EXPECT_NO_THROW(FindLanguage(QStringLiteral("@hidden")));
  try {
    FindLanguage(QStringLiteral("Cobol"));
    ADD_FAILURE();
  } catch (const Error& error) {
    EXPECT_EQ(error.ResourceName(), QStringLiteral("SLangNotFound"));
    EXPECT_EQ(error.Message(), QStringLiteral("Language 'Cobol' not found"));
  }
}

TEST(GrammarRegistryTest, BrokenGrammarsAreInvalidDefinitions) {
  const char* cases[] = {
      "<?xml?><language><program><missing/></program></language>",
      "<?xml?><language><rule/></language>",  // no program
      "<?xml?><language><program><char text=\"x\" err=\"err9\"/></program></language>",
  };
  for (const char* xml : cases) {
    try {
      CompileGrammar(QStringLiteral("X"), QString::fromLatin1(xml), TrailingText::kIgnored);
      ADD_FAILURE() << xml;
    } catch (const Error& error) {
      EXPECT_EQ(error.Message(), QStringLiteral("Invalid language definition")) << xml;
    }
  }
  EXPECT_THROW(
      CompileGrammar(QStringLiteral("X"), QStringLiteral("<language>"), TrailingText::kIgnored),
      Error);
}

}  // namespace
}  // namespace ovx
