// Helpers of the PDF tests: documents written in memory, page content
// captured as text, and the outside checkers (qpdf, poppler) run on files.
#pragma once

#include "base/stream.h"
#include "export/pdf_page_content.h"
#include "export/pdf_writer.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace ovx::test {

// Options that make a small readable file: no compression, fixed id and
// date.
inline PdfDocumentOptions PlainOptions() {
  PdfDocumentOptions options;
  options.compressed = false;
  options.fixed_id = PdfFixedId();
  options.fixed_time = PdfFixedTime();
  options.title = QStringLiteral("Test");
  return options;
}

// A whole document: `pages` is called once per page with the page begun
// (one 200 x 100 unit page, 5 mm margins, unless it begins its own).
inline QByteArray WriteDocument(const PdfDocumentOptions& options,
                                const std::function<void(PdfDocument&, PdfPageContent&)>& pages,
                                const PdfContentSettings& settings = {},
                                const std::vector<PdfOutlineNode>& outline = {}) {
  MemoryStream out;
  PdfDocument document(out, options);
  PdfPageContent content(document, settings);
  document.Begin();
  pages(document, content);
  document.Finish(outline);
  return out.Data();
}

// The content stream one page gets from `write`, uncompressed.
inline QByteArray PageContent(const std::function<void(PdfPageContent&)>& write,
                              PdfContentSettings settings = {}, double width = 200,
                              double height = 100) {
  MemoryStream out;
  PdfDocument document(out, PlainOptions());
  PdfPageContent content(document, std::move(settings));
  document.Begin();
  content.BeginPage(width, height, 5, 5, 0);
  write(content);
  content.CloseText();
  QByteArray text = document.Content();
  content.EndPage();
  document.Finish();
  return text;
}

// The path of an installed program, empty when it is not installed.
inline QString Tool(const QString& name) { return QStandardPaths::findExecutable(name); }

struct ToolResult {
  int exit_code = -1;
  QByteArray out;
  QByteArray err;
};

inline ToolResult RunTool(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  ToolResult result;
  if (!process.waitForStarted(30000)) return result;
  process.closeWriteChannel();
  process.waitForFinished(300000);
  result.exit_code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  result.out = process.readAllStandardOutput();
  result.err = process.readAllStandardError();
  return result;
}

inline bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

}  // namespace ovx::test

#define VELMORA_REQUIRE_TOOL(name)                                      \
  const QString tool_##name = ::ovx::test::Tool(QStringLiteral(#name)); \
  if (tool_##name.isEmpty()) GTEST_SKIP() << #name " is not installed"
