// The bytes of font files, shared by every PDF document of the process.
//
// Each export builds its own font list, and a picture drawn as vectors asks
// for the same faces again; a CJK face is tens of megabytes, so reading it
// per export costs both time and a fresh copy in memory. The cache keeps
// the bytes of recently used files (QByteArray shares them with every font
// that parses them) and reads a file again when its size or modification
// time changed. What it alone holds is bounded: the least recently used
// idle files go first (files still shared with live fonts stay, as
// dropping them frees nothing), and a file larger than the whole bound is
// read but not kept.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace ovx {

class FontFileCache {
 public:
  static FontFileCache& Instance();

  // The bytes of the font file at `path`, read with ReadFileBounded (its
  // errors pass through and nothing is kept for them).
  QByteArray Read(const QString& path);

  // Drops every kept file; the next Read of each goes to the disk again.
  void Clear();
  // The most bytes kept for files no live font shares (256 MB unless set,
  // the largest font file read at all).
  void SetByteLimit(int64_t bytes);

  // For tests: how many files were read from disk, and the bytes now kept
  // (idle or shared).
  int64_t DiskReads() const;
  int64_t KeptBytes() const;

 private:
  FontFileCache() = default;
  struct State;
  State& state() const;
};

}  // namespace ovx
