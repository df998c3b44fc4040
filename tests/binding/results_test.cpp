// Failure (message, code and typed details) and Maybe/Future, the results
// every layer returns.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "binding/failure.h"
#include "binding/maybe_type.h"

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
  EXPECT_EQ(IntDetail(coded, "errorCode_int"), 404);
  EXPECT_EQ(coded.FindDetail("missing"), nullptr);
}

TEST(Failure, NamedTemplateFillsMessageAndDetails) {
  const Quarn::Failure failure =
      Quarn::Failure::Named(500, "Error response for {method} {url}: {error}", "GET", "/kiv-x", "timeout");
  EXPECT_EQ(failure.code(), 500u);
  EXPECT_EQ(failure.message(), "Error response for GET /kiv-x: timeout");
  ASSERT_EQ(failure.details().size(), 4u);
  EXPECT_EQ(std::get<std::string>(*failure.FindDetail("url_str")), "/kiv-x");
  EXPECT_EQ(IntDetail(failure, "errorCode_int"), 500);
  const Quarn::Failure uncoded = Quarn::Failure::Named(0, "{payload} is bad", "p");
  EXPECT_EQ(uncoded.FindDetail("errorCode_int"), nullptr);
  EXPECT_EQ(uncoded.details().size(), 1u);
  // The code detail is the code even when the template names it.
  const Quarn::Failure named_code = Quarn::Failure::Named(503, "backend said {errorCode}", 17);
  EXPECT_EQ(named_code.message(), "backend said 17");
  ASSERT_EQ(named_code.details().size(), 1u);
  EXPECT_EQ(IntDetail(named_code, "errorCode_int"), 503);
}

Quarn::Maybe<int> Half(int n) {
  if (n % 2 != 0) return Quarn::Failure("odd", 400);
  return n / 2;
}

Quarn::Maybe<int> Quarter(int n) {
  QUARN_ASSIGN_OR_RETURN(const int half, Half(n));
  QUARN_ASSIGN_OR_RETURN(int quarter, Half(half));
  return quarter;
}

Quarn::Maybe<void> CheckEven(int n) {
  QUARN_RETURN_IF_FAILED(Half(n));
  return {};
}

TEST(MaybeType, PropagationMacrosReturnTheFirstFailure) {
  EXPECT_EQ(Quarter(8).value(), 2);
  const Quarn::Maybe<int> failed = Quarter(6);  // 6 -> 3 fails on the second step
  ASSERT_TRUE(failed.HasFailure());
  EXPECT_EQ(failed.failure().code(), 400u);
  EXPECT_EQ(failed.FailureMessage(), "odd");
  EXPECT_TRUE(CheckEven(4).ok());
  EXPECT_EQ(CheckEven(5).FailureMessage(), "odd");
}

TEST(MaybeType, CopyAndMoveKeepTheSideAndContent) {
  Quarn::Maybe<std::string> value(std::string("kept"));
  Quarn::Maybe<std::string> failure(Quarn::Failure("lost"));
  Quarn::Maybe<std::string> copy = failure;
  copy = value;
  EXPECT_EQ(copy.value(), "kept");
  Quarn::Maybe<std::string> moved = std::move(failure);
  EXPECT_EQ(moved.FailureMessage(), "lost");
  moved = std::move(copy);
  EXPECT_EQ(*moved, "kept");
  Quarn::Maybe<std::unique_ptr<int>> owned(std::make_unique<int>(5));
  EXPECT_EQ(*owned.TakeValue(), 5);
}

TEST(MaybeType, FuturesCarryValuesAndBreakWhenThePromiseIsDropped) {
  Quarn::Future<int> ready = Quarn::ReadyFuture<int>(Quarn::Failure("late", 504));
  ASSERT_EQ(ready.wait_for(std::chrono::seconds(0)), std::future_status::ready);
  EXPECT_EQ(ready.get().failure().code(), 504u);
  Quarn::Future<void> broken = Quarn::Promise<void>().get_future();
  try {
    (void)broken.get();
    ADD_FAILURE() << "a dropped promise must break its future";
  } catch (const std::future_error& error) {
    EXPECT_EQ(error.code(), std::future_errc::broken_promise);
  }
}

}  // namespace
