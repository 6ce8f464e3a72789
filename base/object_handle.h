// Integers that stand for live objects outside C++ (script values).
//
// A script must never hold an address: templates are outside input, and
// objects go away while a script still knows them (prepared pages leave
// the page cache, the designer deletes objects). An object gets a handle
// the first time one is asked for; the handle dies with the object and is
// never given out again, so a stale or made-up handle finds nothing.
// Numbers start at a random point above 2^24 and stay below 2^31 for the
// first two billion objects.
//
// The table is process-wide and locked. A pointer it answers stays good
// only as long as the thread that owns the object destroys nothing.
#pragma once

#include <QtGlobal>

namespace ovx {

class Persistent;

// 0 for null.
qint64 ObjectHandle(Persistent* object);
// Null for 0, a handle never given, or one whose object is gone.
Persistent* ObjectFromHandle(qint64 handle);
// The number of objects that have a handle now.
qint64 LiveObjectHandles();

namespace internal {
// Called by ~Persistent.
void ForgetObjectHandle(const Persistent* object);
}  // namespace internal

}  // namespace ovx
