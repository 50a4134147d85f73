#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

namespace ov {

// Days since 1899-12-30 in local time, the fraction being the time of day. 0 means "no time".
using TDateTime = double;

constexpr int64_t kMSecsPerDay = 86400000;
// Day number of 1899-12-30 when 1 January of year 1 is day 1.
constexpr int64_t kDateDelta = 693594;

struct TDateParts {
  int32_t Year = 0, Month = 0, Day = 0;
  int32_t Hour = 0, Minute = 0, Second = 0, MSec = 0;
  int32_t DayOfWeek = 0;  // 1 = Sunday ... 7 = Saturday
};

bool TryEncodeDateTime(int32_t y, int32_t m, int32_t d, int32_t h, int32_t n, int32_t s,
                       int32_t ms, TDateTime& aResult);
// Throws ov::Error on an invalid date or time.
TDateTime EncodeDateTime(int32_t y, int32_t m, int32_t d, int32_t h = 0, int32_t n = 0,
                         int32_t s = 0, int32_t ms = 0);
TDateParts DecodeDateTime(TDateTime aDate);
bool IsLeapYear(int32_t y);
int32_t DaysInMonth(int32_t y, int32_t m);

// Whole days since 1 January of year 1 (that day is 1) and milliseconds since midnight,
// rounded to the nearest millisecond.
void DateTimeToTimeStamp(TDateTime aDate, int64_t& aDays, int64_t& aMSecs);
TDateTime TimeStampToDateTime(int64_t aDays, int64_t aMSecs);

// Host conversions: Unix time (UTC) in milliseconds to and from local date-time.
TDateTime UnixMsToLocal(int64_t aUnixMs);
bool LocalToUnixMs(TDateTime aLocal, int64_t& aUnixMs);

// The process's wall clock, replaceable by tests.
class IClock {
 public:
  virtual ~IClock() = default;
  virtual TDateTime Now() = 0;  // local date-time
};
// The current clock; the system clock unless a test installed another.
IClock& Clock();
// Installs `aClock` (nullptr restores the system clock); returns the previous override.
std::shared_ptr<IClock> SetClock(std::shared_ptr<IClock> aClock);
inline TDateTime Now() { return Clock().Now(); }

// A clock that reads a value the test sets.
class TFixedClock : public IClock {
 public:
  explicit TFixedClock(TDateTime aNow) : FNow(aNow) {}
  TDateTime Now() override { return FNow.load(); }
  void Set(TDateTime aNow) { FNow.store(aNow); }
  void Advance(double aDays) { FNow.store(FNow.load() + aDays); }

 private:
  std::atomic<double> FNow;
};

struct TFormatSettings {
  char DateSeparator = '/';
  char TimeSeparator = ':';
  char DecimalSeparator = '.';
  std::string ShortDateFormat = "yyyy/M/d";
  std::string LongDateFormat = "yyyy'年'M'月'd'日'";
  std::string ShortTimeFormat = "H:mm";
  std::string LongTimeFormat = "H:mm:ss";
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";
  int32_t TwoDigitYearCenturyWindow = 50;
};

// The process-wide settings: written once at start-up, read afterwards.
TFormatSettings& FormatSettings();

// Formats with a date-time pattern: y, m, d, h, n, s, z, t, c, am/pm, a/p, ampm, quoted
// literals, "/" and ":" as the separators of the settings. "m" right after an hour field
// means minutes.
std::string FormatDateTime(std::string_view aFormat, TDateTime aDate,
                           const TFormatSettings& aSettings);
std::string FormatDateTime(std::string_view aFormat, TDateTime aDate);
// The default form: the short date, then the long time unless the time is midnight.
std::string DateTimeToStr(TDateTime aDate, const TFormatSettings& aSettings);
std::string DateTimeToStr(TDateTime aDate);

// Parses a date (in the order and separator of the short date format), optionally followed
// by a time "h:n[:s[.z]]" with an optional AM/PM marker; or a time alone.
bool TryStrToDateTime(std::string_view aText, TDateTime& aResult,
                      const TFormatSettings& aSettings);
bool TryStrToDateTime(std::string_view aText, TDateTime& aResult);
// As above; throws ov::Error naming the text when it does not parse.
TDateTime StrToDateTime(std::string_view aText);

}  // namespace ov
