#include "binding/failure.h"

#include <gtest/gtest.h>

namespace {

std::optional<int64_t> IntDetail(const Quarn::Failure& failure, std::string_view name) {
  const Quarn::FieldValue* value = failure.FindDetail(name);
  if (value == nullptr || !std::holds_alternative<int64_t>(*value)) return std::nullopt;
  return std::get<int64_t>(*value);
}

TEST(Failure, PlainTextHasNoDetailsUnlessItHasACode) {
  const Quarn::Failure plain("went wrong");
  EXPECT_EQ(plain.code(), 0u);
  EXPECT_EQ(plain.message(), "went wrong");
  EXPECT_TRUE(plain.details().empty());

  const Quarn::Failure coded("No page", 404);
  EXPECT_EQ(coded.code(), 404u);
  EXPECT_EQ(IntDetail(coded, "errorCode_int"), 404);
  EXPECT_EQ(coded.FindDetail("missing"), nullptr);
}

TEST(Failure, NamedTemplateFillsMessageAndDetails) {
  const Quarn::Failure failure =
      Quarn::Failure::Named(500, "Error response for {method} {url}: {error}", "GET", "/kiv-x", "timeout");
  EXPECT_EQ(failure.code(), 500u);
  EXPECT_EQ(failure.message(), "Error response for GET /kiv-x: timeout");
  ASSERT_EQ(failure.details().size(), 4u);
  EXPECT_EQ(std::get<std::string>(*failure.FindDetail("method_str")), "GET");
  EXPECT_EQ(std::get<std::string>(*failure.FindDetail("url_str")), "/kiv-x");
  EXPECT_EQ(std::get<std::string>(*failure.FindDetail("error_str")), "timeout");
  EXPECT_EQ(IntDetail(failure, "errorCode_int"), 500);

  const Quarn::Failure uncoded = Quarn::Failure::Named(0, "{payload} is bad", "p");
  EXPECT_EQ(uncoded.FindDetail("errorCode_int"), nullptr);
  EXPECT_EQ(uncoded.details().size(), 1u);
}

TEST(Failure, CodeDetailMatchesTheCodeEvenWhenTheTemplateNamesIt) {
  const Quarn::Failure failure = Quarn::Failure::Named(503, "backend said {errorCode}", 17);
  EXPECT_EQ(failure.message(), "backend said 17");
  ASSERT_EQ(failure.details().size(), 1u);
  EXPECT_EQ(IntDetail(failure, "errorCode_int"), 503);
}

}  // namespace
