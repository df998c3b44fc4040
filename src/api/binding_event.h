// Quarn::BindingEvent: an event an API object offers, with the registered
// type of its payload.
#pragma once

#include <string>
#include <vector>

namespace Quarn {

struct BindingEvent {
  std::string name;
  std::string name_space;
  std::string payload_type;  // registered type name of the payload
  std::string description;
  std::vector<std::string> tags;
};

}  // namespace Quarn
