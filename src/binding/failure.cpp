#include "binding/failure.h"

namespace {

constexpr std::string_view kErrorCodeField = "errorCode_int";

// Records a non-zero code as the "errorCode_int" detail, replacing one the
// template may have produced, so the detail always matches code().
void SetCodeDetail(std::vector<Quarn::NamedField>& details, uint32_t code) {
  if (code == 0) return;
  for (Quarn::NamedField& field : details) {
    if (field.name == kErrorCodeField) {
      field.value = int64_t{code};
      return;
    }
  }
  details.push_back({std::string(kErrorCodeField), int64_t{code}});
}

}  // namespace

Quarn::Failure::Failure(std::string message, uint32_t code) : code_(code), message_(std::move(message)) {
  SetCodeDetail(details_, code_);
}

Quarn::Failure Quarn::Failure::FromNamed(uint32_t code, NamedMessage message) {
  Failure failure(std::move(message.text));
  failure.code_ = code;
  failure.details_ = std::move(message.fields);
  SetCodeDetail(failure.details_, code);
  return failure;
}

const Quarn::FieldValue* Quarn::Failure::FindDetail(std::string_view name) const {
  for (const NamedField& field : details_) {
    if (field.name == name) return &field.value;
  }
  return nullptr;
}

Quarn::Failure Quarn::NotFound(std::string_view message) {
  return Failure(message.empty() ? std::string("Not found") : std::string(message), 404);
}

Quarn::Failure Quarn::InternalError(std::string_view message) {
  return Failure(message.empty() ? std::string("Internal server error") : std::string(message), 500);
}
