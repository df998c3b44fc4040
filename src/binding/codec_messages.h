// Message templates of the JSON, MessagePack and YAML readers, word for
// word; '%n' placeholders are filled by Quarn::Format.
#pragma once

#include <string_view>

namespace Quarn::CodecMessage {

// JSON: RapidJSON's English text of the error code, then the byte offset.
inline constexpr std::string_view kJsonError = "Error: %1 at offset %2.";

inline constexpr std::string_view kMsgPackInvalidAt = "Invalid MessagePack data at position %1.";
inline constexpr std::string_view kMsgPackKeyNotString =
    "Invalid MessagePack data at position %1. Map keys must be strings.";
inline constexpr std::string_view kMsgPackTruncated8 =
    "Invalid MessagePack data. 8-bit integer value at position %1 is truncated.";
inline constexpr std::string_view kMsgPackTruncated16 =
    "Invalid MessagePack data. 16-bit integer value at position %1 is truncated.";
inline constexpr std::string_view kMsgPackTruncated32 =
    "Invalid MessagePack data. 32-bit integer value at position %1 is truncated.";
inline constexpr std::string_view kMsgPackTruncated64 =
    "Invalid MessagePack data. 64-bit integer value at position %1 is truncated.";
inline constexpr std::string_view kMsgPackStringTruncated =
    "Invalid MessagePack data. String of size %1 at position %2 is truncated.";
inline constexpr std::string_view kMsgPackBytesTruncated =
    "Invalid MessagePack data. Raw bytes of size %1 at position %2 are truncated.";

inline constexpr std::string_view kYamlMultiDocument = "Multi-document YAML is not supported.";
inline constexpr std::string_view kYamlInvalidKey =
    "Invalid mapping key. Only string scalar keys are allowed. At line: %1 col: %2";
inline constexpr std::string_view kYamlUnexpectedSequence =
    "Unexpected start of sequence. At line: %1 col: %2";
inline constexpr std::string_view kYamlUnexpectedMapping = "Unexpected start of mapping. At line: %1 col: %2";
inline constexpr std::string_view kYamlCyclicAlias =
    "Cannot deserialize cyclic aliases. Alias \"%1\". At line: %2 col: %3";
inline constexpr std::string_view kYamlUndefinedAlias =
    "Undefined alias encountered: \"%1\". At line: %2 col: %3";
inline constexpr std::string_view kYamlDuplicateAnchor =
    "Duplicate occurrence of anchor \"%1\". At line: %2 col: %3";
inline constexpr std::string_view kYamlUnsupportedTag = "Unsupported YAML tag '%1'.";
inline constexpr std::string_view kYamlParserError = "YAML parser error: %1. At line: %2 col: %3";

// Cases the rules above leave open, worded after them.
inline constexpr std::string_view kYamlFlowTooDeep =
    "YAML flow collections nested deeper than %1 levels are not supported. At line: %2 col: %3";
inline constexpr std::string_view kYamlAliasesTooLarge =
    "YAML aliases expand to more than %1 values. Alias \"%2\". At line: %3 col: %4";

}  // namespace Quarn::CodecMessage
