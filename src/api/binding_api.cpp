#include "api/binding_api.h"

#include <utility>

#include "api/builtin_types.h"

Quarn::BindingApi::BindingApi() {
  RegisterBuiltinTypes(registry_);
  AddEvent(BuiltinCallbackEvent());
}

Quarn::BindingApi::~BindingApi() = default;

const Quarn::BindingFunction* Quarn::BindingApi::FindFunction(std::string_view name) const {
  for (const auto& function : functions_) {
    if (function->name() == name) return function.get();
  }
  return nullptr;
}

bool Quarn::BindingApi::AddEvent(BindingEvent event) {
  for (const BindingEvent& existing : events_) {
    if (existing.name == event.name) return false;
  }
  for (const std::string& tag : registration_tags_) event.tags.push_back(tag);
  events_.push_back(std::move(event));
  return true;
}

Quarn::ArgumentBuilder Quarn::BindingApi::Add(Method method, std::string_view custom_method,
                                              std::string_view path_template,
                                              std::unique_ptr<detail::HandlerBase> handler) {
  std::string path(path_template);
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::string_view method_text = method == Method::Custom ? custom_method : MethodText(method);
  std::string name = DeriveFunctionName(method_text, path);
  if (FindFunction(name) != nullptr) return ArgumentBuilder(nullptr);

  std::vector<BindingArgument> arguments;
  handler->DescribeArguments(registry_, arguments);
  const BindingTypeRef result_type = handler->ResultTypeRef(registry_);
  auto function =
      std::make_unique<BindingFunction>(std::move(name), method, std::move(path), std::move(handler));
  function->custom_method_ = std::string(custom_method);
  function->arguments_ = std::move(arguments);
  function->result_type_ = result_type;
  function->tags_ = registration_tags_;
  functions_.push_back(std::move(function));
  return ArgumentBuilder(functions_.back().get());
}
