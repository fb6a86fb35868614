#include "engine/core/iso_date.h"

#include <charconv>
#include <cstdint>

namespace corvane {

namespace {

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

class Scanner {
 public:
  explicit Scanner(std::string_view s) : s_(s) {}
  bool done() const { return i_ == s_.size(); }
  bool peek(char c) const { return i_ < s_.size() && s_[i_] == c; }
  bool peekDigit() const { return i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9'; }
  bool eat(char c) {
    if (!peek(c)) return false;
    ++i_;
    return true;
  }
  // Exactly `n` digits.
  bool digits(size_t n, int& out) {
    if (s_.size() - i_ < n) return false;
    out = 0;
    for (size_t k = 0; k < n; ++k) {
      char c = s_[i_ + k];
      if (c < '0' || c > '9') return false;
      out = out * 10 + (c - '0');
    }
    i_ += n;
    return true;
  }
  // A decimal fraction after '.' or ',' (none: 0).
  bool fraction(double& out) {
    out = 0;
    if (!eat('.') && !eat(',')) return true;
    char buf[24] = "0.";
    size_t n = 2;
    if (!peekDigit()) return false;
    while (peekDigit()) {
      if (n < sizeof buf) buf[n++] = s_[i_];
      ++i_;
    }
    return std::from_chars(buf, buf + n, out).ec == std::errc();
  }

 private:
  std::string_view s_;
  size_t i_ = 0;
};

// hh[:mm[:ss]] or hhmm[ss], a fraction on the last part, then an optional zone.
bool ReadTime(Scanner& in, bool needColon, double& seconds) {
  int h = 0, m = 0, s = 0;
  double frac = 0;
  if (!in.digits(2, h)) return false;
  bool extended = in.peek(':');
  if (needColon && !extended) return false;
  int parts = 1;
  if (extended ? in.eat(':') : in.peekDigit()) {
    if (!in.digits(2, m)) return false;
    parts = 2;
    if (extended ? in.eat(':') : in.peekDigit()) {
      if (!in.digits(2, s)) return false;
      parts = 3;
    }
  }
  if (!in.fraction(frac)) return false;
  if (h > 24 || m > 59 || s > 60) return false;
  if (h == 24 && (m != 0 || s != 0 || frac != 0)) return false;
  static constexpr double kUnit[] = {3600, 60, 1};
  seconds = h * 3600.0 + m * 60.0 + s + frac * kUnit[parts - 1];
  // The zone: the time stays as written.
  if (in.eat('Z') || in.eat('z')) return in.done();
  if (in.eat('+') || in.eat('-')) {
    int zh = 0, zm = 0;
    if (!in.digits(2, zh)) return false;
    if (in.eat(':') ? !in.digits(2, zm) : (in.peekDigit() && !in.digits(2, zm))) return false;
    if (zh > 14 || zm > 59) return false;
  }
  return in.done();
}

}  // namespace

bool IsoDateToSerial(std::string_view iso, bool date1904, double& serial) {
  while (!iso.empty() && (iso.front() == ' ' || iso.front() == '\t' || iso.front() == '\n' || iso.front() == '\r'))
    iso.remove_prefix(1);
  while (!iso.empty() && (iso.back() == ' ' || iso.back() == '\t' || iso.back() == '\n' || iso.back() == '\r'))
    iso.remove_suffix(1);
  Scanner in(iso);
  double seconds = 0;
  // A time of day alone: "T10:30", "T1030", "10:30:00".
  if (in.eat('T') || in.eat('t')) {
    if (!ReadTime(in, false, seconds)) return false;
    serial = seconds / 86400;
    return true;
  }
  if (iso.size() >= 3 && iso[2] == ':') {
    if (!ReadTime(in, true, seconds)) return false;
    serial = seconds / 86400;
    return true;
  }
  int y = 0, mo = 0, d = 0;
  if (!in.digits(4, y)) return false;
  bool extended = in.eat('-');
  if (!in.digits(2, mo) || (extended && !in.eat('-')) || !in.digits(2, d)) return false;
  static constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (mo < 1 || mo > 12 || d < 1 || d > kMonthDays[mo - 1] + (mo == 2 && IsLeap(y))) return false;
  if (!in.done()) {
    if (!in.eat('T') && !in.eat('t') && !in.eat(' ')) return false;
    if (!ReadTime(in, false, seconds)) return false;
  }
  int64_t days = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) - DaysFromCivil(1899, 12, 30);
  // The 1900 system counts a 29 February 1900 that never was: days before it are one less.
  // Its day 0 ("1900-01-00"), which times of day stand on, is written as 30 December 1899
  // (the day 0 of other programs) or 31 December 1899.
  if (days < 61) days -= 1;
  if (date1904) days -= kDays1900To1904;
  else if (days == -1) days = 0;
  if (days < 0) return false;
  serial = static_cast<double>(days) + seconds / 86400;
  return true;
}

}  // namespace corvane
