// The time stamps the service writes into the DTOs it saves, and the one
// clock they are read from.
//
// Every time stamp of the service comes from Now(), so a test can pin the
// time for everything at once with SetClockForTesting.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace Quarn::Client::Collections {

using Clock = std::function<std::chrono::system_clock::time_point()>;

// The current time: the system clock, or the clock a test installed.
std::chrono::system_clock::time_point Now();

// Installs `clock` for every later Now(); an empty Clock restores the
// system clock. Returns the clock that was installed before (empty for the
// system clock), so a test can put it back.
// REQUIRES: no other thread reads the clock meanwhile (the service runs on
// the host's thread only).
Clock SetClockForTesting(Clock clock);

// One reading of the clock in the two forms the backend takes.
struct TimeStamp {
  std::string date_string;   // UTC, whole seconds: "%Y-%m-%dT%H:%M:%SZ"
  uint64_t create_date = 0;  // milliseconds since 1970-01-01T00:00:00Z; 0 for earlier times
};

// `time` in both forms.
TimeStamp TimeStampAt(std::chrono::system_clock::time_point time);
// TimeStampAt(Now()): the clock is read once.
TimeStamp TimeStampNow();

}  // namespace Quarn::Client::Collections
