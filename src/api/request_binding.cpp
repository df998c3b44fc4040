#include "api/request_binding.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "api/api_messages.h"
#include "binding/host_value_conversion.h"
#include "binding/json_reader.h"
#include "binding/message_format.h"
#include "binding/msgpack_reader.h"
#include "binding/yaml_reader.h"

namespace {

using Quarn::ArgumentLocation;
using Quarn::BindingProperty;
using Quarn::BindingTypeKind;
using Pairs = std::vector<std::pair<std::string, std::string>>;

// An index in a dotted key creates every element up to it, so a bound keeps
// one query pair from allocating gigabytes.
constexpr uint64_t kMaxPathIndex = 1u << 16;

char ToLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (ToLower(text[i]) != prefix[i]) return false;
  }
  return true;
}

std::string_view AfterSpaces(std::string_view text) {
  const size_t start = text.find_first_not_of(" \t\r\n");
  return start == std::string_view::npos ? std::string_view() : text.substr(start);
}

bool IsStructuredKind(BindingTypeKind kind) {
  return kind == BindingTypeKind::Object || kind == BindingTypeKind::Vector ||
         kind == BindingTypeKind::Struct;
}

// Replaces the value of an existing key, keeping the first key's place.
void PutPair(Pairs& pairs, std::string key, std::string value) {
  for (auto& pair : pairs) {
    if (pair.first == key) {
      pair.second = std::move(value);
      return;
    }
  }
  pairs.emplace_back(std::move(key), std::move(value));
}

void AssignMsgPack(Quarn::CallResult& call, BindingProperty& slot, std::string_view parameter,
                   const Quarn::BindingFunction& function, std::string_view text) {
  auto read = Quarn::ReadMsgPack(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  if (!read.result.ok()) {
    call.Fail(Quarn::Format(Quarn::ApiMessage::kMsgPackParameter, parameter, function.name(),
                            read.result.ErrorMessage()));
    return;
  }
  slot = std::move(read.result.value);
}

// Walks `rest` ("names.0") into `slot`, creating members and elements.
void AssignByPath(Quarn::CallResult& call, BindingProperty& slot, const Quarn::BindingFunction& function,
                  std::string_view parameter, std::string_view rest, std::string_view text,
                  const Quarn::BindingRegistry& registry) {
  BindingProperty* current = &slot;
  while (true) {
    const size_t dot = rest.find('.');
    const std::string_view segment = rest.substr(0, dot);
    if (!segment.empty() && segment.front() >= '0' && segment.front() <= '9') {
      const std::string digits(segment);
      char* end = nullptr;
      errno = 0;
      const unsigned long long index = std::strtoull(digits.c_str(), &end, 0);
      if (end != digits.c_str() + digits.size()) {
        call.Fail(Quarn::Format(Quarn::ApiMessage::kIndexFormat, segment));
        return;
      }
      if (errno == ERANGE || index >= kMaxPathIndex) {
        call.Fail(Quarn::Format(Quarn::ApiMessage::kIndexRange, segment));
        return;
      }
      current = &current->Element(static_cast<size_t>(index));
    } else {
      current = &current->Member(segment);
    }
    if (dot == std::string_view::npos) break;
    rest = rest.substr(dot + 1);
  }
  Quarn::AssignText(call, *current, function, -1, parameter, text, {}, false, registry);
}

}  // namespace

Pairs Quarn::ParseQuery(std::string_view path) {
  Pairs pairs;
  const size_t question = path.find('?');
  if (question == std::string_view::npos) return pairs;
  std::string_view query = path.substr(question + 1);
  while (true) {
    const size_t amp = query.find('&');
    const std::string_view piece = query.substr(0, amp);
    if (!piece.empty()) {
      const size_t eq = piece.find('=');
      std::string key = UrlDecode(piece.substr(0, eq));
      std::string value = eq == std::string_view::npos ? std::string() : UrlDecode(piece.substr(eq + 1));
      PutPair(pairs, std::move(key), std::move(value));
    }
    if (amp == std::string_view::npos) break;
    query = query.substr(amp + 1);
  }
  return pairs;
}

