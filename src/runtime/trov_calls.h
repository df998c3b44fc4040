// Backend calls over TROV: remote method invocation through the login
// plug-in's invoke endpoint (AppModule::Invoke) and backend push messages
// (AppModule::ObserveTrovEvent), which run on a later host turn.
//
//   Maybe<SpellBookDTO> book =
//       module.Await(module.Invoke<SpellBookDTO>("spellBookService", "getSpellBook", summoner_id));
//   module.ObserveTrovEvent<StoreFulfillmentNotification>(
//       "com.quarngames.platform.messaging.StoreFulfillmentNotification", [](const auto& n) { ... });
#pragma once

#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "binding/json_writer.h"
#include "binding/native_conversion.h"
#include "diagnostics/logger.h"
#include "runtime/app_module.h"
#include "runtime/trov_class_tables.h"

namespace Quarn {

// The login plug-in's endpoint for remote method invocation.
inline constexpr std::string_view kTrovInvokePath = "/kiv-login/v1/session/invoke";

namespace detail {
// "Couldn't convert TROV call parameters: {error}"
Failure TrovParameterFailure(std::string_view error);
// "Expected '{expected}' as TROV response for {destination}.{method}, but got '{actual}'"
Failure TrovClassFailure(std::string_view expected, std::string_view destination, std::string_view method,
                         std::string_view actual);
// "Couldn't convert TROV DTO {name} to C++ from {json}"
Failure TrovBodyFailure(std::string_view type_name, std::string_view json);
}  // namespace detail

template <class T, class... A>
Future<T> AppModule::Invoke(std::string_view destination, std::string_view method, const A&... arguments) {
  BindingProperty list;
  list.MakeCollection();
  std::string error;
  const auto add = [&](const auto& argument) {
    if (!error.empty()) return;
    BindingResult converted;
    ToBindingValue(converted, argument, registry());
    if (!converted.ok()) {
      error = converted.ErrorMessage();
      return;
    }
    AnnotateTrovClasses(converted.value, TypeRefOf<std::remove_cvref_t<decltype(argument)>>(registry()),
                        trov_classes_);
    list.Append() = std::move(converted.value);
  };
  (add(arguments), ...);
  (void)add;  // unused without parameters
  if (!error.empty()) return ReadyFuture<T>(detail::TrovParameterFailure(error));

  Maybe<PluginTrovResponse> answer = SendInvoke(destination, method, list);
  if (answer.HasFailure()) return ReadyFuture<T>(answer.TakeFailure());
  if constexpr (std::is_void_v<T>) {
    return ReadyFuture<void>(Maybe<void>());
  } else {
    const PluginTrovResponse& response = answer.value();
    if (response.body.IsEmpty()) return ReadyFuture<T>(Maybe<T>(T{}));
    const std::string* expected = trov_classes_.ClassOfType(StaticTypeOf<T>().id);
    if (expected != nullptr && *expected != response.type_name) {
      return ReadyFuture<T>(detail::TrovClassFailure(*expected, destination, method, response.type_name));
    }
    T value{};
    BindingResult converted;
    FromBindingValue(converted, response.body, "<value>", value, registry());
    if (!converted.ok()) {
      return ReadyFuture<T>(
          detail::TrovBodyFailure(StaticTypeOf<T>().name, ToJson(response.body, &registry())));
    }
    return ReadyFuture<T>(Maybe<T>(std::move(value)));
  }
}

template <class T, class F>
void AppModule::ObserveTrovEvent(std::string_view class_name, F handler) {
  ObserveTrovClass(class_name, [this, handler = std::move(handler)](const PluginTrovEvent& event) {
    T value{};
    BindingResult converted;
    FromBindingValue(converted, event.body, "<value>", value, registry());
    if (!converted.ok()) {
      Log(kLogOkay, kChannelXtr, "%s: Couldn't convert TROV DTO %s to C++ from %s", short_name_.c_str(),
          StaticTypeOf<T>().name.c_str(), ToJson(event.body, &registry()).c_str());
      return;
    }
    handler(value);
  });
}

}  // namespace Quarn
