// The fixed texts of request dispatch and argument binding, in one place.
// Positional placeholders ("%1") are filled by Quarn::Format.
#pragma once

#include <string_view>

namespace Quarn::ApiMessage {

inline constexpr std::string_view kInvalidFunction = "Invalid function";
inline constexpr std::string_view kUnknownArgument = "Unknown argument '%1' for '%2'.";
inline constexpr std::string_view kInvalidLocation =
    "Argument '%1' for '%2' was specified in an invalid location.";
inline constexpr std::string_view kExpectedValue = "Expected value for argument '%1'.";
inline constexpr std::string_view kIndexFormat = "Index %1 is in an incorrect format";
inline constexpr std::string_view kIndexRange = "Index %1 is out of range";
inline constexpr std::string_view kMsgPackParameter =
    "Couldn't deserialize MessagePack value for parameter '%1' of '%2': %3";
inline constexpr std::string_view kJsonParameter =
    "Couldn't deserialize JSON value for parameter '%1' of '%2': %3";
inline constexpr std::string_view kYamlParameter =
    "Couldn't deserialize YAML value for parameter '%1' of '%2': %3";
// The misspelling is what clients match on.
inline constexpr std::string_view kExtraMsgPack = "Extra MessgePack data found in body";
inline constexpr std::string_view kUnsupportedBody = "Unsupported body content type";

}  // namespace Quarn::ApiMessage
