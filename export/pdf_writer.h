// The PDF document writer: the file's bytes from header to trailer.
//
// Design: objects are written to the output as soon as they are complete
// and never held back, so a document of 500 pages needs memory for one
// page's content stream, the font records and the object offsets only
// (and a shared reference to the bytes of each distinct image, which the
// deduplication compares).
// Object numbers are handed out in writing order; an object whose content
// is known only later (the page tree, a page's fonts, link annotations) gets
// its number now and its offset when it is written at the end. Finish
// checks that every number handed out was written, so the cross-reference
// table never points into nothing.
//
// Layout of a file: header; object 1, the page tree (written last); per
// page its content stream, the Type 0 numbers of fonts it uses first, and
// the page object; image objects where an image is first used; then at the
// end the font objects, the page tree, the PDF/A objects, the document
// information, the encryption dictionary, the outline, the link
// annotations, the catalog, the cross-reference table and the trailer.
// Every line ends with CR LF.
//
// Protection: with a password the standard security handler (revision 3,
// 128-bit RC4) encrypts every string token and every stream's data under
// the key of the object that holds it; StringToken and TextToken are the
// only way strings get into objects, so none is missed.
//
// Deterministic output: with a fixed identifier and time (options, or
// VELMORA_PDF_FIXED=1 in the environment) two runs write identical bytes.
#pragma once

#include "export/pdf_font.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>
#include <optional>
#include <vector>

namespace ovx {

class PdfStandardSecurity;
class Stream;

struct PdfDocumentOptions {
  // The header and catalog version: "1.4" to "1.7".
  QByteArray version = "1.7";
  // PDF/A part 1 to 3, 0 for none. Files are declared conformance level B:
  // they carry no logical structure, so they cannot claim level A.
  int pdfa_part = 0;
  bool compressed = true;
  // A transparency group on every page (ignored for PDF/A-1).
  bool transparency = false;
  // The viewer opens with the outline shown.
  bool outline = false;
  QString title;
  QString author;
  QString subject;
  QString keywords;
  QString creator;
  QString producer;
  // Encryption is on when either password is set and the file is not PDF/A.
  QString user_password;
  QString owner_password;
  // Print 1, modify 2, copy 4, annotate 8.
  int protection_flags = 15;
  bool hide_toolbar = false;
  bool hide_menubar = false;
  bool hide_window_ui = false;
  bool fit_window = false;
  bool center_window = false;
  // When false the viewer is told not to scale the pages when printing.
  bool print_scaling = false;
  // Deterministic output: this identifier (16 bytes) and time instead of
  // new ones.
  std::optional<QByteArray> fixed_id;
  std::optional<QDateTime> fixed_time;
};

// Whether VELMORA_PDF_FIXED=1 asks for deterministic files, and the values
// used then.
bool PdfFixedOutputRequested();
QByteArray PdfFixedId();
QDateTime PdfFixedTime();

// An image XObject: baseline JPEG data and, for a soft mask, one 8-bit
// alpha value per pixel (empty for none).
struct PdfImage {
  QByteArray jpeg;
  int width = 0;
  int height = 0;
  QByteArray alpha;
};

// A coloured tiling pattern (PatternType 1, PaintType 1): `cell` is the
// content stream of one cell in pattern space, drawn over `bbox` (left,
// bottom, right, top) and repeated every `x_step` x `y_step`; `matrix`
// maps pattern space onto the page's default space (not the current
// transformation), as the format defines it.
struct PdfTilingPattern {
  QByteArray cell;
  std::array<double, 4> bbox{0, 0, 1, 1};
  double x_step = 1;
  double y_step = 1;
  std::array<double, 6> matrix{1, 0, 0, 1, 0, 0};
};

// A link annotation's rectangle (points, PDF coordinates) and target: an
// address, or a place on a page of the document.
struct PdfLink {
  double left = 0;
  double bottom = 0;
  double right = 0;
  double top = 0;
  QString uri;
  // 0-based index of the page in the prepared report; -1 for an address.
  int target_page = -1;
  // Report units from the top edge of the target page's paper.
  double target_top = 0;
};

// An outline item pointing at a page of the prepared report.
struct PdfOutlineNode {
  QString title;
  int page = -1;   // 0-based page index; -1: no destination
  double top = 0;  // report units from the top edge of the paper
  std::vector<PdfOutlineNode> children;
};

class PdfDocument {
 public:
  // `out` receives the file and must outlive the document; nothing is
  // written before Begin.
  PdfDocument(Stream& out, PdfDocumentOptions options);
  ~PdfDocument();
  PdfDocument(const PdfDocument&) = delete;
  PdfDocument& operator=(const PdfDocument&) = delete;

  // Writes the header and reserves the page tree (object 1).
  void Begin();
  // Writes everything after the pages and flushes the output. Throws
  // ovx::Error (the output is then incomplete).
  void Finish(const std::vector<PdfOutlineNode>& outline = {});

