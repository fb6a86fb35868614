#include "engine/save_speedups.h"

#include <dlfcn.h>
#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace corvane {
namespace {

constexpr int kDeflateLevel = 2;  // nearly four times faster than 6, files about a quarter bigger
thread_local int tDepth = 0;

bool Scan(const char* fmt) {
  for (const char* p = std::strchr(fmt, '%'); p; p = std::strchr(p, '%')) {
    if (p[1] == 's' || p[1] == 'd' || p[1] == '%') {
      p += 2;
    } else if (std::strncmp(p + 1, ".16G", 4) == 0) {
      p += 5;
    } else {
      return false;
    }
  }
  return true;
}

// libxlsxwriter uses a few dozen format literals over and over: remember the verdict on each.
bool Supported(const char* fmt) {
  struct Seen {
    const char* fmt;
    bool ok;
  };
  thread_local Seen seen[64] = {};
  Seen& slot = seen[(reinterpret_cast<uintptr_t>(fmt) >> 3) % 64];
  if (slot.fmt != fmt) slot = {fmt, Scan(fmt)};
  return slot.ok;
}

// Raises the letters of what to_chars wrote ("1e+20" -> "1E+20", "inf" -> "INF").
size_t Raised(char* buf, std::to_chars_result res) {
  size_t n = static_cast<size_t>(res.ptr - buf);
  for (size_t i = 0; i < n; ++i)
    if (buf[i] >= 'a' && buf[i] <= 'z') buf[i] = static_cast<char>(buf[i] - 'a' + 'A');
  return n;
}

constexpr uint64_t kPow10[] = {1ull, 10ull, 100ull, 1000ull, 10000ull, 100000ull, 1000000ull,
                               10000000ull, 100000000ull, 1000000000ull, 10000000000ull,
                               100000000000ull, 1000000000000ull, 10000000000000ull,
                               100000000000000ull, 1000000000000000ull, 10000000000000000ull,
                               100000000000000000ull, 1000000000000000000ull,
                               10000000000000000000ull};

// |v| = mant * 2^exp2 times 10^(15 - e), exactly: its whole part, and whether printf's rounding
// (to nearest, ties to even) takes it one up.
struct Scaled {
  uint64_t whole;
  bool up;
};
Scaled ScaleTo16(uint64_t mant, int exp2, int e) {
  using u128 = unsigned __int128;
  u128 p = static_cast<u128>(mant) * kPow10[15 - e];  // 15 - e is 0..19
  int shift = -exp2;                                  // 1..75 for the values that come here
  u128 q = p >> shift;
  u128 rem = p - (q << shift);
  u128 half = static_cast<u128>(1) << (shift - 1);
  return {static_cast<uint64_t>(q), rem > half || (rem == half && (q & 1))};
}

// "%.16G": 16 significant digits, trailing zeros dropped, and an exponent (of at least two
// digits) when the decimal exponent is below -4 or above 15. Whole numbers and plain decimals
// are worked out here exactly; the rest goes to to_chars, which follows printf's rules for a
// given precision but is slower.
size_t FormatG16(char* buf, size_t size, double v) {
  if (v > -1e16 && v < 1e16) {
    auto whole = static_cast<long long>(v);
    if (static_cast<double>(whole) == v && !(whole == 0 && std::signbit(v)))
      return static_cast<size_t>(std::to_chars(buf, buf + size, whole).ptr - buf);
  }
  double a = std::fabs(v);
  if (!(a >= 1e-4 && a < 1e15) || size < 32)
    return Raised(buf, std::to_chars(buf, buf + size, v, std::chars_format::general, 16));

  int exp2;
  double frac = std::frexp(a, &exp2);  // a = frac * 2^exp2, 0.5 <= frac < 1
  auto mant = static_cast<uint64_t>(std::ldexp(frac, 53));
  exp2 -= 53;
  // The decimal exponent from the exact value: log10 may be one off near a power of ten.
  int e = static_cast<int>(std::floor(std::log10(a)));
  Scaled sc{};
  for (int tries = 0;; ++tries) {
    if (e < -4 || e > 15 || tries == 3)
      return Raised(buf, std::to_chars(buf, buf + size, v, std::chars_format::general, 16));
    sc = ScaleTo16(mant, exp2, e);
    if (sc.whole >= kPow10[16]) {
      ++e;
    } else if (sc.whole < kPow10[15]) {
      --e;
    } else {
      break;
    }
  }
  uint64_t digits = sc.whole + sc.up;
  if (digits == kPow10[16]) {  // 9999999999999999.5 and the like round up to the next power
    digits = kPow10[15];
    if (++e > 15)
      return Raised(buf, std::to_chars(buf, buf + size, v, std::chars_format::general, 16));
  }

  char d[16];
  for (int i = 15; i >= 0; --i, digits /= 10) d[i] = static_cast<char>('0' + digits % 10);
  int last = 15;
  while (last > 0 && d[last] == '0') --last;  // trailing zeros go
  char* out = buf;
  if (v < 0) *out++ = '-';
  if (e >= 0) {
    for (int i = 0; i <= e; ++i) *out++ = d[i];
    if (last > e) {
      *out++ = '.';
      for (int i = e + 1; i <= last; ++i) *out++ = d[i];
    }
  } else {
    *out++ = '0';
    *out++ = '.';
    for (int i = 0; i < -e - 1; ++i) *out++ = '0';
    for (int i = 0; i <= last; ++i) *out++ = d[i];
  }
  return static_cast<size_t>(out - buf);
}

// Output gathered in one buffer and handed to the stream in one piece, or, without a stream,
// copied into the caller's buffer as snprintf does: cut to fit, counted in full.
class Out {
 public:
  explicit Out(FILE* f) : f_(f) {}
  Out(char* dst, size_t size) : dst_(dst), size_(size) {}
  void put(const char* s, size_t n) {
    if (n > sizeof buf_ - len_) {
      flush();
      if (n > sizeof buf_) {
        write(s, n);
        return;
      }
    }
    std::memcpy(buf_ + len_, s, n);
    len_ += n;
  }
  char* room(size_t n) {
    if (n > sizeof buf_ - len_) flush();
    return buf_ + len_;
  }
  void commit(size_t n) { len_ += n; }
  int finish() {
    flush();
    if (dst_ && size_) dst_[std::min(total_, size_ - 1)] = '\0';
    return failed_ ? -1 : static_cast<int>(total_);
  }

