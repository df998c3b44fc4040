#include "diagnostics/assertion.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "diagnostics/logger.h"

namespace {

bool Present(const char* text) { return text != nullptr && *text != '\0'; }

// Formats into `buffer` (cut at its capacity); "" for a null format.
void FormatDescription(char (&buffer)[Quarn::kMaxAssertionDescription + 1], const char* format,
                       va_list args) {
  buffer[0] = '\0';
  if (format == nullptr) return;
  if (std::vsnprintf(buffer, sizeof buffer, format, args) < 0) buffer[0] = '\0';
}

void LogReport(const char* expression, const char* file, int32_t line, const char* function,
               const char* description) {
  const std::string report = Quarn::BuildAssertionReport(expression, file, line, function, description);
  Quarn::Log(Quarn::kLogError, Quarn::kChannelDbg, "%s", report.c_str());
}

}  // namespace

std::string Quarn::BuildAssertionReport(const char* expression, const char* file, int32_t line,
                                        const char* function, const char* description) {
  std::string text = "Assertion failed!\n\n";
  if (Present(file)) text.append("File: ").append(file).append("\n");
  if (line != 0) text.append("Line: ").append(std::to_string(line)).append("\n\n");
  if (Present(function)) text.append("Function: ").append(function).append("\n\n");
  if (Present(expression)) text.append("Expression: ").append(expression);
  if (Present(description)) {
    std::string_view cut(description);
    text.append("\n\nDescription: ").append(cut.substr(0, kMaxAssertionDescription));
  }
  return text;
}

void Quarn::ReportAssertion(const char* expression, const char* file, int32_t line, const char* function,
                            const char* description_format, ...) {
  char description[kMaxAssertionDescription + 1];
  va_list args;
  va_start(args, description_format);
  FormatDescription(description, description_format, args);
  va_end(args);
  LogReport(expression, file, line, function, description);
}

void Quarn::ReportFatal(const char* code, const char* format, ...) {
  char description[kMaxAssertionDescription + 1];
  va_list args;
  va_start(args, format);
  FormatDescription(description, format, args);
  va_end(args);
  LogReport(code, nullptr, 0, nullptr, description);
  Logger::Instance().FlushAll();
  std::abort();
}
