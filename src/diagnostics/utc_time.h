// UTC time stamps as text.
#pragma once

#include <cstdint>
#include <string>

namespace Quarn {

// `seconds` since 1970-01-01 as "%Y-%m-%dT%H:%M:%SZ" (0 gives
// "1970-01-01T00:00:00Z"). When the time cannot be broken down into
// calendar fields, reports the assertion "ALE-8A14EBBK" and returns "".
std::string FormatUtcTime(int64_t seconds);

}  // namespace Quarn
