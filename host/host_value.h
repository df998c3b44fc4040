// OwnedValue: a HostValue tree that the host owns. Plug-ins hand the host
// records that are valid only for the duration of a call; the host copies
// what it keeps (event payloads, request arguments, response bodies) into an
// OwnedValue, and builds the values it hands out (stand-in answers, event
// payloads) the same way. Also a compact JSON rendering of any HostValue.
//
// Copy, rendering and destruction walk trees without recursion, so values of
// any depth are safe.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "binding/failure.h"
#include "binding/maybe_type.h"
#include "kiv/plugin_abi.h"

namespace kiv::host {

namespace detail {
class ValueArena;
}

class OwnedValue {
 public:
  OwnedValue() noexcept;  // null
  ~OwnedValue();
  OwnedValue(const OwnedValue& other);  // deep copy
  OwnedValue& operator=(const OwnedValue& other);
  OwnedValue(OwnedValue&& other) noexcept;  // the source becomes null
  OwnedValue& operator=(OwnedValue&& other) noexcept;

  // Deep copy of `value` (borrowed for the duration of the call). Texts are
  // re-tagged 5 and bytes 7: the host owns the copy. Fails with
  // "invalid value tag N" for a tag above 10, or "null pointer in value"
  // when a text, byte run, array or member list with entries is null.
  static Quarn::Maybe<OwnedValue> Copy(const HostValue& value);

  static OwnedValue Null() { return OwnedValue(); }
  static OwnedValue Bool(bool value);
  static OwnedValue Signed(int64_t value);
  static OwnedValue Unsigned(uint64_t value);
  static OwnedValue Double(double value);
  static OwnedValue Text(std::string_view text);  // cut at the first NUL by readers
  static OwnedValue Bytes(std::string_view bytes);
  static OwnedValue Array(const std::vector<OwnedValue>& elements);
  static OwnedValue Object(const std::vector<std::pair<std::string, OwnedValue>>& members);
  // Parses JSON text: objects become tag 10 (members in text order),
  // integers tag 2 (tag 3 above the signed range), other numbers tag 4.
  // Fails with "JSON parse error at offset N: <reason>".
  static Quarn::Maybe<OwnedValue> FromJson(std::string_view json);

  // The root record. It and everything it points to are owned by this
  // object, valid until it is destroyed or assigned.
  const HostValue& get() const { return root_; }
  uint32_t tag() const { return root_.tag; }
  std::string ToJson() const;
  // Heap bytes the value holds beyond this object.
  size_t ByteSize() const;

 private:
  void CopyFrom(const HostValue& value);  // REQUIRES: value already checked

  std::unique_ptr<detail::ValueArena> arena_;
  HostValue root_;
};

// Compact JSON of `value`, keys in record order, written by RapidJSON's
// writer (doubles in their shortest round-trip form: 0.1 is "0.1"). Bytes
// are written as a JSON string of the bytes (escaped), a non-finite double
// as null, an invalid tag as "<invalid tag N>". Never fails.
std::string ToJson(const HostValue& value);

}  // namespace kiv::host
