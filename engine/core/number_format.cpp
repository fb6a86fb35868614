#include "engine/core/number_format.h"

#include "engine/core/ascii.h"
#include "engine/core/number_format_parts.h"

namespace corvane {

using namespace numfmt;

namespace {

bool Holds(Op op, double bound, double v) {
  switch (op) {
    case Op::Lt: return v < bound;
    case Op::Le: return v <= bound;
    case Op::Gt: return v > bound;
    case Op::Ge: return v >= bound;
    case Op::Eq: return v == bound;
    case Op::Ne: return v != bound;
    case Op::None: break;
  }
  return true;
}

}  // namespace


Separators::Separators(std::string_view decimal, std::string_view group) {
  decimalLen_ = static_cast<uint8_t>(std::min(decimal.size(), sizeof decimal_));
  std::memcpy(decimal_, decimal.data(), decimalLen_);
  groupLen_ = static_cast<uint8_t>(std::min(group.size(), sizeof group_));
  std::memcpy(group_, group.data(), groupLen_);
}

struct NumberFormat::Program {
  std::string pool;               // literal text of every section
  std::vector<Section> sections;  // the number sections: positive, negative, zero
  Section text;                   // the text section, when hasText
  bool hasText = false;
  bool conditional = false;       // the first or second section has a [>100]-style condition
  bool showsDate = false;         // a number section shows a year, a month or a day

  bool Build(std::string_view code) {
    std::array<std::string_view, 4> parts;
    size_t count = 0;
    if (!SplitSections(code, parts, count)) return false;
    Kind lastKind = ScanKind(parts[count - 1]);
    if (count == 4 || lastKind == Kind::Text) {
      hasText = true;
      --count;
      if (!CompileSection(pool, parts[count], Kind::Text, text)) return false;
    }
    sections.resize(count);
    for (size_t i = 0; i < count; ++i)
      if (!CompileSection(pool, parts[i], ScanKind(parts[i]), sections[i])) return false;
    conditional = (!sections.empty() && sections[0].op != Op::None) ||
                  (sections.size() > 1 && sections[1].op != Op::None);
    for (const Section& sec : sections) {
      if (sec.kind != Kind::Date) continue;
      for (const Token& t : sec.toks)
        showsDate = showsDate || t.kind == Tok::Year || t.kind == Tok::Month || t.kind == Tok::Day;
    }
    return true;
  }
};

NumberFormat::NumberFormat(std::string_view code) {
  static const std::shared_ptr<const Program> general = [] {
    auto p = std::make_shared<Program>();
    p->Build("General");
    return p;
  }();
  if (code.empty() || EqualsNoCase(code, "general")) {
    program_ = general;
    return;
  }
  auto p = std::make_shared<Program>();
  if (!p->Build(code)) {
    program_ = general;
    return;
  }
  program_ = std::move(p);
}

bool NumberFormat::IsDateTime() const {
  return !program_->sections.empty() && program_->sections[0].kind == Kind::Date;
}

bool NumberFormat::ShowsDate() const { return program_->showsDate; }

bool IsDateFormat(std::string_view code) { return NumberFormat(code).ShowsDate(); }

RenderedValue NumberFormat::Number(double v, bool date1904, const Separators& separators) const {
  RenderedValue r;
  r.align = Align::Right;
  if (!std::isfinite(v)) {
    r.text = "#NUM!";
    return r;
  }
  const Program& p = *program_;
  Out o(separators);
  const auto& s = p.sections;
  double a = std::fabs(v);
  bool negative = v < 0;

  const Section* sec = nullptr;
  if (s.empty()) {
    if (negative) o.Put('-');
    PutGeneral(o, a, negative);
    r.text = o.Take();
    return r;
  }
  if (!p.conditional) {
    if (s.size() == 1 || v > 0 || (v == 0 && s.size() == 2)) {
      sec = &s[0];
    } else if (v < 0) {
      sec = &s[1];
      negative = false;  // the negative section writes its own sign, if any
    } else {
      sec = &s[2];
    }
  } else {
    // [>100] style: the first section whose condition holds; a section without
    // one takes what the others leave.
    bool t0 = s[0].op != Op::None ? Holds(s[0].op, s[0].bound, v) : (s.size() >= 3 ? v > 0 : v >= 0);
    bool strip = false;
    if (t0) {
      sec = &s[0];
    } else if (s.size() >= 2 &&
               (s[1].op != Op::None ? Holds(s[1].op, s[1].bound, v) : (s.size() >= 3 ? v < 0 : true))) {
      sec = &s[1];
      strip = s[1].op == Op::None && s.size() >= 3;
    } else if (s.size() >= 3) {
      sec = &s[2];
    }
    if (!sec) {  // no condition holds: the number as General shows it
      if (negative) o.Put('-');
      PutGeneral(o, a, negative);
      r.text = o.Take();
      return r;
    }
    // A section that only ever sees negative numbers writes its own sign.
    if ((sec->op == Op::Lt || sec->op == Op::Le) && sec->bound <= 0) strip = true;
    if (strip) negative = false;
  }

  switch (sec->kind) {
    case Kind::Number: RenderFixed(o, *sec, p.pool, a, negative); break;
    case Kind::Scientific: RenderScientific(o, *sec, p.pool, a, negative); break;
    case Kind::Fraction: RenderFraction(o, *sec, p.pool, a, negative); break;
    case Kind::Date: RenderDate(o, *sec, p.pool, a, negative, date1904); break;
    case Kind::Text: RenderTextForNumber(o, *sec, p.pool, a, negative); break;
  }
  r.text = o.Take();
  r.color = sec->color;
  return r;
}

RenderedValue NumberFormat::Text(std::string_view s) const {
  RenderedValue r;
  r.align = Align::Left;
  const Program& p = *program_;
  if (!p.hasText) {
    r.text.assign(s);
    return r;
  }
  static const Separators kNone;  // text shows no number
  Out o(kNone);
  RenderText(o, p.text, p.pool, s);
  r.text = o.Take();
  r.color = p.text.color;
  return r;
}

RenderedValue RenderBool(bool b) {
  RenderedValue r;
  r.text = b ? "TRUE" : "FALSE";
  r.align = Align::Center;
  return r;
}

RenderedValue RenderError(std::string_view e) {
  RenderedValue r;
  r.text.assign(e);
  r.align = Align::Center;
  return r;
}

}  // namespace corvane
