// Log levels, the channel table and the record the logger hands to its
// targets.
//
// A channel set is a 64-bit mask: bit i is entry i of the process-wide
// channel table, which starts with "DBG", "GEN", "XTR", "PRF", "MEM",
// "DSK", "NET", "TST" and grows on demand up to 64 entries.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Quarn {

enum LogLevel : uint32_t { kLogOkay = 0, kLogWarn = 1, kLogError = 2, kLogAlways = 3 };

inline constexpr uint64_t kChannelDbg = uint64_t{1} << 0;
inline constexpr uint64_t kChannelGen = uint64_t{1} << 1;
inline constexpr uint64_t kChannelXtr = uint64_t{1} << 2;
inline constexpr uint64_t kChannelPrf = uint64_t{1} << 3;
inline constexpr uint64_t kChannelMem = uint64_t{1} << 4;
inline constexpr uint64_t kChannelDsk = uint64_t{1} << 5;
inline constexpr uint64_t kChannelNet = uint64_t{1} << 6;
inline constexpr uint64_t kChannelTst = uint64_t{1} << 7;

// The level's printed name, padded to six characters ("  OKAY", "  WARN",
// " ERROR", "ALWAYS"); "     ?" for a level outside 0..3.
// Returns a static text.
const char* LevelName(uint32_t level);

// The mask bit of the channel whose tag matches the first three characters
// of `tag`. An unknown tag is appended to the table and its new bit returned.
// Returns 0 when `tag` is empty or the table already holds 64 channels.
// Thread-safe.
uint64_t ChannelBit(std::string_view tag);

// The tags of the channels in `mask`, in bit order, joined by ";"
// ("" for 0). Bits without a table entry are skipped. Thread-safe.
std::string ChannelTags(uint64_t mask);

// One accepted log call, built once and shown to every target. Everything a
// line format can print is captured here, so rendering is a pure function of
// the record.
struct LogRecord {
  uint32_t level = kLogOkay;
  uint64_t channels = 0;
  // Local time of the call.
  int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0, millisecond = 0;
  // Milliseconds since the process's first time measurement (for "#H").
  int64_t uptime_ms = 0;
  // The calling thread's id as the platform prints it (for "#T").
  const void* thread_id = nullptr;
  // Borrowed for the duration of the target's write: the formatted message
  // (at most 4095 characters) and the executable's file name.
  std::string_view message;
  std::string_view executable;
};

}  // namespace Quarn
