// The published engine state (see custom_engine.h).
#include "engine/custom_engine.h"

#include "base/class_builder.h"

#include <QVariant>

const ovx::MetaClass& TovxCustomEngine::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxCustomEngine;
    ovx::ClassBuilder<C> b("TovxCustomEngine", nullptr);
    b.Integer("CurColumn", &C::CurColumn, nullptr);
    b.Integer("CurVColumn", &C::CurVColumn, nullptr);
    b.Float("CurX", &C::CurX, &C::SetCurX);
    b.Float("CurY", &C::CurY, &C::SetCurY);
    b.Bool("DoublePass", &C::DoublePass, nullptr);
    b.Bool("FinalPass", &C::FinalPass, nullptr);
    b.Float("PageHeight", &C::PageHeight, nullptr);
    b.Float("PageWidth", &C::PageWidth, nullptr);
    b.Variant(
        "StartDate", [](const C& c) { return QVariant(c.StartDate()); }, nullptr);
    b.Variant(
        "StartTime", [](const C& c) { return QVariant(c.StartTime()); }, nullptr);
    b.Integer("TotalPages", &C::TotalPages, nullptr);
    b.Bool("SecondScriptCall", &C::SecondScriptCall, nullptr);
    b.Integer("CurLine", &C::CurLine, nullptr);
    b.Integer("CurLineThrough", &C::CurLineThrough, nullptr);
    return b.Build();
  }();
  return meta;
}
