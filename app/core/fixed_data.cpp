// The body text and title are UTF-8 files in app/data, compiled in (see
// app/CMakeLists.txt) so the program needs no file for them.
#include "app/core/fixed_data.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace ovx::app::internal {
extern const unsigned char kBodyTextUtf8[];
extern const unsigned char kTitleUtf8[];
}  // namespace ovx::app::internal

namespace ovx::app {
namespace {

QStringList Lines(const unsigned char* utf8) {
  QString text = QString::fromUtf8(reinterpret_cast<const char*>(utf8));
  text.remove(u'\r');
  QStringList lines = text.split(u'\n');
  if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
  return lines;
}

}  // namespace

QStringList BodyTextLines() { return Lines(internal::kBodyTextUtf8); }

QStringList TitleLines() { return Lines(internal::kTitleUtf8); }

QStringList TemplateLines() {
  return {
      QStringLiteral(R"(<?xml version="1.0" encoding="utf-8"?>)"),
      QStringLiteral(
          R"(<TovxReport Version="6.3.3" DotMatrixReport="False" IniFile="\Software\Orvane Works" )"
          R"(PreviewOptions.Buttons="4095" PreviewOptions.ThumbnailVisible="True" PreviewOptions.Zoom="1" )"
          R"(PrintOptions.Printer="预设" PrintOptions.PrintMode="pmJoin" PrintOptions.PrintOnSheet="9" )"
          R"(ReportOptions.CreateDate="43490.6580637153" ReportOptions.Description.Text="" )"
          R"(ReportOptions.LastChange="43577.4475936806" ScriptLanguage="PascalScript" )"
          R"(ScriptText.Text="&#13;&#10;begin&#13;&#10;&#13;&#10;end.">)"),
      QStringLiteral(
          R"(  <TovxDataPage Name="Data" Height="1000" Left="0" Top="0" Width="1000"/>)"),
      QStringLiteral(
          R"(  <TovxReportPage Name="Page1" Orientation="poLandscape" PaperWidth="148.5" )"
          R"(PaperHeight="105" PaperSize="256" LeftMargin="5" RightMargin="5" TopMargin="5" )"
          R"(BottomMargin="5" ColumnWidth="0" ColumnPositions.Text="" Frame.Typ="0" MirrorMode="0" )"
          R"(HGuides.Text="" VGuides.Text="">)"),
      QStringLiteral(
          R"(    <TovxMemoView Name="title" Align="baClient" AllowVectorExport="True" Left="0" )"
          R"(Top="0" Width="523.464905" Height="359.05535" Font.Charset="1" )"
          R"(Font.Color="-16777208" Font.Height="-13" Font.Name="system" Font.Style="0" )"
          R"(Frame.Typ="0" HAlign="haCenter" ParentFont="False" VAlign="vaCenter" Text=""/>)"),
      QStringLiteral(R"(  </TovxReportPage>)"),
      QStringLiteral(R"(</TovxReport>)"),
      QString(),
  };
}

QString DataDirectory() {
  const QString from_env = qEnvironmentVariable("VELMORA_DATA_DIR");
  if (!from_env.isEmpty()) return QDir(from_env).absolutePath();
  // applicationDirPath needs an application object; tests without one rely
  // on the environment variable.
  if (!QCoreApplication::instance()) return {};
  const QDir exe(QCoreApplication::applicationDirPath());
  for (const QString& candidate :
       {exe.filePath(QStringLiteral("../share/velmora")), exe.filePath(QStringLiteral("data"))}) {
    if (QFileInfo::exists(QDir(candidate).filePath(QLatin1String(kPrivateFontFile))))
      return QDir(candidate).canonicalPath();
  }
  return {};
}

}  // namespace ovx::app