 private:
  void flush() {
    write(buf_, len_);
    len_ = 0;
  }
  void write(const char* s, size_t n) {
    if (f_) {
      if (n && fwrite_unlocked(s, 1, n, f_) != n) failed_ = true;
    } else if (size_ && total_ < size_ - 1) {
      std::memcpy(dst_ + total_, s, std::min(n, size_ - 1 - total_));
    }
    total_ += n;
  }
  FILE* f_ = nullptr;
  char* dst_ = nullptr;
  size_t size_ = 0;
  char buf_[512];
  size_t len_ = 0, total_ = 0;
  bool failed_ = false;
};

}  // namespace

SaveSpeedups::SaveSpeedups() { ++tDepth; }
SaveSpeedups::~SaveSpeedups() { --tDepth; }

namespace {

void Format(Out& o, const char* fmt, va_list ap) {
  const char* p = fmt;
  while (*p) {
    const char* pct = std::strchr(p, '%');
    if (!pct) {
      o.put(p, std::strlen(p));
      break;
    }
    o.put(p, static_cast<size_t>(pct - p));
    switch (pct[1]) {
      case '%':
        o.put("%", 1);
        p = pct + 2;
        break;
      case 's': {
        const char* s = va_arg(ap, const char*);
        if (!s) s = "(null)";
        o.put(s, std::strlen(s));
        p = pct + 2;
        break;
      }
      case 'd': {
        char* at = o.room(16);
        o.commit(static_cast<size_t>(std::to_chars(at, at + 16, va_arg(ap, int)).ptr - at));
        p = pct + 2;
        break;
      }
      default: {  // ".16G", as Supported() made sure
        char* at = o.room(48);
        o.commit(FormatG16(at, 48, va_arg(ap, double)));
        p = pct + 5;
        break;
      }
    }
  }
}

}  // namespace

int FormatSimple(FILE* out, const char* fmt, va_list args) {
  if (!Supported(fmt)) return -1;
  va_list ap;
  va_copy(ap, args);
  flockfile(out);
  Out o(out);
  Format(o, fmt, ap);
  int n = o.finish();
  funlockfile(out);
  va_end(ap);
  return n;
}

int FormatSimple(char* dst, size_t size, const char* fmt, va_list args) {
  if (!Supported(fmt)) return -1;
  va_list ap;
  va_copy(ap, args);
  Out o(dst, size);
  Format(o, fmt, ap);
  va_end(ap);
  return o.finish();
}

}  // namespace corvane

extern "C" int __vfprintf_chk(FILE* out, int flag, const char* fmt, va_list ap);

// The C library's fortified fprintf, which is what libxlsxwriter calls.
extern "C" int __fprintf_chk(FILE* out, int flag, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int n = corvane::tDepth > 0 && corvane::Supported(fmt) ? corvane::FormatSimple(out, fmt, ap)
                                                         : __vfprintf_chk(out, flag, fmt, ap);
  va_end(ap);
  return n;
}

// snprintf: libxlsxwriter writes every cell's row number with it.
extern "C" int snprintf(char* dst, size_t size, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int n = corvane::tDepth > 0 && corvane::Supported(fmt) ? corvane::FormatSimple(dst, size, fmt, ap)
                                                         : vsnprintf(dst, size, fmt, ap);
  va_end(ap);
  return n;
}

extern "C" int deflateInit2_(z_streamp strm, int level, int method, int windowBits, int memLevel,
                             int strategy, const char* version, int streamSize) {
  using Init = int (*)(z_streamp, int, int, int, int, int, const char*, int);
  static const Init zlibInit = reinterpret_cast<Init>(dlsym(RTLD_NEXT, "deflateInit2_"));
  if (!zlibInit) return Z_VERSION_ERROR;
  if (corvane::tDepth > 0) level = corvane::kDeflateLevel;
  return zlibInit(strm, level, method, windowBits, memLevel, strategy, version, streamSize);
}
