// The HTML-like tags of memo texts, turned into per-character attributes.
//
// A memo line may carry <b>, <i>, <u>, <strike>, <sub>, <sup>, <nowrap> and
// <font color=...> with their closing forms. Expanding a line removes the
// tags it recognises and gives every remaining UTF-16 unit one attribute
// record; anything that does not parse as a tag stays ordinary text, so no
// character of the source is ever lost. Records point back into the layout's
// plain text (the source lines joined with CR LF, tags still in them) through
// a 1-based position counter that every source character advances, which is
// how the text left over for another page is cut out again.
#pragma once

#include "render/draw_text.h"

#include <QString>
#include <QStringView>

#include <vector>

namespace ovx {

// The attributes a memo's font gives text outside any tag.
struct TagDefaults {
  Color color = clBlack;
  int size = 0;
  int style = 0;
};

class TagExpander {
 public:
  // Starts a new text: state := defaults, position 1.
  void Reset(const TagDefaults& defaults);

  // Appends one record per visible UTF-16 unit of `line` to `records` and
  // returns the visible text. With `tags_allowed` false the line is taken
  // as it is, every record carrying the defaults. The records' unchanged
  // flags are left for MarkUnchanged, which sees the final line breaks.
  QString Expand(QStringView line, bool tags_allowed, TovxHTMLTags& records);

  // A record at the current position and state for text that is not in
  // the source (the space an emptied line becomes).
  TovxHTMLTag CurrentRecord() const;

  // Moves the position counter past source text that gets no record (the
  // CR LF between lines).
  void Skip(int units) { position_ += units; }

  const TagDefaults& Defaults() const { return defaults_; }

 private:
  // Length of the tag at the start of `text`, 0 when it is none; applies
  // its effect to the state.
  int ApplyTag(QStringView text);

  TagDefaults defaults_;
  int size_ = 0;
  int style_ = 0;
  Color color_ = clBlack;
  int lowered_ = 0;
  bool no_wrap_ = false;
  int script_ = 0;
  int position_ = 1;
};

// Sets every record's unchanged flag by comparing it with the record before
// it in reading order (the first with the defaults; all true without tags).
void MarkUnchanged(std::vector<TovxHTMLTags>& lines, const TagDefaults& defaults,
                   bool tags_allowed);

// The tags that re-open the state `tag` describes, for text continued
// elsewhere: always the colour, then script, underline, italic, bold,
// strike-out and no-wrap as they apply.
QString OpeningTags(const TovxHTMLTag& tag);

}  // namespace ovx
