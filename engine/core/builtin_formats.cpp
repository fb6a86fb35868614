#include "engine/core/builtin_formats.h"

#include <array>
#include <cstddef>

namespace corvane {

namespace {

// Ids 27-36 and 50-58 follow the Japanese locale (era dates, 年月日).
constexpr std::array<std::string_view, 59> kCodes = {
  "General",                                                  // 0
  "0",                                                        // 1
  "0.00",                                                     // 2
  "#,##0",                                                    // 3
  "#,##0.00",                                                 // 4
  "\"$\"#,##0_);\\(\"$\"#,##0\\)",                            // 5
  "\"$\"#,##0_);[Red]\\(\"$\"#,##0\\)",                       // 6
  "\"$\"#,##0.00_);\\(\"$\"#,##0.00\\)",                      // 7
  "\"$\"#,##0.00_);[Red]\\(\"$\"#,##0.00\\)",                 // 8
  "0%",                                                       // 9
  "0.00%",                                                    // 10
  "0.00E+00",                                                 // 11
  "# ?/?",                                                    // 12
  "# ??" "/??",                                               // 13
  "mm-dd-yy",                                                 // 14
  "d-mmm-yy",                                                 // 15
  "d-mmm",                                                    // 16
  "mmm-yy",                                                   // 17
  "h:mm AM/PM",                                               // 18
  "h:mm:ss AM/PM",                                            // 19
  "h:mm",                                                     // 20
  "h:mm:ss",                                                  // 21
  "m/d/yy h:mm",                                              // 22
  {}, {}, {}, {},                                             // 23-26
  "[$-411]ge.m.d",                                            // 27
  "[$-411]ggge\"年\"m\"月\"d\"日\"",                          // 28
  "[$-411]ggge\"年\"m\"月\"d\"日\"",                          // 29
  "m/d/yy",                                                   // 30
  "yyyy\"年\"m\"月\"d\"日\"",                                 // 31
  "h\"時\"mm\"分\"",                                          // 32
  "h\"時\"mm\"分\"ss\"秒\"",                                  // 33
  "yyyy\"年\"m\"月\"",                                        // 34
  "m\"月\"d\"日\"",                                           // 35
  "[$-411]ge.m.d",                                            // 36
  "#,##0_);(#,##0)",                                          // 37
  "#,##0_);[Red](#,##0)",                                     // 38
  "#,##0.00_);(#,##0.00)",                                    // 39
  "#,##0.00_);[Red](#,##0.00)",                               // 40
  "_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)",            // 41
  "_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)",  // 42
  "_(* #,##0.00_);_(* \\(#,##0.00\\);_(* \"-\"??_);_(@_)",    // 43
  "_(\"$\"* #,##0.00_);_(\"$\"* \\(#,##0.00\\);_(\"$\"* \"-\"??_);_(@_)",  // 44
  "mm:ss",                                                    // 45
  "[h]:mm:ss",                                                // 46
  "mmss.0",                                                   // 47
  "##0.0E+0",                                                 // 48
  "@",                                                        // 49
  "[$-411]ge.m.d",                                            // 50
  "[$-411]ggge\"年\"m\"月\"d\"日\"",                          // 51
  "yyyy\"年\"m\"月\"",                                        // 52
  "m\"月\"d\"日\"",                                           // 53
  "[$-411]ggge\"年\"m\"月\"d\"日\"",                          // 54
  "yyyy\"年\"m\"月\"",                                        // 55
  "m\"月\"d\"日\"",                                           // 56
  "[$-411]ge.m.d",                                            // 57
  "[$-411]ggge\"年\"m\"月\"d\"日\"",                          // 58
};

}  // namespace

std::string_view BuiltinNumFmt(int id) {
  if (id < 0 || static_cast<size_t>(id) >= kCodes.size() || kCodes[static_cast<size_t>(id)].empty())
    return "General";
  return kCodes[static_cast<size_t>(id)];
}

int BuiltinNumFmtId(std::string_view code) {
  for (size_t id = 0; id < kCodes.size(); ++id) {
    // Currency (5-8, 41-44) and East Asian (27-36, 50-58) formats take another symbol or
    // calendar in another locale: a code that reads like one is kept as the code it is.
    bool localeLook = (id >= 5 && id <= 8) || (id >= 23 && id <= 36) || (id >= 41 && id <= 44) || id >= 50;
    if (!localeLook && !kCodes[id].empty() && kCodes[id] == code) return static_cast<int>(id);
  }
  return -1;
}

}  // namespace corvane
