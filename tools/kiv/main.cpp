// kiv: the project's command-line program. Each subcommand lives in its own
// file and is listed here.
#include <cstdio>
#include <cstring>
#include <string_view>

#include "tools/kiv/commands.h"

namespace {

struct Command {
  const char* name;
  int (*run)(int argc, char** argv);  // argv[0] is the subcommand name
  const char* summary;
};

constexpr Command kCommands[] = {
    {"describe", kiv::RunDescribe, "load a plug-in and print its names, versions and API description"},
    {"decode", kiv::RunDecode, "decode JSON, MessagePack or YAML and print what the plug-in makes of it"},
    {"serve", kiv::RunServe, "run a plug-in in the developer host over HTTP on 127.0.0.1"},
    {"replay", kiv::RunReplay, "replay a session recorded with kiv serve --record and compare"},
};

int Usage(FILE* out) {
  std::fprintf(out, "usage: kiv <command> [options]\n\ncommands:\n");
  for (const auto& c : kCommands) std::fprintf(out, "  %-9s %s\n", c.name, c.summary);
  std::fprintf(out, "\nRun 'kiv <command> --help' for a command's options.\n");
  return out == stdout ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage(stderr);
  const std::string_view name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") return Usage(stdout);
  for (const auto& c : kCommands) {
    if (name == c.name) return c.run(argc - 1, argv + 1);
  }
  std::fprintf(stderr, "kiv: unknown command '%s'\n\n", argv[1]);
  return Usage(stderr);
}
