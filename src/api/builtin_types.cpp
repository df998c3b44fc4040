#include "api/builtin_types.h"

#include "binding/binding_registry.h"
#include "binding/native_conversion.h"

void Quarn::RegisterBuiltinTypes(BindingRegistry& registry) {
  registry.Enumeration<BindingAsyncState>("BindingAsyncState")
      .Description("Possible states of an asynchronous operation.")
      .Tag("$builtin")
      .Tag("async")
      .Value("None", BindingAsyncState::None, "Invalid state")
      .Value("Running", BindingAsyncState::Running, "The operation is in flight")
      .Value("Cancelling", BindingAsyncState::Cancelling, "A request to cancel the operation has been made")
      .Value("Cancelled", BindingAsyncState::Cancelled, "The operation was cancelled")
      .Value("Succeeded", BindingAsyncState::Succeeded, "The operation completed successfully")
      .Value("Failed", BindingAsyncState::Failed, "The operation encountered an error");

  registry.Structure<BindingGenericEvent>("BindingGenericEvent")
      .Description("Represents generic data for an event.")
      .Tag("$builtin")
      .Field("data", &BindingGenericEvent::data, "Event data");
  registry.Structure<BindingCallbackEvent>("BindingCallbackEvent")
      .Description("Represents the parameters of a call to a provided callback.")
      .Tag("$builtin")
      .Field("id", &BindingCallbackEvent::id, "ID of the callback being invoked")
      .Field("parameters", &BindingCallbackEvent::parameters, "Callback parameters");
  registry.Structure<BindingGenericAsyncEvent>("BindingGenericAsyncEvent")
      .Description("Represents generic data for an asynchronous event.")
      .Tags({"$builtin", "async"})
      .Field("asyncToken", &BindingGenericAsyncEvent::async_token, "Asynchronous operation token")
      .Field("data", &BindingGenericAsyncEvent::data, "Event data");
  registry.Structure<BindingAsyncFailureEvent>("BindingAsyncFailureEvent")
      .Description("Represents a failed asynchronous operation.")
      .Tags({"$builtin", "async"})
      .Field("asyncToken", &BindingAsyncFailureEvent::async_token, "Asynchronous operation token")
      .Field("error", &BindingAsyncFailureEvent::error, "Error message");
  registry.Structure<BindingAsyncCancelEvent>("BindingAsyncCancelEvent")
      .Description("Represents a cancelled asynchronous operation.")
      .Tags({"$builtin", "async"})
      .Field("asyncToken", &BindingAsyncCancelEvent::async_token, "Asynchronous operation token");

  registry.Enumeration<BindingHelpFormat>("BindingHelpFormat")
      .Description("Help format for binding functions and types.")
      .Tag("$builtin")
      .Tag("help")
      .Value("Full", BindingHelpFormat::Full, "Native help format")
      .Value("Epytext", BindingHelpFormat::Epytext, "Python epytext format");

  using Identifier = BindingFullTypeIdentifier;
  registry.Structure<Identifier>("BindingFullTypeIdentifier")
      .Description("Describes the type of a value.")
      .Tags({"$builtin", "help"})
      .Field("type", &Identifier::type)
      .Field("elementType", &Identifier::element_type);
  using Argument = BindingFullArgumentHelp;
  registry.Structure<Argument>("BindingFullArgumentHelp")
      .Description("Describes a function parameter.")
      .Tags({"$builtin", "help"})
      .Field("name", &Argument::name)
      .Field("description", &Argument::description)
      .Field("type", &Argument::type)
      .Field("optional", &Argument::optional);
  using Function = BindingFullFunctionHelp;
  registry.Structure<Function>("BindingFullFunctionHelp")
      .Description("Describes a function.")
      .Tags({"$builtin", "help"})
      .Field("name", &Function::name)
      .Field("nameSpace", &Function::name_space)
      .Field("arguments", &Function::arguments)
      .Field("returns", &Function::returns)
      .Field("description", &Function::description)
      .Field("help", &Function::help)
      .Field("threadSafe", &Function::thread_safe)
      .Field("async", &Function::async)
      .Field("tags", &Function::tags);
  using EnumValue = BindingFullEnumValueHelp;
  registry.Structure<EnumValue>("BindingFullEnumValueHelp")
      .Description("Describes an enumerator.")
      .Tags({"$builtin", "help"})
      .Field("name", &EnumValue::name)
      .Field("description", &EnumValue::description)
      .Field("value", &EnumValue::value);
  using FieldHelp = BindingFullFieldHelp;
  registry.Structure<FieldHelp>("BindingFullFieldHelp")
      .Description("Describes a member of a struct.")
      .Tags({"$builtin", "help"})
      .Field("name", &FieldHelp::name)
      .Field("description", &FieldHelp::description)
      .Field("offset", &FieldHelp::offset)
      .Field("type", &FieldHelp::type)
      .Field("optional", &FieldHelp::optional);
  using TypeHelp = BindingFullTypeHelp;
  registry.Structure<TypeHelp>("BindingFullTypeHelp")
      .Description("Describes a struct or enum type.")
      .Tags({"$builtin", "help"})
      .Field("name", &TypeHelp::name)
      .Field("nameSpace", &TypeHelp::name_space)
      .Field("size", &TypeHelp::size)
      .Field("description", &TypeHelp::description)
      .Field("tags", &TypeHelp::tags)
      .Field("fields", &TypeHelp::fields)
      .Field("values", &TypeHelp::values);
  using EventHelp = BindingFullEventHelp;
  registry.Structure<EventHelp>("BindingFullEventHelp")
      .Description("Describes an event.")
      .Tags({"$builtin", "help"})
      .Field("name", &EventHelp::name)
      .Field("nameSpace", &EventHelp::name_space)
      .Field("type", &EventHelp::type)
      .Field("description", &EventHelp::description)
      .Field("tags", &EventHelp::tags);
  using ApiHelp = BindingFullApiHelp;
  registry.Structure<ApiHelp>("BindingFullApiHelp")
      .Description("Describes the exposed native API.")
      .Tags({"$builtin", "help"})
      .Field("functions", &ApiHelp::functions)
      .Field("types", &ApiHelp::types)
      .Field("events", &ApiHelp::events);
}

Quarn::BindingEvent Quarn::BuiltinCallbackEvent() {
  return BindingEvent{
      "OnCallback", "", "BindingCallbackEvent", "Fired when a callback is invoked.", {"$builtin"}};
}
