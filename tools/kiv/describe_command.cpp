// kiv describe: loads a plug-in the way the client's host does (entry,
// start record, init with a minimal host, unload) and prints its names,
// versions and API description.
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "host/api_description.h"
#include "host/host_loop.h"
#include "host/plugin_library.h"
#include "tools/kiv/commands.h"

namespace {

using kiv::host::TextOf;

constexpr const char* kUsage =
    "usage: kiv describe [--plugin PATH] [--core-version X.Y.Z] [--entry NAME] [--log]\n"
    "\n"
    "Loads a plug-in library as a host would (entry, start record, init, unload)\n"
    "and prints its short and full name, its plug-in API version, the core\n"
    "version it was given, and its API description: functions, types, events,\n"
    "each with its tags.\n"
    "\n"
    "  --plugin PATH          the plug-in library (default: the built plug-in,\n"
    "                         %s)\n"
    "  --core-version X.Y.Z   the core's plug-in API version to offer (default 18.0.0)\n"
    "  --entry NAME           the entry function (default: load_ + the file name,\n"
    "                         libkiv_collections.so -> load_kiv_collections)\n"
    "  --log                  print the plug-in's log lines on standard error\n"
    "  --help                 this text\n";

void PrintFunctions(const ApiDescription& d) {
  std::printf("\nfunctions (%u)\n", d.function_count);
  for (uint32_t i = 0; i < d.function_count; ++i) {
    const ApiFunctionEntry& f = d.functions[i];
    // Chosen as a view and copied once: assigning a literal to a std::string
    // here trips GCC 12's -Wrestrict false positive under -O2.
    std::string_view method = kiv::host::MethodName(f.method);
    if (f.method == KIV_METHOD_CUSTOM) method = TextOf(f.custom_method);
    if (f.method == KIV_METHOD_NONE) method = "*";
    std::printf("  %-7.*s %s\n", static_cast<int>(method.size()), method.data(), TextOf(f.path).data());
    std::printf("          name    %s\n", TextOf(f.name).data());
    for (uint32_t a = 0; a < f.argument_count; ++a) {
      const ApiArgumentEntry& arg = f.arguments[a];
      std::printf("          %-7s %s: %s, %s%s\n", a == 0 ? "args" : "", TextOf(arg.name).data(),
                  kiv::host::LocationName(arg.location).c_str(), kiv::host::TypeRefName(arg.type).c_str(),
                  arg.optional ? ", optional" : "");
    }
    std::printf("          result  %s\n", kiv::host::TypeRefName(f.result).c_str());
    const std::string tags = kiv::host::JoinTags(f.tags, f.tag_count);
    if (!tags.empty()) std::printf("          tags    %s\n", tags.c_str());
    if (!TextOf(f.help).empty()) std::printf("          help    %s\n", f.help);
  }
}

void PrintTypes(const ApiDescription& d) {
  std::printf("\ntypes (%u)\n", d.type_count);
  for (uint32_t i = 0; i < d.type_count; ++i) {
    const ApiTypeEntry& t = d.types[i];
    std::printf("  %s  %s, %u bytes", TextOf(t.name).data(), kiv::host::TypeEntryKindName(t.kind).c_str(),
                t.size);
    if (!TextOf(t.name_space).empty()) std::printf(", namespace %s", t.name_space);
    std::printf("\n");
    if (!TextOf(t.description).empty()) std::printf("    %s\n", t.description);
    const std::string tags = kiv::host::JoinTags(t.tags, t.tag_count);
    if (!tags.empty()) std::printf("    tags %s\n", tags.c_str());
    for (uint32_t m = 0; m < t.member_count; ++m) {
      if (t.kind == KIV_TYPE_ENTRY_ENUM) {
        const ApiEnumeratorEntry& e = t.members.enumerators[m];
        std::printf("    %s = %d\n", TextOf(e.name).data(), e.value);
      } else {
        const ApiFieldEntry& f = t.members.fields[m];
        std::printf("    %-28s %-28s @%u\n", TextOf(f.name).data(), kiv::host::TypeRefName(f.type).c_str(),
                    f.offset);
      }
    }
  }
}

void PrintEvents(const ApiDescription& d) {
  std::printf("\nevents (%u)\n", d.event_count);
  for (uint32_t i = 0; i < d.event_count; ++i) {
    const ApiEventEntry& e = d.events[i];
    std::printf("  %s  payload %s\n", TextOf(e.name).data(), TextOf(e.payload_type).data());
    if (!TextOf(e.description).empty()) std::printf("    %s\n", e.description);
    const std::string tags = kiv::host::JoinTags(e.tags, e.tag_count);
    if (!tags.empty()) std::printf("    tags %s\n", tags.c_str());
  }
}

}  // namespace

int kiv::RunDescribe(int argc, char** argv) {
  std::string path = KIV_DEFAULT_PLUGIN;
  host::LoadOptions options;
  bool show_log = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      std::printf(kUsage, KIV_DEFAULT_PLUGIN);
      return 0;
    } else if (arg == "--plugin" && has_value) {
      path = argv[++i];
    } else if (arg == "--entry" && has_value) {
      options.entry_name = argv[++i];
    } else if (arg == "--core-version" && has_value) {
      auto version = host::ApiVersion::Parse(argv[++i]);
      if (version.HasFailure()) {
        std::fprintf(stderr, "kiv describe: %s\n", version.failure().message().c_str());
        return 2;
      }
      options.core_version = version.value();
    } else if (arg == "--log") {
      show_log = true;
    } else {
      std::fprintf(stderr, "kiv describe: unknown or incomplete option '%s'\n\n", argv[i]);
      std::fprintf(stderr, kUsage, KIV_DEFAULT_PLUGIN);
      return 2;
    }
  }

  host::HostLoop loop;
  if (show_log) {
    loop.SetLogSink([](const host::LogLine& line) {
      std::fprintf(stderr, "[plug-in %u] %s\n", line.level, line.text.c_str());
    });
  }
  auto loaded = loop.LoadPlugin(path, options);
  if (loaded.HasFailure()) {
    std::fprintf(stderr, "kiv describe: %s\n", loaded.failure().message().c_str());
    return 1;
  }
  std::unique_ptr<host::PluginLibrary> plugin = loaded.TakeValue();
  const std::string short_name(plugin->short_name());
  std::printf("plug-in       %s (entry %s)\n", plugin->path().c_str(), plugin->entry_name().c_str());
  std::printf("short name    %s\n", short_name.c_str());
  std::printf("full name     %s\n", host::BackendFullName(short_name).c_str());
  std::printf("API version   %s\n", plugin->api_version().ToString().c_str());
  std::printf("core version  %s\n", plugin->core_version().ToString().c_str());
  const ApiDescription& description = plugin->description();
  PrintFunctions(description);
  PrintTypes(description);
  PrintEvents(description);
  loop.UnloadPlugin(*plugin);
  return 0;
}
