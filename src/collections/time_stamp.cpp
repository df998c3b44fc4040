#include "collections/time_stamp.h"

#include <utility>

#include "diagnostics/utc_time.h"

namespace {

Quarn::Client::Collections::Clock& InstalledClock() {
  static Quarn::Client::Collections::Clock clock;
  return clock;
}

}  // namespace

std::chrono::system_clock::time_point Quarn::Client::Collections::Now() {
  const Clock& clock = InstalledClock();
  return clock ? clock() : std::chrono::system_clock::now();
}

Quarn::Client::Collections::Clock Quarn::Client::Collections::SetClockForTesting(Clock clock) {
  return std::exchange(InstalledClock(), std::move(clock));
}

Quarn::Client::Collections::TimeStamp Quarn::Client::Collections::TimeStampAt(
    std::chrono::system_clock::time_point time) {
  using std::chrono::floor;
  const auto since_epoch = time.time_since_epoch();
  const int64_t seconds = floor<std::chrono::seconds>(since_epoch).count();
  const int64_t milliseconds = floor<std::chrono::milliseconds>(since_epoch).count();
  // A clock set before 1970 must not wrap to a date far in the future.
  return TimeStamp{FormatUtcTime(seconds), milliseconds < 0 ? 0 : static_cast<uint64_t>(milliseconds)};
}

Quarn::Client::Collections::TimeStamp Quarn::Client::Collections::TimeStampNow() {
  return TimeStampAt(Now());
}
