// Quarn::BindingApi: the plug-in's API object. It owns the type registry,
// the registered functions (in registration order) and the events, and is
// what the runtime turns into the host's API description.
//
// Registration happens once, at start-up, on one thread; afterwards the
// object is only read (dispatch reads functions concurrently without locks).
//
//   api.Get("/kiv-collections/v1/inventories/{summonerId}/runes", &GetRunes)
//       .Path("summonerId", "The summoner.");
//
// A handler is any callable taking native parameters (integers, bool,
// std::string, double, registered enums and structs, BindingProperty,
// std::vector of those, std::optional<T> for optional arguments), optionally
// preceded by `RequestContext&`, and returning Maybe<T> or Maybe<void>.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "api/binding_event.h"
#include "api/binding_function.h"
#include "api/detail/handler_adapter.h"
#include "api/function_name.h"
#include "api/method.h"
#include "binding/binding_registry.h"

namespace Quarn {

class BindingApi {
 public:
  // Registers the builtin types and the event OnCallback.
  BindingApi();
  ~BindingApi();
  BindingApi(const BindingApi&) = delete;
  BindingApi& operator=(const BindingApi&) = delete;

  BindingRegistry& registry() { return registry_; }
  const BindingRegistry& registry() const { return registry_; }

  // In registration order. Records stay at their address for the API's
  // lifetime, so a pointer to one may serve as the host's context word.
  const std::vector<std::unique_ptr<BindingFunction>>& functions() const { return functions_; }
  // Null when no function has that name.
  const BindingFunction* FindFunction(std::string_view name) const;

  // In registration order.
  const std::vector<BindingEvent>& events() const { return events_; }
  // Adds an event unless one of that name exists (then returns false and
  // changes nothing). The registration tags are appended to its tags.
  bool AddEvent(BindingEvent event);

  // Tags appended to every function and event registered from now on.
  void SetRegistrationTags(std::vector<std::string> tags) { registration_tags_ = std::move(tags); }
  const std::vector<std::string>& registration_tags() const { return registration_tags_; }

  // Registers `handler` under the name derived from the method and
  // `path_template` (see DeriveFunctionName). A trailing "/" is removed
  // from templates longer than one character; the route is compiled here,
  // once. When a function of that name exists nothing changes and the
  // returned builder ignores every call.
  template <class F>
  ArgumentBuilder Register(Method method, std::string_view path_template, F&& handler) {
    return Add(method, {}, path_template,
               std::make_unique<detail::HandlerAdapter<std::decay_t<F>>>(std::forward<F>(handler)));
  }
  // Method Custom with its own method text (which also names the function).
  template <class F>
  ArgumentBuilder Custom(std::string_view method_text, std::string_view path_template, F&& handler) {
    return Add(Method::Custom, method_text, path_template,
               std::make_unique<detail::HandlerAdapter<std::decay_t<F>>>(std::forward<F>(handler)));
  }
  template <class F>
  ArgumentBuilder Get(std::string_view t, F&& h) {
    return Register(Method::Get, t, std::forward<F>(h));
  }
  template <class F>
  ArgumentBuilder Put(std::string_view t, F&& h) {
    return Register(Method::Put, t, std::forward<F>(h));
  }
  template <class F>
  ArgumentBuilder Post(std::string_view t, F&& h) {
    return Register(Method::Post, t, std::forward<F>(h));
  }
  template <class F>
  ArgumentBuilder Delete(std::string_view t, F&& h) {
    return Register(Method::Delete, t, std::forward<F>(h));
  }
  template <class F>
  ArgumentBuilder Patch(std::string_view t, F&& h) {
    return Register(Method::Patch, t, std::forward<F>(h));
  }
  template <class F>
  ArgumentBuilder Head(std::string_view t, F&& h) {
    return Register(Method::Head, t, std::forward<F>(h));
  }
  template <class F>
  ArgumentBuilder Options(std::string_view t, F&& h) {
    return Register(Method::Options, t, std::forward<F>(h));
  }
  // Method None: the function accepts every method.
  template <class F>
  ArgumentBuilder AnyMethod(std::string_view t, F&& h) {
    return Register(Method::None, t, std::forward<F>(h));
  }

 private:
  ArgumentBuilder Add(Method method, std::string_view custom_method, std::string_view path_template,
                      std::unique_ptr<detail::HandlerBase> handler);

  BindingRegistry registry_;
  std::vector<std::unique_ptr<BindingFunction>> functions_;
  std::vector<BindingEvent> events_;
  std::vector<std::string> registration_tags_;
};

}  // namespace Quarn
