#include "base/object_handle.h"

#include <QHash>
#include <QRandomGenerator>

#include <array>
#include <atomic>
#include <mutex>

namespace ovx {
namespace {

struct HandleTable {
  std::mutex lock;
  QHash<qint64, Persistent*> objects;
  QHash<const Persistent*, qint64> handles;
  // Handles given out since the address filter was last emptied.
  qint64 marked = 0;
  // Handles start at a number of this process's own, far from the small
  // integers scripts compute with, so a number that happens to be in a
  // script does not reach an object; they stay below 2^31 for the scripts
  // that keep them in 32-bit integers.
  qint64 next = (qint64{1} << 24) + QRandomGenerator::system()->bounded(1 << 24);
};

HandleTable& Table() {
  static HandleTable* table = new HandleTable;  // outlives every static object
  return *table;
}

// Destructions look at the table only while some object has a handle.
std::atomic<qint64> g_live{0};

// Addresses that may have a handle, as bits of a filter that is only ever
// set (and emptied when no handle is left): objects are destroyed by the
// hundred thousand, and most of them never had a handle, so they pass by
// without the lock and the table. A set bit only means "look".
constexpr int kFilterBits = 1 << 20;
std::array<std::atomic<quint64>, kFilterBits / 64> g_filter{};

size_t FilterBit(const Persistent* object) {
  const auto bits = reinterpret_cast<quintptr>(object);
  // Objects sit at least 8 bytes apart; the multiplier spreads the rest.
  return static_cast<size_t>(((bits >> 3) * 0x9E3779B97F4A7C15ull) >> 44) % kFilterBits;
}

bool MayHaveHandle(const Persistent* object) {
  const size_t bit = FilterBit(object);
  return (g_filter[bit / 64].load(std::memory_order_relaxed) >> (bit % 64)) & 1;
}

void MarkHandle(const Persistent* object) {
  const size_t bit = FilterBit(object);
  g_filter[bit / 64].fetch_or(quint64{1} << (bit % 64), std::memory_order_relaxed);
}

}  // namespace

qint64 ObjectHandle(Persistent* object) {
  if (!object) return 0;
  HandleTable& t = Table();
  std::lock_guard guard(t.lock);
  auto it = t.handles.constFind(object);
  if (it != t.handles.constEnd()) return *it;
  const qint64 handle = t.next++;
  MarkHandle(object);
  ++t.marked;
  t.handles.insert(object, handle);
  t.objects.insert(handle, object);
  g_live.fetch_add(1, std::memory_order_relaxed);
  return handle;
}

Persistent* ObjectFromHandle(qint64 handle) {
  if (handle <= 0) return nullptr;
  HandleTable& t = Table();
  std::lock_guard guard(t.lock);
  return t.objects.value(handle, nullptr);
}

qint64 LiveObjectHandles() { return g_live.load(std::memory_order_relaxed); }

namespace internal {

void ForgetObjectHandle(const Persistent* object) {
  if (g_live.load(std::memory_order_relaxed) == 0 || !MayHaveHandle(object)) return;
  HandleTable& t = Table();
  std::lock_guard guard(t.lock);
  auto it = t.handles.find(object);
  if (it == t.handles.end()) return;
  t.objects.remove(*it);
  t.handles.erase(it);
  // With no handle left every bit is stale. Emptying the filter costs a
  // pass over it, so only after enough handles were given out since.
  if (g_live.fetch_sub(1, std::memory_order_relaxed) == 1 && t.marked > 4096) {
    for (auto& word : g_filter) word.store(0, std::memory_order_relaxed);
    t.marked = 0;
  }
}

}  // namespace internal
}  // namespace ovx
