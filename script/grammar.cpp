#include "script/grammar.h"

#include "base/error.h"
#include "script/parser.h"

#include <QHash>

namespace ovx {
namespace {

[[noreturn]] void ThrowInvalidLanguage() {
  throw Error(QStringLiteral("SInvalidLanguage"), QStringLiteral("Invalid language definition"));
}

bool HasProp(const TksXMLItem& item, const QString& name) {
  return (u' ' + item.Text()).contains(u' ' + name + QStringLiteral("=\""), Qt::CaseInsensitive);
}

const QHash<QString, GrammarElement::Kind>& Kinds() {
  static const QHash<QString, GrammarElement::Kind> kinds{
      {QStringLiteral("char"), GrammarElement::kChar},
      {QStringLiteral("keyword"), GrammarElement::kKeyword},
      {QStringLiteral("ident"), GrammarElement::kIdent},
      {QStringLiteral("number"), GrammarElement::kNumber},
      {QStringLiteral("string"), GrammarElement::kString},
      {QStringLiteral("ovstring"), GrammarElement::kOvString},
      {QStringLiteral("eol"), GrammarElement::kEol},
      {QStringLiteral("sequence"), GrammarElement::kSequence},
      {QStringLiteral("switch"), GrammarElement::kSwitch},
      {QStringLiteral("optionalswitch"), GrammarElement::kOptionalSwitch},
      {QStringLiteral("optional"), GrammarElement::kOptional},
      {QStringLiteral("loop"), GrammarElement::kLoop},
      {QStringLiteral("optionalloop"), GrammarElement::kOptionalLoop},
  };
  return kinds;
}

class Compiler {
 public:
  Compiler(ScriptGrammar& grammar, const TksXMLItem* errors) : grammar_(grammar), errors_(errors) {}

  void AddRule(const QString& name, int index) {
    const QString key = name.toLower();
    if (!rules_.contains(key)) rules_.insert(key, index);
  }
  int RuleIndex(const QString& name) const { return rules_.value(name.toLower(), -1); }

  void Fill(int index, const TksXMLItem& item) {
    GrammarElement element;
    element.kind = grammar_.elements[static_cast<size_t>(index)].kind;
    if (element.kind == GrammarElement::kReference) {
      element.rule = RuleIndex(item.Name());
      if (element.rule < 0) ThrowInvalidLanguage();
    }
    element.has_text = HasProp(item, QStringLiteral("text"));
    element.text = item.Prop(QStringLiteral("text")).toLower();
    const QString skip = item.Prop(QStringLiteral("skip"));
    element.no_skip = element.kind == GrammarElement::kChar && skip == u"0";
    element.loop_skip = skip == u"1";
    element.term = item.Prop(QStringLiteral("term")) == u"1";
    element.node = item.Prop(QStringLiteral("node"));
    element.node_is_uses = element.node.compare(u"uses", Qt::CaseInsensitive) == 0;
    element.add = item.Prop(QStringLiteral("add"));
    element.has_add_text = HasProp(item, QStringLiteral("addtext"));
    element.add_text = item.Prop(QStringLiteral("addtext"));
    const QString err = item.Prop(QStringLiteral("err"));
    if (!err.isEmpty()) element.error = ErrorIndex(err);
    for (int i = 0; i < item.Count(); ++i) {
      const TksXMLItem& child = *item.Items(i);
      const int child_index = static_cast<int>(grammar_.elements.size());
      GrammarElement placeholder;
      placeholder.kind = Kinds().value(child.Name().toLower(), GrammarElement::kReference);
      grammar_.elements.push_back(placeholder);
      Fill(child_index, child);
      element.children.push_back(child_index);
    }
    grammar_.elements[static_cast<size_t>(index)] = std::move(element);
  }

  int ErrorIndex(const QString& name) {
    const auto it = error_indexes_.constFind(name.toLower());
    if (it != error_indexes_.constEnd()) return *it;
    const int at = errors_ ? errors_->IndexOf(name) : -1;
    if (at < 0) ThrowInvalidLanguage();
    const int index = static_cast<int>(grammar_.errors.size());
    grammar_.errors << errors_->Items(at)->Prop(QStringLiteral("text"));
    error_indexes_.insert(name.toLower(), index);
    return index;
  }

