#include "engine/core/sheet_builder.h"

#include <algorithm>
#include <new>

namespace corvane {

namespace {

// Cells the stored dimension may make room for at once (a guess, not a limit).
constexpr uint64_t kMaxReservedCells = uint64_t(1) << 24;

}  // namespace

void SheetBuilder::reserve(uint64_t cells) {
  if (!d_.cells.empty()) return;
  try {
    d_.cells.reserve(static_cast<size_t>(std::min(cells, kMaxReservedCells)));
  } catch (const std::bad_alloc&) {
    // Only a guess: the array grows as the cells come.
  }
}

Cell SheetBuilder::formula(Formula f, const CachedResult& result) {
  if (result.kind == CachedKind::String) f.cachedString.assign(result.text);
  if (result.kind == CachedKind::Error) f.cachedError = static_cast<uint8_t>(result.error);
  auto index = static_cast<uint32_t>(d_.formulas.size());
  d_.formulas.push_back(std::move(f));
  bool numeric = result.kind == CachedKind::Number || result.kind == CachedKind::Bool;
  return Cell::FormulaValue(index, result.kind, numeric ? result.number : 0);
}

Cell SheetBuilder::value(const CachedResult& result) {
  switch (result.kind) {
    case CachedKind::Number: return Cell::NumberValue(result.number);
    case CachedKind::Bool: return Cell::BoolValue(result.number != 0);
    case CachedKind::Error: return Cell::ErrorValue(result.error);
    case CachedKind::String: return ownString(result.text);
    case CachedKind::None: break;
  }
  return Cell::BlankValue();
}

void SheetBuilder::toFormula(size_t i, Formula f) {
  const Cell c = d_.cells[i];
  CachedResult r;
  switch (c.type) {
    case CellType::Number: r = {CachedKind::Number, c.number(), ErrorCode::NA, {}}; break;
    case CellType::Bool: r = {CachedKind::Bool, c.number(), ErrorCode::NA, {}}; break;
    case CellType::Error: r.kind = CachedKind::Error, r.error = c.error(); break;
    case CellType::String: r.kind = CachedKind::String, r.text = d_.str(c); break;
    default: break;
  }
  Cell fc = formula(std::move(f), r);
  d_.cells[i] = fc.place(static_cast<int32_t>(c.row), c.col, c.style);
}

void SheetBuilder::toValue(size_t i) {
  Cell& c = d_.cells[i];
  c = CachedResultCell(c, d_.formula(c), [&](std::string_view text) { return d_.strings.add(text); });
  if (c.type == CellType::Blank && c.style == 0) dropBlanks_ = true;
}

void SheetBuilder::finish() {
  if (dropBlanks_)
    std::erase_if(d_.cells, [](const Cell& c) { return c.type == CellType::Blank && c.style == 0; });
  d_.finishLoading();
}

}  // namespace corvane
