// Assertion reports: a multi-line text naming a failed check by its fixed
// code ("ALE-" and eight characters), written to the log at level 2 on
// channel "DBG". A report never stops the program; ReportFatal reports and
// then ends the process.
#pragma once

#include <cstdint>
#include <string>

namespace Quarn {

// Longest description of a report; longer ones are cut.
inline constexpr size_t kMaxAssertionDescription = 1023;

// The report text. Each input is optional: null or "" (line 0) leaves its
// part out. With only an expression the text is "Assertion failed!\n\n"
// "Expression: " and the expression, without a trailing line feed.
std::string BuildAssertionReport(const char* expression, const char* file, int32_t line, const char* function,
                                 const char* description);

// Builds the report (the description from the printf-style
// `description_format`, which may be null) and logs it. Returns normally.
void ReportAssertion(const char* expression, const char* file, int32_t line, const char* function,
                     const char* description_format, ...) __attribute__((format(printf, 5, 6)));

// Reports `code` as the expression with the formatted description, flushes
// the log targets and ends the process at once (std::abort).
[[noreturn]] void ReportFatal(const char* code, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

}  // namespace Quarn
