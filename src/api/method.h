// Quarn::Method: the HTTP-style method enumeration shared by registered
// functions and host requests, and its texts.
#pragma once

#include <cstdint>
#include <string_view>

namespace Quarn {

// The numbers are the host's request codes.
enum class Method : uint32_t {
  None = 0,  // a function registered with None accepts every method
  Delete = 1,
  Get = 2,
  Head = 3,
  Options = 4,
  Patch = 5,
  Post = 6,
  Put = 7,
  Custom = 8,  // the request also carries its own method text
};

// "DELETE", "GET", ..., "PUT"; "" for None, Custom and anything else.
std::string_view MethodText(Method method);

// A host method code; codes outside 1..8 read as None.
Method MethodFromCode(uint32_t code);

}  // namespace Quarn
