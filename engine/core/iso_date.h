// ISO 8601 dates and times as the spreadsheet's serial numbers, for the readers whose files
// store them as text (.xlsx cells of type "d", .ods date values).
#pragma once

#include <string_view>

namespace corvane {

// Days from the 1900 system's day 0 to 1 January 1904, day 0 of the 1904 system.
inline constexpr int kDays1900To1904 = 1462;

// The serial number of an ISO 8601 date, date-time or time of day: "2024-03-05",
// "2024-03-05T10:30:00", "2024-03-05 10:30:00.25", "20240305T103000Z", "T10:30", "10:30:00".
// Times may be cut short ("T10", "10:30"), carry a fraction on their last part ("10:30,5")
// or be "24:00"; a time zone ("Z", "+02:00", "-0530") is read and left out, as the
// spreadsheet shows the time as written. A time alone is its fraction of a day; a date
// counts days in the 1900 system (with its 29 February 1900) or, with `date1904`, the
// 1904 system, where 30 or 31 December 1899 (1900) and 1 January 1904 (1904) are day 0,
// the day that times of day stand on. False for anything else, and for earlier dates.
bool IsoDateToSerial(std::string_view iso, bool date1904, double& serial);

}  // namespace corvane
