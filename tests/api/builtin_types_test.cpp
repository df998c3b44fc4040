#include "api/builtin_types.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/binding_api.h"

namespace {

// The builtin types and events themselves are pinned by the API description's
// golden file (tests/tools/describe_golden_test.cpp).
TEST(BuiltinTypes, OnCallbackEventOnceAndRegistrationTagsAfterwards) {
  Quarn::BindingApi api;
  ASSERT_EQ(api.events().size(), 1u);
  api.SetRegistrationTags({"Plugins", "Plugin kiv-collections"});
  EXPECT_FALSE(api.AddEvent({"OnCallback", "", "Other", "changed", {}}));
  EXPECT_EQ(api.events()[0].payload_type, "BindingCallbackEvent");
  EXPECT_TRUE(api.AddEvent({"OnJsonApiEvent", "qclient", "PluginResourceEvent", "d", {}}));
  EXPECT_EQ(api.events()[1].tags, (std::vector<std::string>{"Plugins", "Plugin kiv-collections"}));
  const auto* function = api.Get("/x", []() -> Quarn::Maybe<void> { return {}; }).Tag("extra").function();
  EXPECT_EQ(function->tags(), (std::vector<std::string>{"Plugins", "Plugin kiv-collections", "extra"}));
}

}  // namespace
