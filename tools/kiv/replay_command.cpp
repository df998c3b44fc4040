// kiv replay: checks a build of a plug-in against a session recorded with
// kiv serve --record.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include <unistd.h>

#include "host/session/recording_reader.h"
#include "host/session/recording_writer.h"
#include "host/session/replay_host.h"
#include "tools/kiv/commands.h"

namespace {

constexpr const char* kUsage =
    "usage: kiv replay FILE [--plugin PATH] [--update] [--core-version X.Y.Z] [--entry NAME]\n"
    "\n"
    "Replays a session recorded with 'kiv serve --record FILE' against a plug-in:\n"
    "its requests and the events the host delivered are fed in recorded order,\n"
    "the plug-in's calls are answered from the recording, and its answers, calls\n"
    "and published events are compared with it. Each mismatch prints the line,\n"
    "its sequence number and the first field that differs.\n"
    "\n"
    "  --plugin PATH          the plug-in library (default: the built plug-in,\n"
    "                         %s)\n"
    "  --update               rewrite FILE with what this build answered, called\n"
    "                         and published (after a change that was meant)\n"
    "  --core-version X.Y.Z   the core's plug-in API version to offer\n"
    "  --entry NAME           the entry function (default: load_ + the file name)\n"
    "  --help                 this text\n"
    "\n"
    "Exit status: 0 when everything matched, 1 on a mismatch, 2 for bad usage\n"
    "or a recording that cannot be replayed.\n";

void PrintResult(const kiv::host::session::ReplayResult& result, const std::string& file) {
  for (const auto& line : result.mismatches) std::printf("%s: %s\n", file.c_str(), line.c_str());
  std::printf("kiv replay %s: %s\n", file.c_str(), result.Summary().c_str());
  std::fflush(stdout);
}

}  // namespace

int kiv::RunReplay(int argc, char** argv) {
  host::session::ReplayOptions options;
  options.plugin_path = KIV_DEFAULT_PLUGIN;
  std::string file;
  bool update = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      std::printf(kUsage, KIV_DEFAULT_PLUGIN);
      return 0;
    } else if (arg == "--plugin" && has_value) {
      options.plugin_path = argv[++i];
    } else if (arg == "--update") {
      update = true;
    } else if (arg == "--core-version" && has_value) {
      auto version = host::ApiVersion::Parse(argv[++i]);
      if (version.HasFailure()) {
        std::fprintf(stderr, "kiv replay: %s\n", version.failure().message().c_str());
        return 2;
      }
      options.load.core_version = version.value();
    } else if (arg == "--entry" && has_value) {
      options.load.entry_name = argv[++i];
    } else if (!arg.starts_with("-") && file.empty()) {
      file = argv[i];
    } else {
      std::fprintf(stderr, "kiv replay: unknown or incomplete option '%s' (kiv replay --help lists them)\n",
                   argv[i]);
      return 2;
    }
  }
  if (file.empty()) {
    std::fprintf(stderr, kUsage, KIV_DEFAULT_PLUGIN);
    return 2;
  }
  auto recording = host::session::LoadRecording(file);
  if (recording.HasFailure()) {
    std::fprintf(stderr, "kiv replay: %s\n", recording.failure().message().c_str());
    return 2;
  }
  // --update writes beside the file and renames it over the file once the
  // replay is through, so a failed replay leaves the old recording.
  const std::string updated = file + ".updating";
  std::unique_ptr<host::session::RecordingWriter> writer;
  if (update) {
    auto created = host::session::RecordingWriter::Create(updated);
    if (created.HasFailure()) {
      std::fprintf(stderr, "kiv replay: %s\n", created.failure().message().c_str());
      return 2;
    }
    writer = created.TakeValue();
    options.record = writer.get();
  }
  options.stuck = [&file](const host::session::ReplayResult& so_far) {
    PrintResult(so_far, file);
    _exit(1);
  };
  auto result = host::session::Replay(recording.value(), options);
  if (result.HasFailure()) {
    writer.reset();
    if (update) std::remove(updated.c_str());
    std::fprintf(stderr, "kiv replay %s: %s\n", file.c_str(), result.failure().message().c_str());
    return 2;
  }
  PrintResult(result.value(), file);
  if (!update) return result.value().ok() ? 0 : 1;
  writer.reset();
  if (std::rename(updated.c_str(), file.c_str()) != 0) {
    std::fprintf(stderr, "kiv replay: cannot replace %s with %s\n", file.c_str(), updated.c_str());
    return 2;
  }
  std::printf("kiv replay: rewrote %s with this build's answers, calls and events\n", file.c_str());
  return 0;
}
