// The PDF document writer; see pdf_writer.h.
#include "export/pdf_writer.h"

#include "base/error.h"
#include "base/stream.h"
#include "export/internal/pdf_metadata.h"
#include "export/pdf_objects.h"
#include "export/pdf_security.h"

#include <QCryptographicHash>
#include <QUuid>

#include <algorithm>
#include <cmath>
#include <functional>

namespace ovx {
namespace {

constexpr qsizetype kFlushSize = qsizetype{1} << 16;
constexpr QByteArrayView kEol = "\r\n";

QByteArray Md5(QByteArrayView data) {
  return QCryptographicHash::hash(data, QCryptographicHash::Md5);
}

// Points of a page's height less a top position in report units, as a
// destination's y.
double DestinationY(double page_height, double top_units) { return page_height - top_units * 0.75; }

int CountItems(const std::vector<PdfOutlineNode>& nodes) {
  int count = 0;
  for (const PdfOutlineNode& node : nodes) count += 1 + CountItems(node.children);
  return count;
}

}  // namespace

bool PdfFixedOutputRequested() { return qEnvironmentVariableIntValue("VELMORA_PDF_FIXED") == 1; }

QByteArray PdfFixedId() { return Md5("Velmora fixed PDF identifier"); }

QDateTime PdfFixedTime() { return QDateTime(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC); }

PdfDocument::PdfDocument(Stream& out, PdfDocumentOptions options)
    : out_(out), options_(std::move(options)) {
  if (options_.pdfa_part < 0 || options_.pdfa_part > 3) options_.pdfa_part = 0;
  // PDF/A forbids encryption and, in part 1, transparency.
  if (PdfA()) {
    options_.user_password.clear();
    options_.owner_password.clear();
  }
  if (options_.pdfa_part == 1) options_.transparency = false;
}

PdfDocument::~PdfDocument() = default;

void PdfDocument::Begin() {
  if (options_.fixed_id && options_.fixed_id->size() == 16) {
    file_id_ = *options_.fixed_id;
  } else {
    file_id_ = Md5(QUuid::createUuid().toString().toLatin1());
  }
  time_ = options_.fixed_time ? options_.fixed_time->toUTC() : QDateTime::currentDateTimeUtc();
  time_.setTime(QTime(time_.time().hour(), time_.time().minute(), time_.time().second()));
  if (!options_.user_password.isEmpty() || !options_.owner_password.isEmpty()) {
    security_ = std::make_unique<PdfStandardSecurity>(
        options_.user_password, options_.owner_password,
        PdfPermissionValue(options_.protection_flags), file_id_);
  }
  Write("%PDF-" + options_.version + "\r\n");
  Write("%\xE2\xE3\xCF\xD3\r\n");
  AllocateObject();  // 1: the page tree
}

// --- objects ----------------------------------------------------------------------------

int PdfDocument::AllocateObject() {
  offsets_.push_back(-1);
  return static_cast<int>(offsets_.size());
}

void PdfDocument::BeginObject(int number) {
  if (number < 1 || number > static_cast<int>(offsets_.size())) {
    throw Error(QString(), QStringLiteral("PDF object %s was never allocated"),
                {QString::number(number)});
  }
  offsets_[number - 1] = Offset();
  Write(QByteArray::number(number) + " 0 obj\r\n");
}

void PdfDocument::EndObject() { Write("endobj\r\n"); }

void PdfDocument::Write(QByteArrayView bytes) {
  buffer_.append(bytes);
  if (buffer_.size() >= kFlushSize) Flush();
}

void PdfDocument::WriteLine(QByteArrayView line) {
  Write(line);
  Write(kEol);
}

void PdfDocument::Flush() {
  if (buffer_.isEmpty()) return;
  out_.Write(buffer_);
  written_ += buffer_.size();
  buffer_.clear();
}

QByteArray PdfDocument::Ref(int number) const { return QByteArray::number(number) + " 0 R"; }

void PdfDocument::WriteStreamObject(int number, QByteArrayView entries, QByteArrayView data,
                                    bool compress) {
  QByteArray body = compress ? PdfDeflate(data) : data.toByteArray();
  if (security_) body = security_->Encrypt(number, body);
  BeginObject(number);
  QByteArray dictionary = "<<";
  dictionary += entries;
  dictionary += "/Length " + QByteArray::number(body.size());
  if (compress) dictionary += "/Filter/FlateDecode";
  dictionary += ">>";
  WriteLine(dictionary);
  WriteLine("stream");
  Write(body);
  Write("\n");
  WriteLine("endstream");
  EndObject();
}

QByteArray PdfDocument::StringToken(int object_number, QByteArrayView bytes) const {
  if (security_) return PdfLiteralString(security_->Encrypt(object_number, bytes));
  return PdfLiteralString(bytes);
}

QByteArray PdfDocument::TextToken(int object_number, const QString& text) const {
  return StringToken(object_number, PdfTextBytes(text));
}

// --- pages ------------------------------------------------------------------------------

void PdfDocument::BeginPage(double width, double height, int index) {
  if (in_page_) throw Error(QString(), QStringLiteral("A PDF page was started twice"));
  in_page_ = true;
  page_ = Page{index, 0, width, height};
  content_.clear();
  page_images_.clear();
  page_patterns_.clear();
  page_annotations_.clear();
  page_fonts_.assign(font_objects_.size(), false);
}

QByteArray PdfDocument::UseFont(TovxPDFFont& font) {
  const auto index = static_cast<size_t>(font.Index());
  if (font_objects_.size() <= index) font_objects_.resize(index + 1, 0);
  if (page_fonts_.size() <= index) page_fonts_.resize(index + 1, false);
  page_fonts_[index] = true;
  return font.ResourceName();
}

QByteArray PdfDocument::UseImage(const PdfImage& image) {
  QCryptographicHash md5(QCryptographicHash::Md5);
  md5.addData(image.jpeg);
  md5.addData(image.alpha);
  const QByteArray hash = md5.result();
  // The digest finds candidates; only the same bytes make the same image
  // (a collision must not show another picture).
  int index = -1;
  for (const int candidate : image_index_.values(hash)) {
    const PdfImage& known = image_data_[static_cast<size_t>(candidate)];
    if (known.jpeg == image.jpeg && known.alpha == image.alpha && known.width == image.width &&
        known.height == image.height) {
      index = candidate;
      break;
    }
  }
  if (index < 0) {
    const int number = AllocateObject();
    const int mask = image.alpha.isEmpty() ? 0 : AllocateObject();
    QByteArray entries = "/Type /XObject/Subtype /Image/ColorSpace /DeviceRGB/BitsPerComponent 8";
    entries += "/Filter /DCTDecode/Width " + QByteArray::number(image.width) + "/Height " +
               QByteArray::number(image.height);
    if (mask) entries += "/SMask " + Ref(mask);
    // JPEG data is compressed already.
    WriteStreamObject(number, entries, image.jpeg, false);
    if (mask) {
      WriteStreamObject(mask,
                        "/Type /XObject/Subtype /Image/ColorSpace /DeviceGray/BitsPerComponent 8"
                        "/Width " +
                            QByteArray::number(image.width) + "/Height " +
                            QByteArray::number(image.height),
                        image.alpha, true);
    }
    images_.push_back(number);
    image_data_.push_back(image);
    index = static_cast<int>(images_.size() - 1);
    image_index_.insert(hash, index);
  }
  if (std::find(page_images_.begin(), page_images_.end(), index) == page_images_.end()) {
    page_images_.push_back(index);
  }
  return "/Im" + QByteArray::number(index);
}

QByteArray PdfDocument::UsePattern(const PdfTilingPattern& pattern) {
  auto finite = [](double v) { return std::isfinite(v); };
  const auto& b = pattern.bbox;
  if (!std::all_of(b.begin(), b.end(), finite) ||
      !std::all_of(pattern.matrix.begin(), pattern.matrix.end(), finite) || !(b[2] > b[0]) ||
      !(b[3] > b[1]) || !(std::abs(pattern.x_step) > 0) || !(std::abs(pattern.y_step) > 0) ||
      !finite(pattern.x_step) || !finite(pattern.y_step)) {
    throw Error(QString(), QStringLiteral("A tiling pattern without an area"));
  }
  // Six decimals: the matrix scales a small cell over the whole page, so
  // its error grows with every cell.
  auto real = [](double v) { return PdfReal(v, 6); };
  QByteArray entries = "/Type /Pattern/PatternType 1/PaintType 1/TilingType 1/BBox [" + real(b[0]) +
                       ' ' + real(b[1]) + ' ' + real(b[2]) + ' ' + real(b[3]) + "]/XStep " +
                       real(pattern.x_step) + "/YStep " + real(pattern.y_step) + "/Matrix [";
  for (size_t i = 0; i < pattern.matrix.size(); ++i)
    entries += (i ? " " : "") + real(pattern.matrix[i]);
  entries += "]/Resources << /ProcSet [/PDF ] >>";
  const QByteArray key = entries + '\n' + pattern.cell;
  int index = pattern_index_.value(key, -1);
  if (index < 0) {
    const int number = AllocateObject();
    WriteStreamObject(number, entries, pattern.cell, options_.compressed);
    patterns_.push_back(number);
    index = static_cast<int>(patterns_.size() - 1);
    pattern_index_.insert(key, index);
  }
  if (std::find(page_patterns_.begin(), page_patterns_.end(), index) == page_patterns_.end()) {
    page_patterns_.push_back(index);
  }
  return "/P" + QByteArray::number(index);
}

void PdfDocument::AddLink(const PdfLink& link) {
  const int number = AllocateObject();
  links_.push_back({number, link});
  page_annotations_.push_back(number);
}

void PdfDocument::EndPage() {
  if (!in_page_) throw Error(QString(), QStringLiteral("A PDF page ended that was not started"));
  in_page_ = false;
  const int contents = AllocateObject();
  WriteStreamObject(contents, {}, content_, options_.compressed);
  content_.clear();
  content_.squeeze();

  for (size_t i = 0; i < page_fonts_.size(); ++i) {
    if (page_fonts_[i] && font_objects_[i] == 0) font_objects_[i] = AllocateObject();
  }

  page_.object = AllocateObject();
  pages_.push_back(page_);
  BeginObject(page_.object);
  WriteLine("<<");
  WriteLine("/Type /Page");
  WriteLine("/Parent " + Ref(1));
  WriteLine("/MediaBox [0 0 " + PdfFixed(page_.width) + ' ' + PdfFixed(page_.height) + " ]");
  if (!page_annotations_.empty()) {
    WriteLine("/Annots [");
    for (const int annotation : page_annotations_) WriteLine(Ref(annotation));
    WriteLine("]");
  }
  if (options_.transparency) WriteLine("/Group << /Type /Group /S /Transparency /CS /DeviceRGB >>");
  WriteLine("/Resources <<");
  QByteArray fonts = "/Font << ";
  for (size_t i = 0; i < font_objects_.size(); ++i) {
    if (font_objects_[i] == 0) continue;
    fonts += fonts_.At(static_cast<int>(i)).ResourceName() + ' ' + Ref(font_objects_[i]) + ' ';
  }
  WriteLine(fonts + ">>");
  if (!page_images_.empty()) {
    QByteArray xobjects = "/XObject << ";
    for (const int image : page_images_) {
      xobjects += "/Im" + QByteArray::number(image) + ' ' + Ref(images_[image]) + ' ';
    }
    WriteLine(xobjects + ">>");
  }
  if (!page_patterns_.empty()) {
    QByteArray patterns = "/Pattern << ";
    for (const int pattern : page_patterns_) {
      patterns += "/P" + QByteArray::number(pattern) + ' ' + Ref(patterns_[pattern]) + ' ';
    }
    WriteLine(patterns + ">>");
  }
  WriteLine("/ProcSet [/PDF /Text /ImageC ]");
  WriteLine(">>");
  WriteLine("/Contents " + Ref(contents));
  WriteLine(">>");
  EndObject();
}

const PdfDocument::Page* PdfDocument::FindPage(int index) const {
  for (const Page& page : pages_) {
    if (page.index == index) return &page;
  }
  return nullptr;
}

// --- the end --------------------------------------------------------------------------

void PdfDocument::Finish(const std::vector<PdfOutlineNode>& outline) {
  if (in_page_) EndPage();
  WriteFonts();
  WritePageTree();
  int metadata = 0;
  int output_intent = 0;
  int struct_tree = 0;
  if (PdfA()) {
    CheckPdfA();
    WritePdfAObjects(metadata, output_intent, struct_tree);
  }
  const int info = WriteInfo();
  const int encryption = WriteEncryption();
  const int outline_root = WriteOutline(outline);
  WriteLinks();
  const int catalog = WriteCatalog(outline_root, metadata, output_intent, struct_tree);
  for (size_t i = 0; i < offsets_.size(); ++i) {
    if (offsets_[i] < 0) {
      throw Error(QString(), QStringLiteral("PDF object %s was allocated but never written"),
                  {QString::number(i + 1)});
    }
  }
  WriteTrailer(catalog, info, encryption);
  Flush();
}

void PdfDocument::WriteFonts() {
  const PdfStringWriter write_string = [this](int object, QByteArrayView text) {
    return StringToken(object, text);
  };
  for (size_t i = 0; i < font_objects_.size(); ++i) {
    if (font_objects_[i] == 0) continue;
    TovxPDFFont& font = fonts_.At(static_cast<int>(i));
    PdfFontObjectNumbers numbers;
    numbers.type0 = font_objects_[i];
    // Codes are glyph ids of the embedded program, so a font without its
    // program would show the wrong glyphs in every reader: the program is
    // always embedded when there is one.
    numbers.font_file = font.HasFontFile() ? AllocateObject() : 0;
    numbers.descriptor = AllocateObject();
    numbers.to_unicode = AllocateObject();
    numbers.cid_font = AllocateObject();
    numbers.cid_to_gid_map = font.NeedsCidToGidMap() ? AllocateObject() : 0;
    numbers.cid_set = numbers.font_file ? AllocateObject() : 0;
    const PdfFontObjects objects = font.BuildObjects(numbers, write_string);
    if (numbers.font_file) {
      WriteStreamObject(numbers.font_file, objects.font_file_dict_extra, objects.font_file,
                        options_.compressed);
    }
    BeginObject(numbers.descriptor);
    WriteLine(objects.descriptor_dict);
    EndObject();
    if (numbers.cid_set) {
      WriteStreamObject(numbers.cid_set, {}, objects.cid_set, options_.compressed);
    }
    WriteStreamObject(numbers.to_unicode, {}, objects.to_unicode, options_.compressed);
    if (numbers.cid_to_gid_map) {
      WriteStreamObject(numbers.cid_to_gid_map, {}, objects.cid_to_gid_map, options_.compressed);
    }
    BeginObject(numbers.cid_font);
    WriteLine(objects.cid_font_dict);
    EndObject();
    BeginObject(numbers.type0);
    WriteLine(objects.type0_dict);
    EndObject();
  }
}

void PdfDocument::WritePageTree() {
  BeginObject(1);
  WriteLine("<<");
  WriteLine("/Type /Pages");
  QByteArray kids = "/Kids [";
  for (const Page& page : pages_) kids += Ref(page.object) + ' ';
  WriteLine(kids + "]");
  WriteLine("/Count " + QByteArray::number(pages_.size()));
  WriteLine(">>");
  EndObject();
}

void PdfDocument::CheckPdfA() {
  // What this writer itself could put into a file that PDF/A forbids; the
  // rest (encryption, part 1 transparency groups) the options rule out.
  pdfa_failures_.clear();
  for (size_t i = 0; i < font_objects_.size(); ++i) {
    if (font_objects_[i] == 0) continue;
    TovxPDFFont& font = fonts_.At(static_cast<int>(i));
    if (!font.HasFontFile()) {
      pdfa_failures_ << QStringLiteral("The font %1 is not embedded").arg(font.Name());
    }
  }
  if (options_.pdfa_part == 1) {
    for (const PdfImage& image : image_data_) {
      if (!image.alpha.isEmpty()) {
        pdfa_failures_ << QStringLiteral("An image has a soft mask (transparency)");
        break;
      }
    }
    if (options_.transparency) pdfa_failures_ << QStringLiteral("Pages have a transparency group");
  }
  if (Encrypted()) pdfa_failures_ << QStringLiteral("The file is encrypted");
}

void PdfDocument::WritePdfAObjects(int& metadata, int& output_intent, int& struct_tree) {
  // An empty structure tree with the usual role map; the file claims no
  // logical structure (conformance level B).
  const int role_map = AllocateObject();
  BeginObject(role_map);
  WriteLine("<<");
  for (const char* line :
       {"/Footnote /Note", "/Endnote /Note", "/Textbox /Sect", "/Header /Sect", "/Footer /Sect",
        "/InlineShape /Sect", "/Annotation /Sect", "/Artifact /Sect", "/Workbook /Document",
        "/Worksheet /Part", "/Macrosheet /Part", "/Chartsheet /Part", "/Dialogsheet /Part",
        "/Slide /Part", "/Chart /Sect", "/Diagram /Figure"}) {
    WriteLine(line);
  }
  WriteLine(">>");
  EndObject();
  struct_tree = AllocateObject();
  BeginObject(struct_tree);
  WriteLine("<<");
  WriteLine("/Type /StructTreeRoot");
  WriteLine("/RoleMap " + Ref(role_map));
  WriteLine(">>");
  EndObject();

  pdf_internal::XmpValues values;
  values.title = options_.title;
  values.author = options_.author;
  values.subject = options_.subject;
  values.keywords = options_.keywords;
  values.creator = options_.creator;
  values.producer = options_.producer;
  values.version = options_.version;
  values.time = time_;
  values.file_id = file_id_;
  // A file that fails a check keeps its PDF/A objects but claims no level.
  values.part = pdfa_failures_.isEmpty() ? options_.pdfa_part : 0;
  values.conformance = 'B';
  metadata = AllocateObject();
  WriteStreamObject(metadata, "/Type /Metadata /Subtype /XML ", pdf_internal::XmpPacket(values),
                    false);

  const int profile = AllocateObject();
  WriteStreamObject(profile, "/N 3", pdf_internal::SrgbIccProfile(), options_.compressed);
  output_intent = AllocateObject();
  BeginObject(output_intent);
  WriteLine("<<");
  WriteLine("/Type /OutputIntent");
  WriteLine("/S /GTS_PDFA1");
  WriteLine("/OutputCondition " + StringToken(output_intent, "sRGB IEC61966-2.1"));
  WriteLine("/OutputConditionIdentifier " + StringToken(output_intent, "sRGB IEC61966-2.1"));
  WriteLine("/Info " + StringToken(output_intent, "sRGB IEC61966-2.1"));
  WriteLine("/DestOutputProfile " + Ref(profile));
  WriteLine(">>");
  EndObject();
}

int PdfDocument::WriteInfo() {
  const int info = AllocateObject();
  BeginObject(info);
  WriteLine("<<");
  WriteLine("/Title " + TextToken(info, options_.title));
  WriteLine("/Author " + TextToken(info, options_.author));
  WriteLine("/Subject " + TextToken(info, options_.subject));
  WriteLine("/Keywords " + TextToken(info, options_.keywords));
  WriteLine("/Creator " + TextToken(info, options_.creator));
  WriteLine("/Producer " + TextToken(info, options_.producer));
  const QByteArray date = PdfDate(time_);
  WriteLine("/CreationDate " + StringToken(info, date));
  WriteLine("/ModDate " + StringToken(info, date));
  WriteLine(">>");
  EndObject();
  return info;
}

int PdfDocument::WriteEncryption() {
  if (!security_) return 0;
  const int number = AllocateObject();
  BeginObject(number);
  WriteLine("<<");
  WriteLine("/Filter /Standard");
  WriteLine("/V 2");
  WriteLine("/R 3");
  WriteLine("/Length 128");
  WriteLine("/P " + QByteArray::number(security_->Permissions()));
  // The encryption dictionary's own strings are never encrypted.
  WriteLine("/O " + PdfLiteralString(security_->OwnerValue()));
  WriteLine("/U " + PdfLiteralString(security_->UserValue()));
  WriteLine(">>");
  EndObject();
  return number;
}

int PdfDocument::WriteOutline(const std::vector<PdfOutlineNode>& outline) {
  if (!options_.outline || outline.empty()) return 0;
  // Numbers first (root, then depth-first), so that every item can name
  // its neighbours.
  struct Numbered {
    const PdfOutlineNode* node;
    int number;
    int parent;
    int prev = 0;
    int next = 0;
    int first = 0;
    int last = 0;
  };
  std::vector<Numbered> items;
  const int root = AllocateObject();
  std::function<void(const std::vector<PdfOutlineNode>&, int, int&, int&)> number =
      [&](const std::vector<PdfOutlineNode>& nodes, int parent, int& first, int& last) {
        size_t previous = SIZE_MAX;
        for (const PdfOutlineNode& node : nodes) {
          const size_t at = items.size();
          items.push_back({&node, AllocateObject(), parent});
          if (previous != SIZE_MAX) {
            items[previous].next = items[at].number;
            items[at].prev = items[previous].number;
          } else {
            first = items[at].number;
          }
          last = items[at].number;
          int child_first = 0;
          int child_last = 0;
          number(node.children, items[at].number, child_first, child_last);
          items[at].first = child_first;
          items[at].last = child_last;
          previous = at;
        }
      };
  int first = 0;
  int last = 0;
  number(outline, root, first, last);

  BeginObject(root);
  WriteLine("<<");
  WriteLine("/Type /Outlines");
  WriteLine("/Count " + QByteArray::number(CountItems(outline)));
  WriteLine("/First " + Ref(first));
  WriteLine("/Last " + Ref(last));
  WriteLine(">>");
  EndObject();
  for (const Numbered& item : items) {
    BeginObject(item.number);
    WriteLine("<<");
    WriteLine("/Title " + TextToken(item.number, item.node->title));
    WriteLine("/Parent " + Ref(item.parent));
    if (item.prev) WriteLine("/Prev " + Ref(item.prev));
    if (item.next) WriteLine("/Next " + Ref(item.next));
    if (item.first) {
      WriteLine("/First " + Ref(item.first));
      WriteLine("/Last " + Ref(item.last));
      WriteLine("/Count " + QByteArray::number(item.node->children.size()));
    }
    if (const Page* page = FindPage(item.node->page)) {
      WriteLine("/Dest [" + Ref(page->object) + " /XYZ 0 " +
                QByteArray::number(std::lround(DestinationY(page->height, item.node->top))) +
                " 0]");
    }
    WriteLine(">>");
    EndObject();
  }
  return root;
}

void PdfDocument::WriteLinks() {
  for (const Link& entry : links_) {
    const PdfLink& link = entry.link;
    BeginObject(entry.object);
    WriteLine("<<");
    WriteLine("/Type /Annot");
    WriteLine("/Subtype /Link");
    if (PdfA()) WriteLine("/F 4");
    WriteLine("/Rect [" + PdfFixed(link.left) + ' ' + PdfFixed(link.bottom) + ' ' +
              PdfFixed(link.right) + ' ' + PdfFixed(link.top) + "]");
    if (link.target_page < 0) {
      WriteLine("/BS << /W 0 >>");
      WriteLine("/A <<");
      // URIs are 7-bit by definition; anything beyond is sent as UTF-8,
      // which is what readers pass on to the browser.
      WriteLine("/URI " + StringToken(entry.object, link.uri.trimmed().toUtf8()));
      WriteLine("/Type /Action");
      WriteLine("/S /URI");
      WriteLine(">>");
    } else {
      WriteLine("/Border [16 16 0]");
      if (const Page* page = FindPage(link.target_page)) {
        WriteLine("/Dest [" + Ref(page->object) + " /XYZ null " +
                  PdfFixed(DestinationY(page->height, link.target_top)) + " null]");
      }
    }
    WriteLine(">>");
    EndObject();
  }
}

int PdfDocument::WriteCatalog(int outline_root, int metadata, int output_intent, int struct_tree) {
  const int catalog = AllocateObject();
  BeginObject(catalog);
  WriteLine("<<");
  WriteLine("/Type /Catalog");
  WriteLine("/Version /" + options_.version);
  WriteLine("/Pages " + Ref(1));
  WriteLine(options_.outline ? "/PageMode /UseOutlines" : "/PageMode /UseNone");
  if (outline_root) WriteLine("/Outlines " + Ref(outline_root));
  if (metadata) WriteLine("/Metadata " + Ref(metadata));
  if (output_intent) WriteLine("/OutputIntents [ " + Ref(output_intent) + " ]");
  if (struct_tree) WriteLine("/StructTreeRoot " + Ref(struct_tree));
  WriteLine("/ViewerPreferences <<");
  if (!options_.title.isEmpty()) WriteLine("/DisplayDocTitle true");
  if (options_.hide_toolbar) WriteLine("/HideToolbar true");
  if (options_.hide_menubar) WriteLine("/HideMenubar true");
  if (options_.hide_window_ui) WriteLine("/HideWindowUI true");
  if (options_.fit_window) WriteLine("/FitWindow true");
  if (options_.center_window) WriteLine("/CenterWindow true");
  // PrintScaling takes a name; /None asks the viewer not to scale.
  if (!options_.print_scaling) WriteLine("/PrintScaling /None");
  WriteLine(">>");
  WriteLine(">>");
  EndObject();
  return catalog;
}

void PdfDocument::WriteTrailer(int catalog, int info, int encryption) {
  const qint64 xref = Offset();
  WriteLine("xref");
  WriteLine("0 " + QByteArray::number(offsets_.size() + 1));
  WriteLine("0000000000 65535 f");
  for (const qint64 offset : offsets_) {
    QByteArray line = QByteArray::number(offset).rightJustified(10, '0');
    WriteLine(line + " 00000 n");
  }
  WriteLine("trailer");
  WriteLine("<<");
  WriteLine("/Size " + QByteArray::number(offsets_.size() + 1));
  WriteLine("/Root " + Ref(catalog));
  WriteLine("/Info " + Ref(info));
  const QByteArray id = file_id_.toHex();
  WriteLine("/ID [<" + id + "><" + id + ">]");
  if (encryption) WriteLine("/Encrypt " + Ref(encryption));
  WriteLine(">>");
  WriteLine("startxref");
  WriteLine(QByteArray::number(xref));
  Write("%%EOF\r\n");
}

}  // namespace ovx
