#include "base/OVDateUtil.h"

#include <sys/time.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <mutex>

#include "common/OVError.h"
#include "base/OVStrUtil.h"

namespace ov {

namespace {

const int32_t kMonthDays[2][12] = {{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                   {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};

// Days from 0001-01-01 (day 1) to the given date.
int64_t DateToDays(int32_t y, int32_t m, int32_t d) {
  const int32_t* md = kMonthDays[IsLeapYear(y) ? 1 : 0];
  int64_t days = d;
  for (int32_t i = 0; i < m - 1; ++i) days += md[i];
  int64_t yy = y - 1;
  days += yy * 365 + yy / 4 - yy / 100 + yy / 400;
  return days;
}

void DaysToDate(int64_t days, int32_t& y, int32_t& m, int32_t& d) {
  // days counts 0001-01-01 as 1.
  const int64_t d400 = 146097, d100 = 36524, d4 = 1461;
  int64_t t = days - 1;
  int64_t year = 1;
  year += 400 * (t / d400);
  t %= d400;
  int64_t i = t / d100;
  if (i == 4) i = 3;
  year += 100 * i;
  t -= i * d100;
  year += 4 * (t / d4);
  t %= d4;
  i = t / 365;
  if (i == 4) i = 3;
  year += i;
  t -= i * 365;
  y = static_cast<int32_t>(year);
  const int32_t* md = kMonthDays[IsLeapYear(y) ? 1 : 0];
  m = 1;
  while (t >= md[m - 1]) {
    t -= md[m - 1];
    ++m;
  }
  d = static_cast<int32_t>(t + 1);
}

class TSystemClock : public IClock {
 public:
  TDateTime Now() override {
    struct timeval tv{};
    gettimeofday(&tv, nullptr);
    return UnixMsToLocal(static_cast<int64_t>(tv.tv_sec) * 1000 + tv.tv_usec / 1000);
  }
};

std::mutex gClockLock;
std::shared_ptr<IClock> gClockOverride;
TSystemClock gSystemClock;

}  // namespace

bool IsLeapYear(int32_t y) { return (y % 4 == 0) && ((y % 100 != 0) || (y % 400 == 0)); }

int32_t DaysInMonth(int32_t y, int32_t m) {
  if (m < 1 || m > 12) return 0;
  return kMonthDays[IsLeapYear(y) ? 1 : 0][m - 1];
}

bool TryEncodeDateTime(int32_t y, int32_t m, int32_t d, int32_t h, int32_t n, int32_t s,
                       int32_t ms, TDateTime& aResult) {
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) return false;
  if (h < 0 || h > 23 || n < 0 || n > 59 || s < 0 || s > 59 || ms < 0 || ms > 999) return false;
  int64_t days = DateToDays(y, m, d) - kDateDelta;
  double frac = (static_cast<double>(h) * 3600000.0 + n * 60000.0 + s * 1000.0 + ms) /
                static_cast<double>(kMSecsPerDay);
  // Before the epoch the fraction counts forward from the (negative) day, as the format keeps it.
  aResult = days >= 0 ? static_cast<double>(days) + frac : static_cast<double>(days) - frac;
  return true;
}

TDateTime EncodeDateTime(int32_t y, int32_t m, int32_t d, int32_t h, int32_t n, int32_t s,
                         int32_t ms) {
  TDateTime r = 0;
  if (!TryEncodeDateTime(y, m, d, h, n, s, ms, r)) {
    throw Error("Invalid argument to date encode");
  }
  return r;
}

void DateTimeToTimeStamp(TDateTime aDate, int64_t& aDays, int64_t& aMSecs) {
  auto total = static_cast<int64_t>(std::llround(aDate * static_cast<double>(kMSecsPerDay)));
  aDays = kDateDelta + total / kMSecsPerDay;
  aMSecs = (total < 0 ? -total : total) % kMSecsPerDay;
}

TDateTime TimeStampToDateTime(int64_t aDays, int64_t aMSecs) {
  int64_t days = aDays - kDateDelta;
  double frac = static_cast<double>(aMSecs) / static_cast<double>(kMSecsPerDay);
  return days >= 0 ? static_cast<double>(days) + frac : static_cast<double>(days) - frac;
}

TDateParts DecodeDateTime(TDateTime aDate) {
  TDateParts p;
  int64_t days = 0, ms = 0;
  DateTimeToTimeStamp(aDate, days, ms);
  if (days < 1) days = 1;
  DaysToDate(days, p.Year, p.Month, p.Day);
  p.Hour = static_cast<int32_t>(ms / 3600000);
  p.Minute = static_cast<int32_t>(ms / 60000 % 60);
  p.Second = static_cast<int32_t>(ms / 1000 % 60);
  p.MSec = static_cast<int32_t>(ms % 1000);
  p.DayOfWeek = static_cast<int32_t>(days % 7) + 1;  // day 1 (0001-01-01) was a Monday
  return p;
}

TDateTime UnixMsToLocal(int64_t aUnixMs) {
  int64_t secs = aUnixMs >= 0 ? aUnixMs / 1000 : -((-aUnixMs + 999) / 1000);
  int64_t ms = aUnixMs - secs * 1000;
  time_t t = static_cast<time_t>(secs);
  struct tm lt{};
  if (!localtime_r(&t, &lt)) return 0;
  TDateTime r = 0;
  if (!TryEncodeDateTime(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday, lt.tm_hour, lt.tm_min,
                         lt.tm_sec > 59 ? 59 : lt.tm_sec, static_cast<int32_t>(ms), r)) {
    return 0;
  }
  return r;
}

bool LocalToUnixMs(TDateTime aLocal, int64_t& aUnixMs) {
  TDateParts p = DecodeDateTime(aLocal);
  struct tm lt{};
  lt.tm_year = p.Year - 1900;
  lt.tm_mon = p.Month - 1;
  lt.tm_mday = p.Day;
  lt.tm_hour = p.Hour;
  lt.tm_min = p.Minute;
  lt.tm_sec = p.Second;
  lt.tm_isdst = -1;
  errno = 0;
  time_t t = mktime(&lt);
  if (t == static_cast<time_t>(-1) && errno != 0) return false;
  aUnixMs = static_cast<int64_t>(t) * 1000 + p.MSec;
  return true;
}

IClock& Clock() {
  std::lock_guard<std::mutex> g(gClockLock);
  if (gClockOverride) return *gClockOverride;
  return gSystemClock;
}

std::shared_ptr<IClock> SetClock(std::shared_ptr<IClock> aClock) {
  std::lock_guard<std::mutex> g(gClockLock);
  std::shared_ptr<IClock> old = std::move(gClockOverride);
  gClockOverride = std::move(aClock);
  return old;
}

TFormatSettings& FormatSettings() {
  static TFormatSettings settings;
  return settings;
}

namespace {

const char* const kShortMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kLongMonths[] = {"January", "February", "March",     "April",
                                   "May",     "June",     "July",      "August",
                                   "September", "October", "November", "December"};
const char* const kShortDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kLongDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};

void AppendNum(std::string& out, int64_t v, int digits) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*lld", digits, static_cast<long long>(v));
  out += buf;
}

bool HasAmPm(std::string_view f) {
  for (size_t i = 0; i < f.size(); ++i) {
    char c = f[i];
    if (c == '"' || c == '\'') {
      size_t e = f.find(c, i + 1);
      if (e == std::string_view::npos) return false;
      i = e;
      continue;
    }
    if (str::StartsText("am/pm", f.substr(i)) || str::StartsText("a/p", f.substr(i)) ||
        str::StartsText("ampm", f.substr(i))) {
      return true;
    }
  }
  return false;
}

void Format(std::string& out, std::string_view f, const TDateParts& p,
            const TFormatSettings& fs, int depth) {
  if (depth > 2) return;  // the settings' own formats may not recurse further
  const bool twelve = HasAmPm(f);
  char lastToken = ' ';
  size_t i = 0;
  while (i < f.size()) {
    char c = f[i];
    char token = str::UpperChar(c);
    if (token >= 'A' && token <= 'Z') {
      if (token == 'M' && lastToken == 'H') token = 'N';
      lastToken = token;
    }
    auto run = [&](char ch) {
      size_t n = 0;
      while (i + n < f.size() && str::LowerChar(f[i + n]) == ch) ++n;
      return n;
    };
    switch (token) {
      case 'Y': {
        size_t n = run('y');
        i += n;
        if (n <= 2) {
          AppendNum(out, p.Year % 100, 2);
        } else {
          AppendNum(out, p.Year, 4);
        }
        break;
      }
      case 'M': {
        size_t n = run('m');
        i += n;
        if (n == 1) {
          AppendNum(out, p.Month, 1);
        } else if (n == 2) {
          AppendNum(out, p.Month, 2);
        } else if (n == 3) {
          out += kShortMonths[p.Month - 1];
        } else {
          out += kLongMonths[p.Month - 1];
        }
        break;
      }
      case 'N': {
        size_t n = run(str::LowerChar(c));
        i += n;
        AppendNum(out, p.Minute, n >= 2 ? 2 : 1);
        break;
      }
      case 'D': {
        size_t n = run('d');
        i += n;
        if (n == 1) {
          AppendNum(out, p.Day, 1);
        } else if (n == 2) {
          AppendNum(out, p.Day, 2);
        } else if (n == 3) {
          out += kShortDays[p.DayOfWeek - 1];
        } else if (n == 4) {
          out += kLongDays[p.DayOfWeek - 1];
        } else if (n == 5) {
          Format(out, fs.ShortDateFormat, p, fs, depth + 1);
        } else {
          Format(out, fs.LongDateFormat, p, fs, depth + 1);
        }
        break;
      }
      case 'H': {
        size_t n = run('h');
        i += n;
        int32_t h = p.Hour;
        if (twelve) {
          h %= 12;
          if (h == 0) h = 12;
        }
        AppendNum(out, h, n >= 2 ? 2 : 1);
        break;
      }
      case 'S': {
        size_t n = run('s');
        i += n;
        AppendNum(out, p.Second, n >= 2 ? 2 : 1);
        break;
      }
      case 'Z': {
        size_t n = run('z');
        i += n;
        AppendNum(out, p.MSec, n >= 3 ? 3 : 1);
        break;
      }
      case 'T': {
        size_t n = run('t');
        i += n;
        Format(out, n == 1 ? fs.ShortTimeFormat : fs.LongTimeFormat, p, fs, depth + 1);
        break;
      }
      case 'C': {
        ++i;
        Format(out, fs.ShortDateFormat, p, fs, depth + 1);
        if (p.Hour || p.Minute || p.Second || p.MSec) {
          out += ' ';
          Format(out, fs.LongTimeFormat, p, fs, depth + 1);
        }
        break;
      }
      case 'A': {
        std::string_view rest = f.substr(i);
        if (str::StartsText("am/pm", rest)) {
          out += p.Hour >= 12 ? "pm" : "am";
          if (std::isupper(static_cast<unsigned char>(rest[0]))) {
            out.replace(out.size() - 2, 2, p.Hour >= 12 ? "PM" : "AM");
          }
          i += 5;
        } else if (str::StartsText("a/p", rest)) {
          char ch = p.Hour >= 12 ? 'p' : 'a';
          out += std::isupper(static_cast<unsigned char>(rest[0])) ? str::UpperChar(ch) : ch;
          i += 3;
        } else if (str::StartsText("ampm", rest)) {
          out += p.Hour >= 12 ? fs.TimePMString : fs.TimeAMString;
          i += 4;
        } else {
          out += c;
          ++i;
        }
        break;
      }
      case '"':
      case '\'': {
        size_t e = f.find(c, i + 1);
        if (e == std::string_view::npos) e = f.size();
        out.append(f.substr(i + 1, e - i - 1));
        i = e + 1;
        break;
      }
      case '/':
        out += fs.DateSeparator;
        ++i;
        break;
      case ':':
        out += fs.TimeSeparator;
        ++i;
        break;
      default:
        out += c;
        ++i;
        break;
    }
  }
}

}  // namespace

