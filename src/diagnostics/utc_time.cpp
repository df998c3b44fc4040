#include "diagnostics/utc_time.h"

#include <ctime>
#include <limits>

#include "diagnostics/assertion.h"

std::string Quarn::FormatUtcTime(int64_t seconds) {
  std::tm fields{};
  bool fits = true;
  if constexpr (sizeof(std::time_t) < sizeof(int64_t)) {
    fits = seconds >= std::numeric_limits<std::time_t>::min() &&
           seconds <= std::numeric_limits<std::time_t>::max();
  }
  const std::time_t time = static_cast<std::time_t>(seconds);
  if (!fits || ::gmtime_r(&time, &fields) == nullptr) {
    ReportAssertion("ALE-8A14EBBK", nullptr, 0, nullptr, nullptr);
    return {};
  }
  char text[64];
  const size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &fields);
  return std::string(text, length);
}
