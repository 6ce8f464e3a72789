#include "base/object_handle.h"

#include <QHash>
#include <QRandomGenerator>

#include <atomic>
#include <mutex>

namespace ovx {
namespace {

struct HandleTable {
  std::mutex lock;
  QHash<qint64, Persistent*> objects;
  QHash<const Persistent*, qint64> handles;
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

}  // namespace

qint64 ObjectHandle(Persistent* object) {
  if (!object) return 0;
  HandleTable& t = Table();
  std::lock_guard guard(t.lock);
  auto it = t.handles.constFind(object);
  if (it != t.handles.constEnd()) return *it;
  const qint64 handle = t.next++;
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
  if (g_live.load(std::memory_order_relaxed) == 0) return;
  HandleTable& t = Table();
  std::lock_guard guard(t.lock);
  auto it = t.handles.find(object);
  if (it == t.handles.end()) return;
  t.objects.remove(*it);
  t.handles.erase(it);
  g_live.fetch_sub(1, std::memory_order_relaxed);
}

}  // namespace internal
}  // namespace ovx
