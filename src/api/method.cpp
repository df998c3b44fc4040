#include "api/method.h"

std::string_view Quarn::MethodText(Method method) {
  switch (method) {
    case Method::Delete:
      return "DELETE";
    case Method::Get:
      return "GET";
    case Method::Head:
      return "HEAD";
    case Method::Options:
      return "OPTIONS";
    case Method::Patch:
      return "PATCH";
    case Method::Post:
      return "POST";
    case Method::Put:
      return "PUT";
    case Method::None:
    case Method::Custom:
      break;
  }
  return {};
}

Quarn::Method Quarn::MethodFromCode(uint32_t code) {
  return code >= 1 && code <= 8 ? static_cast<Method>(code) : Method::None;
}
