#include "host/detail/world_io.h"

#include <algorithm>
#include <limits>

using kiv::host::OwnedValue;

const HostValue* kiv::host::detail::FindMember(const HostValue& object, std::string_view key) {
  if (object.tag != KIV_VALUE_OBJECT) return nullptr;
  const auto* members = static_cast<const HostMember*>(object.data.seq.data);
  for (uint32_t i = 0; i < object.data.seq.count; ++i) {
    if (members[i].key != nullptr && key == members[i].key) return &members[i].value;
  }
  return nullptr;
}

std::string kiv::host::detail::Preview(const HostValue& value) {
  std::string json = kiv::host::ToJson(value);
  if (json.size() > 40) json = json.substr(0, 37) + "...";
  return json;
}

void kiv::host::detail::ValueReader::Read(const HostValue& value, const std::string& path, bool& out) {
  if (value.tag == KIV_VALUE_NULL) return;
  if (value.tag != KIV_VALUE_BOOL) return Problem(path, "expected true or false, got " + Preview(value));
  out = value.data.boolean != 0;
}

void kiv::host::detail::ValueReader::Read(const HostValue& value, const std::string& path, std::string& out) {
  if (value.tag == KIV_VALUE_NULL) return;
  if (value.tag != KIV_VALUE_TEXT && value.tag != KIV_VALUE_TEXT_OWNED)
    return Problem(path, "expected a text, got " + Preview(value));
  out = value.data.text != nullptr ? value.data.text : "";
}

void kiv::host::detail::ValueReader::Read(const HostValue& value, const std::string&, OwnedValue& out) {
  // Free-form values (assets, settings) are kept as they stand; the copy
  // cannot fail on a tree the host built itself.
  auto copy = OwnedValue::Copy(value);
  if (copy.ok()) out = copy.TakeValue();
}

bool kiv::host::detail::ValueReader::ReadInteger(const HostValue& value, const std::string& path,
                                                 bool is_signed, int64_t& low, uint64_t& high) {
  if (value.tag == KIV_VALUE_NULL) return false;
  if (value.tag == KIV_VALUE_SIGNED) {
    if (!is_signed && value.data.i64 < 0) {
      Problem(path, Preview(value) + " is negative; expected an unsigned integer");
      return false;
    }
    low = value.data.i64;
    high = static_cast<uint64_t>(value.data.i64);
    return true;
  }
  if (value.tag == KIV_VALUE_UNSIGNED) {
    if (is_signed && value.data.u64 > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
      Problem(path, Preview(value) + " is out of range for int64");
      return false;
    }
    low = static_cast<int64_t>(value.data.u64);
    high = value.data.u64;
    return true;
  }
  Problem(path, std::string("expected ") + (is_signed ? "an integer" : "an unsigned integer") + ", got " +
                    Preview(value));
  return false;
}

void kiv::host::detail::ValueReader::ReportUnknownKeys(const HostValue& object, const std::string& path,
                                                       const std::vector<std::string_view>& keys) {
  const auto* members = static_cast<const HostMember*>(object.data.seq.data);
  for (uint32_t i = 0; i < object.data.seq.count; ++i) {
    const std::string_view key = members[i].key != nullptr ? members[i].key : "";
    if (std::find(keys.begin(), keys.end(), key) != keys.end()) continue;
    std::string known;
    for (const auto k : keys) known += (known.empty() ? "" : ", ") + std::string(k);
    Problem(JoinPath(path, key), "unknown key (expected one of: " + known + ")");
  }
}

OwnedValue kiv::host::detail::WriteValue(bool value) { return OwnedValue::Bool(value); }
OwnedValue kiv::host::detail::WriteValue(const std::string& value) { return OwnedValue::Text(value); }
OwnedValue kiv::host::detail::WriteValue(const OwnedValue& value) { return value; }

