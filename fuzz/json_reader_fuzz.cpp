// Fuzzes FromJson and writes every value it reads back as JSON, which must
// read again. For shallow inputs the reader's iterative RapidJSON mode must
// fail exactly as the default mode does, and whatever the fast path takes
// must read to the tree the full reader reads.
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "binding/detail/json_full_reader.h"
#include "binding/detail/plain_json.h"
#include "binding/json_reader.h"
#include "binding/json_writer.h"

namespace {

// The default mode recurses once per level; keep it well inside the stack.
bool Shallow(std::string_view text) {
  int depth = 0;
  for (char c : text) {
    if (c == '[' || c == '{') ++depth;
    if (depth > 200) return false;
  }
  return true;
}

void CheckModesAgree(std::string_view text) {
  const size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  if (text.find_first_not_of(" \t\r\n") == std::string_view::npos || !Shallow(text)) return;
  rapidjson::BaseReaderHandler<> handler;
  rapidjson::Reader reader;
  rapidjson::MemoryStream stream(text.data(), text.size());
  const rapidjson::ParseResult recursive = reader.Parse<rapidjson::kParseDefaultFlags>(stream, handler);
  const std::string expected =
      recursive.IsError() ? Quarn::JsonErrorMessage(recursive.Code(), recursive.Offset()) : std::string();
  const Quarn::BindingResult ours = Quarn::FromJson(text);
  if (ours.ErrorMessage() != expected) std::abort();
}

void CheckPathsAgree(std::string_view text) {
  Quarn::BindingProperty plain;
  if (!Quarn::detail::ReadPlainJson(text, plain)) return;
  const Quarn::BindingResult full = Quarn::detail::ReadJsonInFull(text);
  if (!full.ok() || Quarn::ToJson(plain) != Quarn::ToJson(full.value)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const Quarn::BindingResult result = Quarn::FromJson(text);
  if (!result.ok()) {
    if (result.ErrorMessage().rfind("Error: ", 0) != 0) std::abort();
  } else {
    const std::string compact = Quarn::ToJson(result.value);
    if (!Quarn::FromJson(compact).ok()) std::abort();
    // Pretty text grows with the square of the depth.
    if (Shallow(text) && !Quarn::FromJson(Quarn::ToJson(result.value, nullptr, "\r\n")).ok()) std::abort();
  }
  CheckModesAgree(text);
  CheckPathsAgree(text);
  return 0;
}
