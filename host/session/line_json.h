// The JSON shapes of a recording's parts, shared by its writer, reader and
// replay: requests, answers and values as RapidJSON trees, and the first
// field where two trees differ.
#pragma once

#include <rapidjson/document.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "binding/failure.h"
#include "binding/maybe_type.h"
#include "host/host_value.h"
#include "host/loop/messages.h"

namespace kiv::host::session {

using Json = rapidjson::Value;
using JsonAllocator = rapidjson::Document::AllocatorType;

// {"method", "path", "contentType"?, "body"?, "headers"?, "arguments"?}.
// Headers that name the connection (host, addresses, ports, user agent)
// are left out: they change from run to run and no plug-in reads them.
Json RequestJson(const Request& request, JsonAllocator& allocator);
// {"status", "error"?, "body"? | "bytes"? | "chunks" and "failAtRead"?,
// "contentType"?, "headers"?}
Json AnswerJson(const Response& answer, JsonAllocator& allocator);
Json ValueJson(const HostValue& value, JsonAllocator& allocator);

// The reverse; failures name the field.
Quarn::Maybe<Request> RequestFrom(const Json& json);
Quarn::Maybe<Response> AnswerFrom(const Json& json);
Quarn::Maybe<OwnedValue> ValueFrom(const Json& json);

std::string JsonText(const Json& json);

struct Difference {
  std::string field;  // "body.pages[0].name"; "" for the whole value
  std::string expected;
  std::string got;  // JSON texts, "(none)" for a missing member
};
// Leaves that differ but count as equal (see ClockReadings).
using Equivalent = std::function<bool(const Json& expected, const Json& got)>;
// The first difference between `expected` and `got` in document order
// (object members by name, in either order), or nullopt when equal.
std::optional<Difference> FirstDifference(const Json& expected, const Json& got,
                                          const Equivalent& equivalent = {});

// Milliseconds since 1970 of a wall-clock reading as a plug-in writes one:
// a whole number of milliseconds, or a UTC "YYYY-MM-DDTHH:MM:SSZ" text.
std::optional<int64_t> ClockReadingMs(const Json& value);

}  // namespace kiv::host::session
