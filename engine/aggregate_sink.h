// What the engine tells the report's aggregates while it runs.
//
// The engine calls these at fixed points of a run; aggregate functions
// (sums, counts over data bands) plug in here. This base does nothing, so a
// run without aggregates costs no more than the calls.
#pragma once

#include "report/model/view.h"

class TovxBand;
class TovxDataBand;

namespace ovx {

class AggregateSink {
 public:
  virtual ~AggregateSink() = default;
  // At the start of a run and of each pass.
  virtual void Clear() {}
  // After a data band was shown: take the values of its row.
  virtual void AddValue(TovxDataBand& /*band*/) {}
  // After a band was shown: reset the totals that end with it.
  virtual void Reset(TovxBand& /*band*/) {}
  // Keeping: remember the values, give them back, or forget the snapshot.
  virtual void TakeSnapshot() {}
  virtual void RestoreSnapshot() {}
  virtual void DropSnapshot() {}
  // Objects whose evaluation waits for a point of the run (Processing).
  virtual void Notify(TovxProcessAtMode /*mode*/, TovxBand* /*band*/) {}
};

}  // namespace ovx
