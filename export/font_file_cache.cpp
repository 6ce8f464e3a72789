#include "export/font_file_cache.h"

#include "export/truetype_font.h"
#include "platform/safe_file.h"

#include <QFile>
#include <QHash>

#include <sys/stat.h>

#include <algorithm>
#include <mutex>

namespace ovx {

namespace {

// What says a file is unchanged: the same inode with the same size and
// modification time. A file replaced by a copy (new inode) or rewritten in
// place (new time or size) is read again.
struct FileStamp {
  int64_t size = -1;
  int64_t mtime_ns = 0;
  uint64_t inode = 0;
  uint64_t device = 0;
  bool operator==(const FileStamp&) const = default;
};

bool StampOf(const QString& path, FileStamp* stamp) {
  struct stat info {};
  if (::stat(QFile::encodeName(path).constData(), &info) != 0) return false;
  stamp->size = info.st_size;
  stamp->mtime_ns = int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec;
  stamp->inode = info.st_ino;
  stamp->device = info.st_dev;
  return true;
}

struct Entry {
  FileStamp stamp;
  QByteArray bytes;
  uint64_t last_use = 0;
};

}  // namespace

struct FontFileCache::State {
  mutable std::mutex mutex;
  QHash<QString, Entry> entries;
  int64_t kept_bytes = 0;
  int64_t byte_limit = kMaxFontFileBytes;
  int64_t disk_reads = 0;
  uint64_t clock = 0;

  void Remove(const QString& path) {
    auto it = entries.find(path);
    if (it == entries.end()) return;
    kept_bytes -= it->bytes.size();
    entries.erase(it);
  }

  // Drops the least recently used idle files until `incoming` more bytes
  // fit. A file whose bytes a live font still shares costs nothing extra
  // to keep (dropping it frees no memory) and is what the next export asks
  // for first, so it neither counts against the bound nor goes: otherwise
  // an export using more faces than the bound holds would push out each
  // face before its next use and read every file again every time.
  void MakeRoom(int64_t incoming) {
    for (;;) {
      int64_t idle_bytes = 0;
      auto oldest = entries.end();
      for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (!it->bytes.isDetached()) continue;
        idle_bytes += it->bytes.size();
        if (oldest == entries.end() || it->last_use < oldest->last_use) oldest = it;
      }
      if (oldest == entries.end() || idle_bytes + incoming <= byte_limit) return;
      kept_bytes -= oldest->bytes.size();
      entries.erase(oldest);
    }
  }
};

FontFileCache& FontFileCache::Instance() {
  static FontFileCache cache;
  return cache;
}

FontFileCache::State& FontFileCache::state() const {
  static State state;
  return state;
}

QByteArray FontFileCache::Read(const QString& path) {
  State& s = state();
  FileStamp stamp;
  const bool stamped = StampOf(path, &stamp);
  {
    std::lock_guard lock(s.mutex);
    auto it = s.entries.find(path);
    if (it != s.entries.end()) {
      if (stamped && it->stamp == stamp) {
        it->last_use = ++s.clock;
        return it->bytes;
      }
      s.Remove(path);
    }
  }
  // Read outside the lock: a large face must not hold up other threads'
  // fonts. Two threads missing the same file both read it; the later one
  // replaces the earlier entry.
  QByteArray bytes = ReadFileBounded(path, kMaxFontFileBytes, QStringLiteral("font file"));
  FileStamp after;
  // A file that changed while read is not kept: its bytes may belong to
  // neither stamp.
  const bool steady =
      stamped && StampOf(path, &after) && after == stamp && bytes.size() == stamp.size;
  std::lock_guard lock(s.mutex);
  ++s.disk_reads;
  if (steady && bytes.size() <= s.byte_limit) {
    s.Remove(path);
    s.MakeRoom(bytes.size());
    s.entries.insert(path, Entry{stamp, bytes, ++s.clock});
    s.kept_bytes += bytes.size();
  }
  return bytes;
}

void FontFileCache::Clear() {
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.entries.clear();
  s.kept_bytes = 0;
}

void FontFileCache::SetByteLimit(int64_t bytes) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.byte_limit = std::max<int64_t>(0, bytes);
  s.MakeRoom(0);
}

int64_t FontFileCache::DiskReads() const {
  State& s = state();
  std::lock_guard lock(s.mutex);
  return s.disk_reads;
}

int64_t FontFileCache::KeptBytes() const {
  State& s = state();
  std::lock_guard lock(s.mutex);
  return s.kept_bytes;
}

}  // namespace ovx