 private:
  ScriptGrammar& grammar_;
  const TksXMLItem* errors_;
  QHash<QString, int> rules_;
  QHash<QString, int> error_indexes_;
};

}  // namespace

void ScriptGrammar::Configure(TksParser& parser) const {
  parser.ResetSettings();
  for (const QString& word : keywords) parser.AddKeyword(word);
  for (const auto& [name, text] : settings) {
    if (name == u"commentline1") {
      parser.SetCommentLine1(text);
    } else if (name == u"commentline2") {
      parser.SetCommentLine2(text);
    } else if (name == u"commentblock1") {
      parser.SetCommentBlock1(text);
    } else if (name == u"commentblock2") {
      parser.SetCommentBlock2(text);
    } else if (name == u"stringquotes") {
      parser.SetStringQuotes(text);
    } else if (name == u"hexsequence") {
      parser.SetHexSequence(text);
    } else if (name == u"identchars") {
      parser.SetIdentChars(text);
    } else if (name == u"skipchar") {
      parser.SetSkipChar(text);
    } else if (name == u"skipeol") {
      parser.SetSkipEOL(text != u"0");
    } else if (name == u"specstrchar") {
      parser.SetSpecStrChar(text == u"1");
    } else if (name == u"casesensitive") {
      parser.SetCaseSensitive(text == u"1");
    }
  }
}

std::shared_ptr<const ScriptGrammar> CompileGrammar(const QString& name, const QString& xml,
                                                    TrailingText trailing) {
  TksXMLDocument document;
  document.LoadFromString(xml);
  const TksXMLItem* root = document.Root();
  auto grammar = std::make_shared<ScriptGrammar>();
  grammar->name = name;
  grammar->trailing = trailing;

  const int parser_at = root->IndexOf(QStringLiteral("parser"));
  const TksXMLItem* parser = parser_at >= 0 ? root->Items(parser_at) : nullptr;
  const TksXMLItem* errors = nullptr;
  if (parser) {
    const int errors_at = parser->IndexOf(QStringLiteral("errors"));
    if (errors_at >= 0) errors = parser->Items(errors_at);
    const int keywords_at = parser->IndexOf(QStringLiteral("keywords"));
    if (keywords_at >= 0) {
      const TksXMLItem* keywords = parser->Items(keywords_at);
      for (int i = 0; i < keywords->Count(); ++i) grammar->keywords << keywords->Items(i)->Name();
    }
    for (int i = 0; i < parser->Count(); ++i) {
      const TksXMLItem* setting = parser->Items(i);
      const QString key = setting->Name().toLower();
      if (key == u"keywords" || key == u"errors") continue;
      if (key == u"declarevars") {
        grammar->declare_vars = setting->Prop(QStringLiteral("text")) != u"0";
        continue;
      }
      grammar->settings.emplace_back(key, setting->Prop(QStringLiteral("text")));
    }
  }
  const int types_at = root->IndexOf(QStringLiteral("types"));
  if (types_at >= 0) {
    grammar->types.Assign(*root->Items(types_at));
  } else {
    grammar->types.SetName(QStringLiteral("types"));
  }

  Compiler compiler(*grammar, errors);
  std::vector<std::pair<int, const TksXMLItem*>> rules;
  for (int i = 0; i < root->Count(); ++i) {
    const TksXMLItem* item = root->Items(i);
    const QString key = item->Name().toLower();
    if (key == u"parser" || key == u"types") continue;
    const int index = static_cast<int>(grammar->elements.size());
    GrammarElement rule;
    rule.kind = GrammarElement::kRule;
    grammar->elements.push_back(rule);
    compiler.AddRule(item->Name(), index);
    rules.emplace_back(index, item);
  }
  for (const auto& [index, item] : rules) compiler.Fill(index, *item);
  grammar->program = compiler.RuleIndex(QStringLiteral("program"));
  if (grammar->program < 0) ThrowInvalidLanguage();
  if (errors && errors->IndexOf(QStringLiteral("err3")) >= 0) {
    grammar->statement_expected = compiler.ErrorIndex(QStringLiteral("err3"));
  }
  return grammar;
}

}  // namespace ovx
