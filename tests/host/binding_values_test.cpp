#include "host/binding_values.h"

#include <gtest/gtest.h>

namespace {

TEST(BindingValues, RoundTripThroughBindingSortsMembersByName) {
  auto host = kiv::host::OwnedValue::FromJson(R"({"z":[1,"two",true,null],"a":{"k":0.5}})");
  ASSERT_TRUE(host.ok());
  auto binding = kiv::host::ToBinding(host->get());
  ASSERT_TRUE(binding.ok()) << binding.FailureMessage();
  EXPECT_EQ(binding->Member("a").Member("k").GetDouble(), 0.5);
  auto back = kiv::host::FromBinding(*binding);
  ASSERT_TRUE(back.ok()) << back.FailureMessage();
  EXPECT_EQ(back->ToJson(), R"({"a":{"k":0.5},"z":[1,"two",true,null]})");
}

TEST(BindingValues, InvalidTagFailsWithTheConversionMessage) {
  HostValue bad = {};
  bad.tag = 11;
  EXPECT_FALSE(kiv::host::ToBinding(bad).ok());
  EXPECT_NE(kiv::host::ToBinding(bad).FailureMessage().find("incompatible type"), std::string::npos)
      << kiv::host::ToBinding(bad).FailureMessage();
}

}  // namespace
