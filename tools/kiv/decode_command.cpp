// kiv decode: reads a body in one of the three wire forms and prints the
// JSON text the plug-in would make of it.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "api/api_messages.h"
#include "binding/json_reader.h"
#include "binding/json_writer.h"
#include "binding/msgpack_reader.h"
#include "binding/yaml_reader.h"
#include "tools/kiv/commands.h"

namespace {

constexpr char kUsage[] =
    "usage: kiv decode --format json|msgpack|yaml [--pretty] [FILE]\n"
    "\n"
    "Reads FILE (or standard input when FILE is missing or '-'), decodes it with\n"
    "the plug-in's reader for the format and writes the value to standard output\n"
    "as the plug-in's JSON text, exactly (no line end is added; an empty value\n"
    "writes nothing).\n"
    "\n"
    "options:\n"
    "  --format F   json, msgpack or yaml (also --format=F)\n"
    "  --pretty     four-space indented JSON instead of compact (at most 10000\n"
    "               levels deep: indented output grows with the square of the depth)\n"
    "  --help       show this text\n"
    "\n"
    "exit status: 0 decoded; 1 the input could not be read or decoded (the\n"
    "reader's message goes to standard error); 2 wrong usage.\n";

enum class Format { kNone, kJson, kMsgPack, kYaml };

int UsageError(const char* problem, const char* detail) {
  std::fprintf(stderr, "kiv decode: %s%s\n\n%s", problem, detail, kUsage);
  return 2;
}

bool ReadAll(FILE* in, std::string& out) {
  char buffer[65536];
  for (;;) {
    const size_t n = std::fread(buffer, 1, sizeof(buffer), in);
    out.append(buffer, n);
    if (n < sizeof(buffer)) return std::ferror(in) == 0;
  }
}

// Indented output of a value N levels deep holds about N*N/2 spaces of
// indentation, so a short hostile input would print gigabytes.
constexpr size_t kMaxPrettyDepth = 10000;

// Levels of arrays and objects, counted without recursion; stops counting
// once past `limit`.
size_t NestingDepth(const Quarn::BindingProperty& root, size_t limit) {
  std::vector<std::pair<const Quarn::BindingProperty*, size_t>> pending{{&root, 0}};
  size_t deepest = 0;
  while (!pending.empty()) {
    auto [value, level] = pending.back();
    pending.pop_back();
    if (value->IsCollection()) {
      for (const auto& element : value->Elements()) pending.emplace_back(&element, level + 1);
    } else if (value->IsStructure()) {
      for (const auto& member : value->Members()) pending.emplace_back(&member.value(), level + 1);
    } else {
      continue;
    }
    deepest = std::max(deepest, level + 1);
    if (deepest > limit) break;
  }
  return deepest;
}

}  // namespace

int kiv::RunDecode(int argc, char** argv) {
  Format format = Format::kNone;
  bool pretty = false;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    std::string_view format_name;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--pretty") {
      pretty = true;
      continue;
    }
    if (arg == "--format") {
      if (i + 1 == argc) return UsageError("--format needs a value", "");
      format_name = argv[++i];
    } else if (arg.starts_with("--format=")) {
      format_name = arg.substr(9);
    } else if (arg.size() > 1 && arg[0] == '-') {
      return UsageError("unknown option ", argv[i]);
    } else if (path != nullptr) {
      return UsageError("more than one input file: ", argv[i]);
    } else {
      path = argv[i];
      continue;
    }
    if (format_name == "json") {
      format = Format::kJson;
    } else if (format_name == "msgpack") {
      format = Format::kMsgPack;
    } else if (format_name == "yaml") {
      format = Format::kYaml;
    } else {
      return UsageError("unknown format ", std::string(format_name).c_str());
    }
  }
  if (format == Format::kNone) return UsageError("--format is required", "");

  std::string input;
  const bool from_stdin = path == nullptr || std::string_view(path) == "-";
  FILE* in = from_stdin ? stdin : std::fopen(path, "rb");
  if (in == nullptr) {
    std::fprintf(stderr, "kiv decode: cannot open %s: %s\n", path, std::strerror(errno));
    return 1;
  }
  const bool read_ok = ReadAll(in, input);
  if (!from_stdin) std::fclose(in);
  if (!read_ok) {
    std::fprintf(stderr, "kiv decode: cannot read %s\n", from_stdin ? "standard input" : path);
    return 1;
  }

  Quarn::BindingResult result;
  switch (format) {
    case Format::kJson:
      result = Quarn::FromJson(input);
      break;
    case Format::kYaml:
      result = Quarn::ReadYaml(input);
      break;
    default: {
      auto read = Quarn::ReadMsgPack(reinterpret_cast<const uint8_t*>(input.data()), input.size());
      result = std::move(read.result);
      if (result.ok() && read.consumed < input.size())
        result.Fail(Quarn::ApiMessage::kExtraMsgPack);  // as for a request body
      break;
    }
  }
  if (!result.ok()) {
    const std::string_view message = result.ErrorMessage();
    std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
    return 1;
  }
  if (pretty && NestingDepth(result.value, kMaxPrettyDepth) > kMaxPrettyDepth) {
    std::fprintf(stderr,
                 "kiv decode: the value is nested more than %zu levels deep, too deep for --pretty "
                 "(indented output grows with the square of the depth); leave out --pretty for the "
                 "compact form\n",
                 kMaxPrettyDepth);
    return 1;
  }
  if (!Quarn::WriteJson(result.value, stdout, pretty)) {
    std::fprintf(stderr, "kiv decode: cannot write the output\n");
    return 1;
  }
  return 0;
}
