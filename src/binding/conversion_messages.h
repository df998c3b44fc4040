// Message templates of native conversion, as clients match them; '%n' placeholders
// are filled by Quarn::Format.
#pragma once

#include <string_view>

namespace Quarn::ConversionMessage {

inline constexpr std::string_view kRequired = "A value for '%1' is required.";
inline constexpr std::string_view kIncorrectFormat = "Value %1 for '%2' of type %3 is in an incorrect format";
inline constexpr std::string_view kOutOfRange = "Value %1 for '%2' of type %3 is out of range";
inline constexpr std::string_view kInvalidType =
    "Couldn't assign value to '%1' of type %2 because the input is of an invalid type %3.";
inline constexpr std::string_view kBoolFormat =
    "Value %1 for '%2' of type bool is in an incorrect format. Options are \"true\", \"false\", \"1\", "
    "\"0\".";
inline constexpr std::string_view kBoolInvalidType =
    "Couldn't assign value to '%1' of type bool because the input is of an invalid type %2.";
inline constexpr std::string_view kEnumNotValid = "%1 is not a valid %2 enumeration value for '%3'.";
inline constexpr std::string_view kEnumInvalidType =
    "Couldn't assign value to '%1' of enum type because the input is of an invalid type %2.";
inline constexpr std::string_view kEnumNameMissing = "%1 is not a valid enumeration value for '%2'.";
inline constexpr std::string_view kNotAString =
    "Couldn't assign value to '%1' because the input is not a string.";
inline constexpr std::string_view kUnregisteredInput =
    "Couldn't assign value to '%1' because the input is an unregistered structure or not a structure at all.";
inline constexpr std::string_view kNotAStructure =
    "Couldn't assign value to '%1' of type %2 because the input not a structure.";
inline constexpr std::string_view kMissingRequiredField =
    "Couldn't assign value to '%1' of type %2 because the input structure doesn't have required field '%3'.";
inline constexpr std::string_view kUnregisteredNative =
    "Couldn't convert native value because it's an unregistered structure.";
inline constexpr std::string_view kVectorNotCollection =
    "Couldn't assign value to '%1' of type vector because the input not a collection.";
inline constexpr std::string_view kMapNotStructure =
    "Couldn't assign value to '%1' of type map because the input not a structure.";
inline constexpr std::string_view kHostValueIncompatible =
    "Couldn't assign value to '%1' of type object because the input is of an incompatible type '%2'.";

// Cases the rules above leave open, worded after them.
inline constexpr std::string_view kUnregisteredEnum =
    "Couldn't assign value to '%1' because the input is an unregistered enumeration.";
inline constexpr std::string_view kBlobInvalidType =
    "Couldn't assign value to '%1' of type blob because the input is of an invalid type %2.";
inline constexpr std::string_view kHostValueTooLarge =
    "Couldn't convert value to a host value because a text, blob or container is too large.";

}  // namespace Quarn::ConversionMessage
