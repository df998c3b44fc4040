// Rendering of one log record through a line format.
//
// Tokens: "#D" local date and time, "#E" executable name, "#G" channel tags,
// "#H" seconds since start ("%06d.%03d"), "#L" level name, "#M" message,
// "#T" thread id. "#" followed by any other character prints that character;
// a "#" at the very end of the format prints nothing.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "diagnostics/log_record.h"

namespace Quarn {

// Longest rendered line, its line feed included.
inline constexpr size_t kMaxLogLineLength = 4095;

// The line for `record` under `format`, always ending with exactly one line
// feed (none is added when the rendered text already ends with one), and cut
// to kMaxLogLineLength characters.
std::string RenderLogLine(std::string_view format, const LogRecord& record);

}  // namespace Quarn
