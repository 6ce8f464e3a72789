#include "app/core/report_dump.h"

#include "base/json_text.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/picture.h"
#include "report/model/report.h"

#include <charconv>

namespace ovx::app {
namespace {

class JsonWriter {
 public:
  explicit JsonWriter(QByteArray& out) : out(out) {}
  QByteArray& out;

  void Key(const char* key) {
    Comma();
    out += '"';
    out += key;
    out += "\":";
    first_ = true;
  }
  void Number(double value) {
    char buffer[32];
    // Shortest text that reads back as the same double.
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    Comma();
    out.append(buffer, result.ptr - buffer);
  }
  void Integer(qint64 value) {
    Comma();
    out += QByteArray::number(value);
  }
  void Bool(bool value) {
    Comma();
    out += value ? "true" : "false";
  }
  void String(const QString& value) {
    Comma();
    AppendJsonString(out, value);
  }
  void Open(char bracket) {
    Comma();
    out += bracket;
    first_ = true;
  }
  void Close(char bracket) {
    out += bracket;
    first_ = false;
  }

 private:
  void Comma() {
    if (!first_) out += ',';
    first_ = false;
  }
  bool first_ = true;
};

void DumpObject(JsonWriter& json, const TovxComponent& object) {
  json.Open('{');
  json.Key("class");
  json.String(object.GetMetaClass().ClassName());
  json.Key("name");
  json.String(object.Name());
  json.Key("left");
  json.Number(object.Left());
  json.Key("top");
  json.Number(object.Top());
  json.Key("width");
  json.Number(object.Width());
  json.Key("height");
  json.Number(object.Height());
  json.Key("font");
  json.Open('{');
  json.Key("name");
  json.String(object.Font().Name());
  json.Key("size");
  json.Integer(object.Font().Size());
  json.Key("color");
  json.Integer(object.Font().Color());
  json.Key("style");
  json.Integer(object.Font().StyleBits());
  json.Close('}');
  if (const auto* memo = dynamic_cast<const TovxMemoView*>(&object)) {
    // The memo's lines, joined with "\n" (its Text property ends every
    // line with CR LF, which only clutters a comparison).
    json.Key("text");
    json.String(memo->Lines().join(u'\n'));
  }
  json.Close('}');
}

}  // namespace

QByteArray DumpReportJson(const TovxReport& report) {
  QByteArray out;
  JsonWriter json(out);
  json.Open('{');
  json.Key("pages");
  json.Open('[');
  for (const TovxComponent* page : report.Objects()) {
    json.Open('{');
    json.Key("class");
    json.String(page->GetMetaClass().ClassName());
    json.Key("name");
    json.String(page->Name());
    if (const auto* report_page = dynamic_cast<const TovxReportPage*>(page)) {
      json.Key("paperWidth");
      json.Number(report_page->PaperWidth());
      json.Key("paperHeight");
      json.Number(report_page->PaperHeight());
      json.Key("paperSize");
      json.Integer(report_page->PaperSize());
      json.Key("orientation");
      json.String(EnumTypeOf(TovxPrinterOrientation{})
                      .NameOf(static_cast<qint64>(report_page->Orientation())));
      json.Key("leftMargin");
      json.Number(report_page->LeftMargin());
      json.Key("topMargin");
      json.Number(report_page->TopMargin());
      json.Key("rightMargin");
      json.Number(report_page->RightMargin());
      json.Key("bottomMargin");
      json.Number(report_page->BottomMargin());
      json.Key("backPicture");
      json.Bool(!report_page->BackPicture().IsEmpty());
    }
    json.Key("objects");
    json.Open('[');
    for (const TovxComponent* object : page->Objects()) DumpObject(json, *object);
    json.Close(']');
    json.Close('}');
  }
  json.Close(']');
  json.Close('}');
  out += '\n';
  return out;
}

}  // namespace ovx::app
