#include "api/builtin_types.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/binding_api.h"

namespace {

struct Own {
  int32_t x = 0;
};

TEST(BuiltinTypes, ComeFirstWithTheirTags) {
  Quarn::BindingApi api;
  api.registry().Structure<Own>("KivCollectionsOwn").Field("x", &Own::x);

  const std::vector<std::pair<std::string, std::vector<std::string>>> expected = {
      {"BindingAsyncState", {"$builtin", "async"}},
      {"BindingGenericEvent", {"$builtin"}},
      {"BindingCallbackEvent", {"$builtin"}},
      {"BindingGenericAsyncEvent", {"$builtin", "async"}},
      {"BindingAsyncFailureEvent", {"$builtin", "async"}},
      {"BindingAsyncCancelEvent", {"$builtin", "async"}},
      {"BindingHelpFormat", {"$builtin", "help"}},
      {"BindingFullTypeIdentifier", {"$builtin", "help"}},
      {"BindingFullArgumentHelp", {"$builtin", "help"}},
      {"BindingFullFunctionHelp", {"$builtin", "help"}},
      {"BindingFullEnumValueHelp", {"$builtin", "help"}},
      {"BindingFullFieldHelp", {"$builtin", "help"}},
      {"BindingFullTypeHelp", {"$builtin", "help"}},
      {"BindingFullEventHelp", {"$builtin", "help"}},
      {"BindingFullApiHelp", {"$builtin", "help"}},
      {"KivCollectionsOwn", {}},
  };
  const auto types = api.registry().TypesInRegistrationOrder();
  ASSERT_EQ(types.size(), expected.size());
  for (size_t i = 0; i < types.size(); ++i) {
    EXPECT_EQ(types[i]->name, expected[i].first);
    EXPECT_EQ(types[i]->tags, expected[i].second) << types[i]->name;
  }
}

TEST(BuiltinTypes, FieldsAndEnumeratorsAsDescribed) {
  Quarn::BindingApi api;
  const auto* function_help = api.registry().FindByName("BindingFullFunctionHelp");
  ASSERT_NE(function_help, nullptr);
  std::vector<std::string> names;
  for (const auto& field : function_help->fields) names.push_back(field.name);
  EXPECT_EQ(names, (std::vector<std::string>{"name", "nameSpace", "arguments", "returns", "description",
                                             "help", "threadSafe", "async", "tags"}));
  EXPECT_EQ(function_help->fields[2].type.kind, Quarn::BindingTypeKind::Vector);
  EXPECT_EQ(function_help->fields[2].type.type, api.registry().FindByName("BindingFullArgumentHelp"));

  const auto* callback = api.registry().FindByName("BindingCallbackEvent");
  ASSERT_NE(callback, nullptr);
  EXPECT_EQ(callback->fields[1].type.element_kind, Quarn::BindingTypeKind::Object);
  EXPECT_EQ(callback->description, "Represents the parameters of a call to a provided callback.");

  const auto* format = api.registry().FindByName("BindingHelpFormat");
  ASSERT_NE(format, nullptr);
  EXPECT_FALSE(Quarn::EnumeratorIsDefined(*format, 0));
  EXPECT_EQ(format->size, 4u);
  const auto* state = api.registry().FindByName("BindingAsyncState");
  ASSERT_NE(state, nullptr);
  EXPECT_EQ(state->enumerators.at("Cancelling").description,
            "A request to cancel the operation has been made");
}

TEST(BuiltinTypes, OnCallbackEventOnceAndRegistrationTagsAfterwards) {
  Quarn::BindingApi api;
  ASSERT_EQ(api.events().size(), 1u);
  EXPECT_EQ(api.events()[0].name, "OnCallback");
  EXPECT_EQ(api.events()[0].payload_type, "BindingCallbackEvent");
  EXPECT_EQ(api.events()[0].tags, std::vector<std::string>{"$builtin"});

  api.SetRegistrationTags({"Plugins", "Plugin kiv-collections"});
  EXPECT_FALSE(api.AddEvent({"OnCallback", "", "Other", "changed", {}}));
  EXPECT_EQ(api.events()[0].payload_type, "BindingCallbackEvent");
  EXPECT_TRUE(api.AddEvent({"OnJsonApiEvent", "qclient", "PluginResourceEvent", "d", {}}));
  EXPECT_EQ(api.events()[1].tags, (std::vector<std::string>{"Plugins", "Plugin kiv-collections"}));
  const auto* function = api.Get("/x", []() -> Quarn::Maybe<void> { return {}; }).Tag("extra").function();
  EXPECT_EQ(function->tags(), (std::vector<std::string>{"Plugins", "Plugin kiv-collections", "extra"}));
}

}  // namespace
