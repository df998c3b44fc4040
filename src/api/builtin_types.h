// The builtin types and event every API object starts with: the states of
// an asynchronous operation, the generic event payloads, the payload of a
// callback invocation, and the self-description of an API. All carry the
// tag "$builtin"; the asynchronous ones also "async", the self-description
// ones "help".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "api/binding_event.h"
#include "binding/binding_property.h"

namespace Quarn {

class BindingRegistry;

enum class BindingAsyncState : int32_t {
  None = 0,
  Running = 1,
  Cancelling = 2,
  Cancelled = 3,
  Succeeded = 4,
  Failed = 5,
};

enum class BindingHelpFormat : int32_t {
  Full = 1,
  Epytext = 2,
};

struct BindingGenericEvent {
  BindingProperty data;
};

struct BindingCallbackEvent {
  uint32_t id = 0;
  std::vector<BindingProperty> parameters;
};

struct BindingGenericAsyncEvent {
  uint32_t async_token = 0;
  BindingProperty data;
};

struct BindingAsyncFailureEvent {
  uint32_t async_token = 0;
  std::string error;
};

struct BindingAsyncCancelEvent {
  uint32_t async_token = 0;
};

struct BindingFullTypeIdentifier {
  std::string type;
  std::string element_type;
};

struct BindingFullArgumentHelp {
  std::string name;
  std::string description;
  BindingFullTypeIdentifier type;
  bool optional = false;
};

struct BindingFullFunctionHelp {
  std::string name;
  std::string name_space;
  std::vector<BindingFullArgumentHelp> arguments;
  BindingFullTypeIdentifier returns;
  std::string description;
  std::string help;
  bool thread_safe = false;
  std::string async;
  std::vector<std::string> tags;
};

struct BindingFullEnumValueHelp {
  std::string name;
  std::string description;
  int32_t value = 0;
};

struct BindingFullFieldHelp {
  std::string name;
  std::string description;
  uint32_t offset = 0;
  BindingFullTypeIdentifier type;
  bool optional = false;
};

struct BindingFullTypeHelp {
  std::string name;
  std::string name_space;
  uint32_t size = 0;
  std::string description;
  std::vector<std::string> tags;
  std::vector<BindingFullFieldHelp> fields;
  std::vector<BindingFullEnumValueHelp> values;
};

struct BindingFullEventHelp {
  std::string name;
  std::string name_space;
  BindingFullTypeIdentifier type;
  std::string description;
  std::vector<std::string> tags;
};

struct BindingFullApiHelp {
  std::vector<BindingFullFunctionHelp> functions;
  std::vector<BindingFullTypeHelp> types;
  std::vector<BindingFullEventHelp> events;
};

// Registers the types above, in a fixed order. The API object's
// constructor calls it, and adds BuiltinCallbackEvent(), before anything
// else is registered.
void RegisterBuiltinTypes(BindingRegistry& registry);
// The event OnCallback, whose payload is BindingCallbackEvent.
BindingEvent BuiltinCallbackEvent();

}  // namespace Quarn
