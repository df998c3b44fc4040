#include "api/binding_function.h"

#include <utility>

namespace {

uint32_t Fnv1a(std::string_view text) {
  uint32_t hash = 0x811C9DC5u;
  for (char c : text) {
    hash ^= static_cast<uint8_t>(c);
    hash *= 0x01000193u;
  }
  return hash;
}

}  // namespace

Quarn::BindingFunction::BindingFunction(std::string name, Method method, std::string path,
                                        std::unique_ptr<BindingHandler> handler)
    : name_(std::move(name)), method_(method), path_(std::move(path)), handler_(std::move(handler)) {
  route_ = Route::Compile(path_.empty() ? std::string_view(name_) : std::string_view(path_));
}

int Quarn::BindingFunction::FindArgument(std::string_view name) const {
  if (name.empty()) return -1;  // unnamed arguments are reached by position only
  const uint32_t hash = Fnv1a(name);
  for (size_t i = 0; i < arguments_.size(); ++i) {
    if (arguments_[i].name_hash == hash && arguments_[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

Quarn::ArgumentBuilder& Quarn::ArgumentBuilder::Argument(std::string_view name, std::string_view help,
                                                         ArgumentLocation location,
                                                         std::optional<BindingProperty> default_value) {
  if (function_ == nullptr) return *this;
  // More names than the handler has parameters: a registration mistake with
  // nothing to attach the name to.
  if (function_->named_ >= function_->arguments_.size()) return *this;
  const size_t index = function_->named_++;
  BindingArgument& argument = function_->arguments_[index];
  argument.name = std::string(name);
  argument.name_hash = Fnv1a(name);
  argument.help = std::string(help);
  argument.location = location;
  argument.default_value = std::move(default_value);
  if (location == ArgumentLocation::Body && function_->body_argument_ < 0) {
    function_->body_argument_ = static_cast<int>(index);
  }
  return *this;
}

Quarn::ArgumentBuilder& Quarn::ArgumentBuilder::Path(std::string_view name, std::string_view help) {
  return Argument(name, help, ArgumentLocation::Path);
}
Quarn::ArgumentBuilder& Quarn::ArgumentBuilder::Query(std::string_view name, std::string_view help) {
  return Argument(name, help, ArgumentLocation::Query);
}
Quarn::ArgumentBuilder& Quarn::ArgumentBuilder::Body(std::string_view name, std::string_view help) {
  return Argument(name, help, ArgumentLocation::Body);
}
Quarn::ArgumentBuilder& Quarn::ArgumentBuilder::Header(std::string_view name, std::string_view help) {
  return Argument(name, help, ArgumentLocation::Header);
}
Quarn::ArgumentBuilder& Quarn::ArgumentBuilder::Any(std::string_view name, std::string_view help) {
  return Argument(name, help, ArgumentLocation::Any);
}

Quarn::ArgumentBuilder& Quarn::ArgumentBuilder::Help(std::string_view help) {
  if (function_ != nullptr) function_->help_ = std::string(help);
  return *this;
}
Quarn::ArgumentBuilder& Quarn::ArgumentBuilder::Tag(std::string_view tag) {
  if (function_ != nullptr && !tag.empty()) function_->tags_.emplace_back(tag);
  return *this;
}
Quarn::ArgumentBuilder& Quarn::ArgumentBuilder::NameSpace(std::string_view name_space) {
  if (function_ != nullptr) function_->name_space_ = std::string(name_space);
  return *this;
}
Quarn::ArgumentBuilder& Quarn::ArgumentBuilder::ThreadSafe(bool on) {
  if (function_ != nullptr) {
    function_->flags_ = on ? (function_->flags_ | KIV_FUNCTION_THREAD_SAFE)
                           : (function_->flags_ & ~uint32_t{KIV_FUNCTION_THREAD_SAFE});
  }
  return *this;
}
Quarn::ArgumentBuilder& Quarn::ArgumentBuilder::Async(bool on) {
  if (function_ != nullptr) {
    function_->flags_ =
        on ? (function_->flags_ | KIV_FUNCTION_ASYNC) : (function_->flags_ & ~uint32_t{KIV_FUNCTION_ASYNC});
  }
  return *this;
}
