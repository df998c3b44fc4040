#include "runtime/event_name.h"

#include <vector>

std::string Quarn::EventNameOfUri(std::string_view uri) {
  std::vector<std::string_view> entries{kJsonApiEventName};
  size_t position = 0;
  while (position < uri.size()) {
    const size_t slash = uri.find('/', position);
    const size_t end = slash == std::string_view::npos ? uri.size() : slash;
    if (end > position) entries.push_back(uri.substr(position, end - position));
    position = end + 1;
  }
  // Platform configuration values are addressed two levels deeper, so they
  // keep two more segments.
  const size_t keep = entries.size() > 1 && entries[1] == "kiv-platform-config" ? 6 : 4;
  if (entries.size() > keep) entries.resize(keep);

  std::string name;
  for (std::string_view entry : entries) {
    if (!name.empty()) name += '_';
    name += entry;
  }
  return name;
}

std::string Quarn::TrovEventName(std::string_view class_name) {
  std::string name = "OnTrovEvent_";
  name += class_name;
  for (char& c : name) {
    if (c == '.') c = '_';
  }
  return name;
}
