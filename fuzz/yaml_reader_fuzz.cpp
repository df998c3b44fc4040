// Fuzzes ReadYaml and writes every value it reads back as JSON.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "binding/json_reader.h"
#include "binding/json_writer.h"
#include "binding/yaml_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Quarn::BindingResult result =
      Quarn::ReadYaml(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!result.ok()) {
    if (result.ErrorMessage().empty()) std::abort();
    return 0;
  }
  const std::string json = Quarn::ToJson(result.value);
  if (!json.empty() && !Quarn::FromJson(json).ok()) std::abort();
  return 0;
}
