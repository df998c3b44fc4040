// Quarn::BindingFunction: one registered function of a binding API (name,
// method, path template, arguments, result type, tags, help, handler) and
// its compiled route. Records are created by BindingApi's registration
// forms and only read afterwards.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "api/call_result.h"
#include "api/method.h"
#include "api/route.h"
#include "binding/binding_property.h"
#include "binding/binding_registry.h"
#include "binding/static_type.h"
#include "kiv/plugin_abi.h"

namespace Quarn {

class BindingFunction;

// Where an argument's value may come from; the numbers are the host's.
enum class ArgumentLocation : uint32_t {
  Any = 0,
  Query = 1,
  Path = 2,
  Header = 4,
  Body = 5,
};

struct BindingArgument {
  std::string name;        // empty until the registering code names the argument
  uint32_t name_hash = 0;  // FNV-1a of `name`
  std::string help;
  BindingTypeRef type;  // of the handler's parameter (of T for std::optional<T>)
  ArgumentLocation location = ArgumentLocation::Any;
  bool optional = false;                         // the parameter is a std::optional
  std::optional<BindingProperty> default_value;  // the slot's value before binding
};

// Per-request information a handler may ask for by taking a
// `RequestContext&` as its first parameter. Borrowed for the duration of
// the call.
struct RequestContext {
  void* request_token = nullptr;  // the host's request token
  const HostRequest* request = nullptr;
  const BindingFunction* function = nullptr;
  // The call's outcome: a handler may set status, content type, headers or
  // a body stream here; the result value is set from its return value.
  CallResult* call = nullptr;
};

// The type-erased handler of a function: converts binding values into the
// native parameters, calls the callable and writes its outcome.
class BindingHandler {
 public:
  virtual ~BindingHandler() = default;

  // Converts `text` into argument `index`'s native type and stores the
  // binding value of the result in `slot`; failures go into `result` with
  // the text conversion's message.
  // REQUIRES: index < number of parameters.
  virtual void AssignText(size_t index, BindingResult& result, BindingProperty& slot, std::string_view text,
                          std::string_view name, const BindingRegistry& registry) const = 0;

  // Converts `arguments` (one per parameter) into the native parameters
  // and, when all convert, calls the callable. The return value becomes
  // call.value (or the failure's message and code go into call.value and
  // call.status). Nothing happens when call has already failed.
  virtual void Invoke(CallResult& call, std::span<BindingProperty> arguments, const BindingRegistry& registry,
                      RequestContext& context) const = 0;

  // The static type of the callable's result value (void for Maybe<void>).
  virtual const StaticType& ResultType() const = 0;
};

class BindingFunction {
 public:
  BindingFunction(std::string name, Method method, std::string path, std::unique_ptr<BindingHandler> handler);

  const std::string& name() const { return name_; }
  const std::string& name_space() const { return name_space_; }
  Method method() const { return method_; }
  // Compared only when method() is Custom.
  const std::string& custom_method() const { return custom_method_; }
  // The template, one trailing "/" removed when longer than one character.
  const std::string& path() const { return path_; }
  std::span<const BindingArgument> arguments() const { return arguments_; }
  // Kind None (0) for a function that returns nothing.
  const BindingTypeRef& result_type() const { return result_type_; }
  const std::vector<std::string>& tags() const { return tags_; }
  const std::string& help() const { return help_; }
  // KIV_FUNCTION_THREAD_SAFE | KIV_FUNCTION_ASYNC bits.
  uint32_t flags() const { return flags_; }
  // Compiled once from path(), or from name() when the path is empty.
  const Route& route() const { return route_; }
  const BindingHandler& handler() const { return *handler_; }

  // Index of the argument named `name`, or -1.
  int FindArgument(std::string_view name) const;
  // Index of the first body argument, or -1.
  int BodyArgument() const { return body_argument_; }

 private:
  friend class BindingApi;
  friend class ArgumentBuilder;

  std::string name_;
  std::string name_space_;
  Method method_;
  std::string custom_method_;
  std::string path_;
  std::vector<BindingArgument> arguments_;
  BindingTypeRef result_type_;
  std::vector<std::string> tags_;
  std::string help_;
  uint32_t flags_ = 0;
  Route route_;
  std::unique_ptr<BindingHandler> handler_;
  size_t named_ = 0;  // arguments named so far by the builder
  int body_argument_ = -1;
};

// Names the arguments of a function just registered, in parameter order.
// Every call does nothing when the function already existed (the builder
// of a duplicate registration).
class ArgumentBuilder {
 public:
  explicit ArgumentBuilder(BindingFunction* function) : function_(function) {}

  ArgumentBuilder& Path(std::string_view name, std::string_view help = {});
  ArgumentBuilder& Query(std::string_view name, std::string_view help = {});
  ArgumentBuilder& Body(std::string_view name, std::string_view help = {});
  ArgumentBuilder& Header(std::string_view name, std::string_view help = {});
  ArgumentBuilder& Any(std::string_view name, std::string_view help = {});
  // The general form; `default_value` fills the slot before binding.
  ArgumentBuilder& Argument(std::string_view name, std::string_view help, ArgumentLocation location,
                            std::optional<BindingProperty> default_value = std::nullopt);

  ArgumentBuilder& Help(std::string_view help);
  ArgumentBuilder& Tag(std::string_view tag);  // an empty tag is ignored
  ArgumentBuilder& NameSpace(std::string_view name_space);
  ArgumentBuilder& ThreadSafe(bool on = true);
  ArgumentBuilder& Async(bool on = true);

  // Null for the builder of a duplicate registration.
  const BindingFunction* function() const { return function_; }

 private:
  BindingFunction* function_;
};

}  // namespace Quarn