std::string FormatDateTime(std::string_view aFormat, TDateTime aDate,
                           const TFormatSettings& aSettings) {
  std::string out;
  TDateParts p = DecodeDateTime(aDate);
  Format(out, aFormat.empty() ? std::string_view("c") : aFormat, p, aSettings, 0);
  return out;
}

std::string FormatDateTime(std::string_view aFormat, TDateTime aDate) {
  return FormatDateTime(aFormat, aDate, FormatSettings());
}

std::string DateTimeToStr(TDateTime aDate, const TFormatSettings& aSettings) {
  return FormatDateTime("c", aDate, aSettings);
}

std::string DateTimeToStr(TDateTime aDate) { return DateTimeToStr(aDate, FormatSettings()); }

namespace {

struct Scanner {
  std::string_view s;
  size_t pos = 0;

  void Blanks() {
    while (pos < s.size() && s[pos] == ' ') ++pos;
  }
  bool Char(char c) {
    Blanks();
    if (pos < s.size() && s[pos] == c) {
      ++pos;
      return true;
    }
    return false;
  }
  // Reads up to `maxDigits` decimal digits; `digits` receives how many were read.
  bool Number(int32_t& v, size_t& digits, size_t maxDigits = 9) {
    Blanks();
    size_t b = pos;
    int64_t r = 0;
    while (pos < s.size() && pos - b < maxDigits && s[pos] >= '0' && s[pos] <= '9') {
      r = r * 10 + (s[pos] - '0');
      ++pos;
    }
    digits = pos - b;
    if (digits == 0) return false;
    v = static_cast<int32_t>(r);
    return true;
  }
  bool AtEnd() {
    Blanks();
    return pos >= s.size();
  }
};

enum class Order { YMD, MDY, DMY };

Order DateOrder(const std::string& fmt) {
  size_t y = str::FindText(fmt, "y", true), m = str::FindText(fmt, "m", true),
         d = str::FindText(fmt, "d", true);
  if (y != std::string::npos && (m == std::string::npos || y < m)) return Order::YMD;
  if (d != std::string::npos && m != std::string::npos && d < m) return Order::DMY;
  return Order::MDY;
}

bool ScanDate(Scanner& sc, TDateTime& out, const TFormatSettings& fs) {
  int32_t n1 = 0, n2 = 0, n3 = 0;
  size_t l1 = 0, l2 = 0, l3 = 0;
  if (!sc.Number(n1, l1, 4) || !sc.Char(fs.DateSeparator) || !sc.Number(n2, l2, 2)) {
    return false;
  }
  bool third = false;
  size_t save = sc.pos;
  if (sc.Char(fs.DateSeparator)) {
    if (!sc.Number(n3, l3, 4)) return false;
    third = true;
  } else {
    sc.pos = save;
  }
  int32_t y = 0, m = 0, d = 0;
  size_t yl = 0;
  Order o = DateOrder(fs.ShortDateFormat);
  if (!third) {
    // Two numbers: a month and a day of the current year.
    TDateParts now = DecodeDateTime(Now());
    y = now.Year;
    yl = 4;
    if (o == Order::DMY) {
      d = n1;
      m = n2;
    } else {
      m = n1;
      d = n2;
    }
    if (l1 > 2) return false;
  } else if (o == Order::YMD) {
    y = n1, yl = l1, m = n2, d = n3;
    if (l3 > 2) return false;
  } else if (o == Order::DMY) {
    d = n1, m = n2, y = n3, yl = l3;
    if (l1 > 2) return false;
  } else {
    m = n1, d = n2, y = n3, yl = l3;
    if (l1 > 2) return false;
  }
  if (yl <= 2) {
    TDateParts now = DecodeDateTime(Now());
    int32_t pivot = now.Year - fs.TwoDigitYearCenturyWindow;
    y += pivot / 100 * 100;
    if (fs.TwoDigitYearCenturyWindow > 0 && y < pivot) y += 100;
  }
  return TryEncodeDateTime(y, m, d, 0, 0, 0, 0, out);
}

bool ScanTime(Scanner& sc, TDateTime& out, const TFormatSettings& fs) {
  int32_t h = 0, n = 0, s = 0, ms = 0;
  size_t l = 0;
  if (!sc.Number(h, l, 2)) return false;
  if (!sc.Char(fs.TimeSeparator) || !sc.Number(n, l, 2)) return false;
  size_t save = sc.pos;
  if (sc.Char(fs.TimeSeparator)) {
    if (!sc.Number(s, l, 2)) return false;
    save = sc.pos;
    if (sc.Char(fs.DecimalSeparator)) {
      if (!sc.Number(ms, l, 3)) return false;
    } else {
      sc.pos = save;
    }
  } else {
    sc.pos = save;
  }
  sc.Blanks();
  std::string_view rest = sc.s.substr(sc.pos);
  if (str::StartsText(fs.TimeAMString, rest) && !fs.TimeAMString.empty()) {
    if (h == 0 || h > 12) return false;
    if (h == 12) h = 0;
    sc.pos += fs.TimeAMString.size();
  } else if (str::StartsText(fs.TimePMString, rest) && !fs.TimePMString.empty()) {
    if (h == 0 || h > 12) return false;
    if (h < 12) h += 12;
    sc.pos += fs.TimePMString.size();
  }
  if (h > 23 || n > 59 || s > 59) return false;
  out = (h * 3600000.0 + n * 60000.0 + s * 1000.0 + ms) / static_cast<double>(kMSecsPerDay);
  return true;
}

}  // namespace

bool TryStrToDateTime(std::string_view aText, TDateTime& aResult,
                      const TFormatSettings& aSettings) {
  std::string text = str::Trim(aText);
  Scanner sc{text};
  TDateTime date = 0, time = 0;
  if (ScanDate(sc, date, aSettings)) {
    if (sc.AtEnd()) {
      aResult = date;
      return true;
    }
    if (ScanTime(sc, time, aSettings) && sc.AtEnd()) {
      aResult = date >= 0 ? date + time : date - time;
      return true;
    }
  }
  Scanner st{text};
  if (ScanTime(st, time, aSettings) && st.AtEnd()) {
    aResult = time;
    return true;
  }
  return false;
}

bool TryStrToDateTime(std::string_view aText, TDateTime& aResult) {
  return TryStrToDateTime(aText, aResult, FormatSettings());
}

TDateTime StrToDateTime(std::string_view aText) {
  TDateTime r = 0;
  if (!TryStrToDateTime(aText, r)) {
    throw Error("'" + std::string(aText) + "' is not a valid date and time");
  }
  return r;
}

}  // namespace ov
