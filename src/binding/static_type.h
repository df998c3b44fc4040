// StaticType: the static identity of a native type (a stable 32-bit id and
// a name), used as the registry key and as the type name in messages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Quarn {

struct StaticType {
  uint32_t id;
  // Readable "StaticType::Name<class Ns::Type>" for types obtained through
  // StaticTypeOf<T>(); "#%08X" of the id for types known only by id.
  std::string name;
};

namespace detail {
// The full name of T as the compiler spells it ("Quarn::BindingProperty").
template <class T>
constexpr std::string_view CompilerTypeName() {
  std::string_view p = __PRETTY_FUNCTION__;
  const auto start = p.find("T = ") + 4;
  const auto end = p.find_first_of(";]", start);
  return p.substr(start, end - start);
}
constexpr uint32_t Fnv1a(std::string_view text) {
  uint32_t h = 0x811C9DC5u;
  for (char c : text) {
    h ^= static_cast<uint8_t>(c);
    h *= 0x01000193u;
  }
  return h;
}
const StaticType& InternStaticType(uint32_t id, std::string_view compiler_name);
}  // namespace detail

// One immutable record per native type, created on first use, living for
// the process. Ids are the FNV-1a hash of the compiler's name of the type,
// so they are fixed at build time.
template <class T>
const StaticType& StaticTypeOf() {
  static const StaticType& type = detail::InternStaticType(
      detail::Fnv1a(detail::CompilerTypeName<T>()), detail::CompilerTypeName<T>());
  return type;
}

// A type known only by its id: its name is "#%08X" of the id.
const StaticType& StaticTypeForId(uint32_t id);

}  // namespace Quarn
