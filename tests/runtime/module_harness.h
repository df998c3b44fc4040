// A plug-in object on the fake host, loaded, described and initialised the
// way a host does it, with a few registered DTOs (and their backend
// classes) for conversions. Tests drive it through the host: answers,
// events, steps, requests to its routes, unload.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "binding/native_conversion.h"
#include "diagnostics/logger.h"
#include "runtime/plugin_base.h"
#include "runtime/plugin_loader.h"
#include "runtime/plugin_names.h"
#include "support/fake_host.h"

namespace kiv::test {

struct SlotDto {
  uint32_t rune = 0;
};
struct PageDto {
  uint64_t id = 0;
  std::string name;
  std::vector<SlotDto> slots;
};
struct BookDto {
  std::vector<PageDto> pages;
  std::map<std::string, PageDto> by_name;
  SlotDto favourite;
};
// Never registered: converting it fails.
struct UnregisteredDto {
  int32_t x = 0;
};

inline constexpr const char* kSlotClass = "com.quarngames.platform.test.SlotDTO";
inline constexpr const char* kPageClass = "com.quarngames.platform.test.PageDTO";

class HarnessPlugin : public Quarn::PluginBase {
 public:
  using Hook = std::function<void(HarnessPlugin&)>;

  HarnessPlugin() : PluginBase(Quarn::kBackendKind) {}
  ~HarnessPlugin() override {
    if (destroyed != nullptr) *destroyed = true;
  }

  void RegisterApi() override {
    Quarn::BindingRegistry& registry = api().registry();
    registry.Structure<SlotDto>("TestSlotDTO").Field("rune", &SlotDto::rune);
    registry.Structure<PageDto>("TestPageDTO")
        .Field("id", &PageDto::id)
        .Field("name", &PageDto::name)
        .Field("slots", &PageDto::slots);
    registry.Structure<BookDto>("TestBookDTO")
        .Field("pages", &BookDto::pages)
        .Field("byName", &BookDto::by_name)
        .Field("favourite", &BookDto::favourite);
    trov_classes().Add<SlotDto>("TestSlotDTO", kSlotClass);
    trov_classes().Add<PageDto>("TestPageDTO", kPageClass);
    if (on_register) on_register(*this);
  }
  bool Init() override { return on_init ? on_init(*this) : true; }

  Hook on_register;
  std::function<bool(HarnessPlugin&)> on_init;
  bool* destroyed = nullptr;
};

class ModuleHarness {
 public:
  // `setup` runs on the fresh object before it is loaded (set hooks there).
  // `context`, when given, is what init gets instead of the fake host's;
  // then init may fail (see init_result).
  explicit ModuleHarness(const HarnessPlugin::Hook& setup = {}, const HostContext* context = nullptr) {
    Quarn::Logger& logger = Quarn::Logger::Instance();
    saved_level_ = logger.MinLevel();
    saved_muted_ = logger.MutedChannels();
    saved_stderr_ = logger.StdErrTarget().IsAttached();

    plugin = new HarnessPlugin();
    plugin->destroyed = &destroyed;
    if (setup) setup(*plugin);
    record.api_major = 18;
    Quarn::LoadPlugin(*plugin, record, "kiv-test");
    host.AttachDescription(*record.description, host.handle());
    init_result = record.callbacks->init(record.plugin, context != nullptr ? context : host.context());
    if (context == nullptr) {
      EXPECT_EQ(init_result, 1);
    }
  }
  ~ModuleHarness() {
    if (plugin != nullptr) Unload();
    // Init rewired the process's logger; later tests expect it as it was.
    Quarn::Logger& logger = Quarn::Logger::Instance();
    logger.SetMinLevel(saved_level_);
    logger.SetMutedChannels(saved_muted_);
    if (saved_stderr_) logger.StdErrTarget().Attach(logger);
  }
  ModuleHarness(const ModuleHarness&) = delete;
  ModuleHarness& operator=(const ModuleHarness&) = delete;

  // The unload callback; the object is gone (or goes once its running
  // calls return).
  void Unload() {
    record.callbacks->unload(record.plugin);
    plugin = nullptr;
    host.Detach(host.handle());
    calls_at_unload = host.Calls().size();
  }

  // Summaries of the host calls made since Unload returned.
  std::vector<std::string> CallsSinceUnload() const {
    std::vector<std::string> summaries = host.CallSummaries();
    summaries.erase(summaries.begin(), summaries.begin() + static_cast<std::ptrdiff_t>(calls_at_unload));
    return summaries;
  }

  // How often the plug-in called `kind` with `name`.
  int CountCalls(host::CallKind kind, std::string_view name) const {
    int count = 0;
    for (const host::RecordedCall& call : host.CallsOf(kind)) count += call.name == name ? 1 : 0;
    return count;
  }

  // Whether the plug-in wrote `text` to the host's log at `level`.
  bool Logged(uint32_t level, std::string_view text) const {
    for (const host::LogLine& line : host.LogLines()) {
      if (line.level == level && line.text == text) return true;
    }
    return false;
  }

  FakeHost host;
  HarnessPlugin* plugin = nullptr;
  PluginStartRecord record{};
  bool destroyed = false;
  uint8_t init_result = 0;
  size_t calls_at_unload = 0;

 private:
  uint32_t saved_level_ = 1;
  uint64_t saved_muted_ = 0;
  bool saved_stderr_ = false;
};

}  // namespace kiv::test
