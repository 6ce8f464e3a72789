// The engine state that scripts and expressions read, published through
// the property metadata under the engine's script name.
#pragma once

#include "base/meta_class.h"

#include <QDate>
#include <QTime>

class TovxCustomEngine : public ovx::Persistent {
  OVX_META_CLASS

 public:
  // Columns from 1; CurVColumn counts vertical data band cells of a row.
  virtual int CurColumn() const = 0;
  virtual int CurVColumn() const = 0;
  // Report units from the printable area's corner.
  // Scripts may move the position; it must stay a finite number.
  virtual double CurX() const = 0;
  virtual void SetCurX(double x) = 0;
  virtual double CurY() const = 0;
  virtual void SetCurY(double y) = 0;
  virtual bool DoublePass() const = 0;
  virtual bool FinalPass() const = 0;
  virtual double PageHeight() const = 0;
  virtual double PageWidth() const = 0;
  virtual QDate StartDate() const = 0;
  virtual QTime StartTime() const = 0;
  // 0 in the first pass of a double-pass run.
  virtual int TotalPages() const = 0;
  // While a band's events run again before it moves to a new page.
  virtual bool SecondScriptCall() const = 0;
  // The line of the band being shown in its data band or group.
  virtual int CurLine() const = 0;
  virtual int CurLineThrough() const = 0;
};