void Quarn::AssignText(CallResult& call, BindingProperty& slot, const BindingFunction& function, int index,
                       std::string_view parameter, std::string_view text, std::string_view content_type,
                       bool structured, const BindingRegistry& registry) {
  const bool sniff = structured && content_type.empty();
  if (StartsWithNoCase(content_type, "application/x-msgpack")) {
    AssignMsgPack(call, slot, parameter, function, text);
    return;
  }
  if (sniff && !text.empty()) {
    const auto first = static_cast<uint8_t>(text.front());
    if ((first >= 0x80 && first <= 0x9F) || (first >= 0xDC && first <= 0xDF)) {
      AssignMsgPack(call, slot, parameter, function, text);
      return;
    }
  }
  const std::string_view trimmed = AfterSpaces(text);
  if (StartsWithNoCase(content_type, "application/json") ||
      (sniff && !trimmed.empty() && (trimmed.front() == '{' || trimmed.front() == '['))) {
    BindingResult parsed = FromJson(text);
    if (!parsed.ok()) {
      call.Fail(Format(ApiMessage::kJsonParameter, parameter, function.name(), parsed.ErrorMessage()));
      return;
    }
    slot = std::move(parsed.value);
    return;
  }
  if (StartsWithNoCase(content_type, "text/x-yaml") || (sniff && trimmed.starts_with("---"))) {
    BindingResult parsed = ReadYaml(text);
    if (!parsed.ok()) {
      call.Fail(Format(ApiMessage::kYamlParameter, parameter, function.name(), parsed.ErrorMessage()));
      return;
    }
    slot = std::move(parsed.value);
    return;
  }
  if (StartsWithNoCase(content_type, "application/octet-stream")) {
    slot.SetBlob(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    return;
  }
  if (index < 0) {
    slot.SetString(text);
    return;
  }
  function.handler().AssignText(static_cast<size_t>(index), call.value, slot, text, parameter, registry);
}

void Quarn::BindArgument(CallResult& call, std::span<BindingProperty> slots, const BindingFunction& function,
                         std::string_view key, std::string_view text, ArgumentLocation source,
                         const BindingRegistry& registry) {
  const size_t dot = key.find('.');
  const std::string_view segment = key.substr(0, dot);
  const int index = function.FindArgument(segment);
  if (index < 0) {
    call.Fail(Format(ApiMessage::kUnknownArgument, segment, function.name()));
    return;
  }
  const BindingArgument& argument = function.arguments()[static_cast<size_t>(index)];
  if (argument.location != ArgumentLocation::Any && argument.location != source) {
    call.Fail(Format(ApiMessage::kInvalidLocation, segment, function.name()));
    return;
  }
  BindingProperty& slot = slots[static_cast<size_t>(index)];
  if (dot != std::string_view::npos) {
    AssignByPath(call, slot, function, argument.name, key.substr(dot + 1), text, registry);
    return;
  }
  const BindingTypeKind kind = argument.type.kind;
  if (text.empty()) {
    if (kind == BindingTypeKind::Bool) {
      slot.SetBool(true);
    } else if (kind == BindingTypeKind::Object || kind == BindingTypeKind::Struct) {
      slot.Clear();
      slot.MakeStructure();
    } else if (kind == BindingTypeKind::Vector) {
      slot.Clear();
      slot.MakeCollection();
    } else {
      call.Fail(Format(ApiMessage::kExpectedValue, argument.name));
    }
    return;
  }
  AssignText(call, slot, function, index, argument.name, text, {}, IsStructuredKind(kind), registry);
}

void Quarn::BindAndInvoke(CallResult& call, const BindingFunction& function, const HostRequest& request,
                          const MatchState& match, const BindingRegistry& registry) {
  const std::span<const BindingArgument> arguments = function.arguments();
  std::vector<BindingProperty> slots(arguments.size());
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i].default_value) slots[i] = *arguments[i].default_value;
    if (arguments[i].type.kind == BindingTypeKind::Bool && !arguments[i].optional && slots[i].IsEmpty()) {
      slots[i].SetBool(false);
    }
  }

  // Header values: only the lower-case spelling of an argument's name is
  // looked for, as the host lower-cases pair names.
  Pairs headers;
  if (request.pairs != nullptr && request.pair_count > 0) {
    Pairs by_name;
    for (uint32_t i = 0; i < request.pair_count; ++i) {
      const HostNameValue& pair = request.pairs[i];
      if (pair.name == nullptr) continue;
      PutPair(by_name, pair.name, pair.value != nullptr ? pair.value : "");
    }
    for (const BindingArgument& argument : arguments) {
      if (argument.name.empty()) continue;
      if (argument.location != ArgumentLocation::Any && argument.location != ArgumentLocation::Header) {
        continue;
      }
      std::string lower(argument.name);
      for (char& c : lower) c = ToLower(c);
      for (const auto& [name, value] : by_name) {
        if (name == lower) {
          headers.emplace_back(argument.name, value);
          break;
        }
      }
    }
  }
  const Pairs query = ParseQuery(request.path != nullptr ? request.path : "");

  const std::span<BindingProperty> slot_span(slots);
  const std::pair<const Pairs*, ArgumentLocation> passes[] = {
      {&headers, ArgumentLocation::Header},
      {&match.path_arguments, ArgumentLocation::Path},
      {&query, ArgumentLocation::Query},
  };
  for (const auto& [values, source] : passes) {
    for (const auto& [key, text] : *values) {
      if (!call.ok()) break;
      BindArgument(call, slot_span, function, key, text, source, registry);
    }
  }

  if (call.ok() && request.arguments != nullptr) {
    for (uint32_t i = 0; i < request.argument_count && call.ok(); ++i) {
      const HostTypedArgument& entry = request.arguments[i];
      int index = -1;
      std::string label;
      if (entry.name == nullptr) {
        // Unnamed typed arguments count after the path arguments.
        const size_t position = match.path_arguments.size() + i;
        label = std::to_string(position);
        if (position < arguments.size()) index = static_cast<int>(position);
      } else {
        label = entry.name;
        index = function.FindArgument(label);
      }
      if (index < 0) {
        call.Fail(Format(ApiMessage::kUnknownArgument, label, function.name()));
        break;
      }
      const BindingArgument& argument = arguments[static_cast<size_t>(index)];
      std::string error;
      if (!FromHostValue(slots[static_cast<size_t>(index)], entry.value, argument.name, error)) {
        call.Fail(error);
      }
    }
  }

  const int body_index = function.BodyArgument();
  if (request.body != nullptr && body_index >= 0) {
    BindingProperty& slot = slots[static_cast<size_t>(body_index)];
    const std::string_view content_type = request.content_type != nullptr ? request.content_type : "";
    const std::string_view bytes(reinterpret_cast<const char*>(request.body), request.body_length);
    // Text codecs read up to the first NUL, never past the stated length.
    const std::string_view text = bytes.substr(0, bytes.find('\0'));
    if (StartsWithNoCase(content_type, "application/x-msgpack")) {
      auto read = ReadMsgPack(request.body, request.body_length);
      if (!read.result.ok()) {
        call.Fail(read.result.ErrorMessage());
      } else if (read.consumed < request.body_length) {
        call.Fail(ApiMessage::kExtraMsgPack);
      } else {
        slot = std::move(read.result.value);
      }
    } else if (StartsWithNoCase(content_type, "application/json") ||
               StartsWithNoCase(content_type, "application/vnd.api+json")) {
      BindingResult parsed = FromJson(text);
      if (!parsed.ok())
        call.Fail(parsed.ErrorMessage());
      else
        slot = std::move(parsed.value);
    } else if (StartsWithNoCase(content_type, "application/x-yaml")) {
      BindingResult parsed = ReadYaml(text);
      if (!parsed.ok())
        call.Fail(parsed.ErrorMessage());
      else
        slot = std::move(parsed.value);
    } else {
      call.Fail(ApiMessage::kUnsupportedBody);
    }
  }

  if (!call.ok()) return;
  RequestContext context{request.host_handle, &request, &function, &call};
  function.handler().Invoke(call, slots, registry, context);
}
