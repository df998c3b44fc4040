// The built plug-in library, loaded the way a host loads it: its entry, the
// record it hands back, its allocation counters and its fatal version check.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/plugin_library.h"
#include "support/fake_host.h"

namespace {

std::unique_ptr<kiv::host::PluginLibrary> LoadLibrary(kiv::host::ApiVersion core) {
  kiv::host::LoadOptions options;
  options.core_version = core;
  auto library = kiv::host::PluginLibrary::Load(KIV_PLUGIN_PATH, options);
  EXPECT_TRUE(library.ok()) << library.FailureMessage();
  return library.ok() ? std::move(library).value() : nullptr;
}

TEST(PluginEntry, CountsItsOwnAllocations) {
  kiv::test::FakeHost host;
  auto library = LoadLibrary({18, 0, 0});
  ASSERT_NE(library, nullptr);
  const PluginMemoryStats loaded = library->MemoryStats();
  ASSERT_TRUE(library->Init(host.api(), host.handle()).ok());
  const PluginMemoryStats initialised = library->MemoryStats();
  library->Unload();

  // Loading built the API object: allocations were counted, none are
  // freed twice, and the peak never exceeds what was allocated.
  EXPECT_GT(loaded.counters[3], 0u);
  EXPECT_GT(loaded.counters[0], 0u);
  EXPECT_LE(loaded.counters[0], loaded.counters[2]);
  EXPECT_LE(loaded.counters[1], loaded.counters[3]);
  EXPECT_LE(loaded.counters[5], loaded.counters[3]);
  EXPECT_GE(initialised.counters[3], loaded.counters[3]);
  EXPECT_EQ(loaded.reserved[0], 0u);
  EXPECT_EQ(loaded.reserved[1], 0u);
}

TEST(PluginEntryDeathTest, IncompatibleCoreEndsTheProcess) {
  EXPECT_DEATH(LoadLibrary({19, 0, 0}),
               "Expression: ALE-EECF0606(.|\n)*Description: kiv-collections which supports plugin API 18\\.0\\.0 "
               "is not compatible with core's plugin API 19\\.0\\.0");
}

}  // namespace