  const PdfDocumentOptions& Options() const { return options_; }
  bool Encrypted() const { return security_ != nullptr; }
  bool PdfA() const { return options_.pdfa_part > 0; }
  // Why a PDF/A file as written would not conform (a font without an
  // embedded program, a soft mask or a transparency group in part 1);
  // filled by Finish. The metadata claims a PDF/A level only when this is
  // empty; the other PDF/A objects are written either way.
  const QStringList& PdfAFailures() const { return pdfa_failures_; }
  // The 16 bytes of the file identifier.
  const QByteArray& FileId() const { return file_id_; }
  const QDateTime& Time() const { return time_; }
  PdfFontList& Fonts() { return fonts_; }

  // --- objects --------------------------------------------------------------------
  // The next object number; its offset is recorded when it is written.
  int AllocateObject();
  // Records the offset of `number` and writes its header.
  void BeginObject(int number);
  void EndObject();
  void Write(QByteArrayView bytes);
  // `line` followed by CR LF.
  void WriteLine(QByteArrayView line);
  // A whole stream object: "<<" `entries` "/Length n" [/Filter] ">>" and the
  // data, deflated when `compress`, encrypted when the file is protected.
  void WriteStreamObject(int number, QByteArrayView entries, QByteArrayView data, bool compress);
  // A string token for an object: escaped, and encrypted when protected.
  QByteArray StringToken(int object_number, QByteArrayView bytes) const;
  // A text string token (FE FF and UTF-16 big-endian).
  QByteArray TextToken(int object_number, const QString& text) const;
  // Current byte offset in the file.
  qint64 Offset() const { return written_ + buffer_.size(); }

  // --- pages ----------------------------------------------------------------------
  // Starts a page of `width` x `height` points for prepared page `index`.
  void BeginPage(double width, double height, int index);
  // The content stream of the page being written.
  QByteArray& Content() { return content_; }
  // The page resource name of `font`; the font counts as used on the page.
  QByteArray UseFont(TovxPDFFont& font);
  // The resource name ("/Im3") of an image, written when first met;
  // identical images (same JPEG and mask bytes, found by their MD5 and
  // compared byte for byte) are written once.
  QByteArray UseImage(const PdfImage& image);
  // The resource name ("/P2") of a tiling pattern, written when first met;
  // equal patterns (the same dictionary and cell, byte for byte) are written
  // once per document. Throws ovx::Error for a pattern a reader cannot draw
  // (a step or bounding box that is empty or not finite).
  QByteArray UsePattern(const PdfTilingPattern& pattern);
  int PatternCount() const { return static_cast<int>(patterns_.size()); }
  // Reserves the annotation's number and lists it on the current page.
  void AddLink(const PdfLink& link);
  // Writes the content stream and the page object.
  void EndPage();
  int PageCount() const { return static_cast<int>(pages_.size()); }
  // The number of distinct images written so far.
  int ImageCount() const { return static_cast<int>(images_.size()); }

 private:
  struct Page {
    int index = 0;
    int object = 0;
    double width = 0;
    double height = 0;
  };
  struct Link {
    int object = 0;
    PdfLink link;
  };

  void Flush();
  QByteArray Ref(int number) const;
  const Page* FindPage(int index) const;
  void WriteFonts();
  void WritePageTree();
  void CheckPdfA();
  void WritePdfAObjects(int& metadata, int& output_intent, int& struct_tree);
  int WriteInfo();
  int WriteEncryption();
  int WriteOutline(const std::vector<PdfOutlineNode>& outline);
  void WriteLinks();
  int WriteCatalog(int outline_root, int metadata, int output_intent, int struct_tree);
  void WriteTrailer(int catalog, int info, int encryption);

  Stream& out_;
  PdfDocumentOptions options_;
  QByteArray buffer_;
  qint64 written_ = 0;
  // Offsets by object number - 1; -1 until written.
  std::vector<qint64> offsets_;
  QByteArray file_id_;
  QDateTime time_;
  std::unique_ptr<PdfStandardSecurity> security_;
  PdfFontList fonts_;
  // Type 0 object number of each font of fonts_ (0 until a page uses it).
  std::vector<int> font_objects_;
  std::vector<Page> pages_;
  // Object number of each image, by index; the index of each image by the
  // MD5 of its JPEG and mask bytes (several for a collision), and its
  // bytes (shared with the caller's) for the comparison.
  std::vector<int> images_;
  std::vector<PdfImage> image_data_;
  QMultiHash<QByteArray, int> image_index_;
  std::vector<Link> links_;
  // Object number of each pattern, by index; the index by the pattern's
  // dictionary and cell bytes.
  std::vector<int> patterns_;
  QHash<QByteArray, int> pattern_index_;
  QStringList pdfa_failures_;

  // The page being written.
  bool in_page_ = false;
  Page page_;
  QByteArray content_;
  std::vector<int> page_images_;
  std::vector<int> page_patterns_;
  std::vector<int> page_annotations_;
  std::vector<bool> page_fonts_;
};

}  // namespace ovx
