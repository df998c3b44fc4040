#include "binding/maybe_type.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

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
  std::unique_ptr<int> taken = owned.TakeValue();
  EXPECT_EQ(*taken, 5);
}

TEST(MaybeType, FuturesCarryValuesAndBreakWhenThePromiseIsDropped) {
  Quarn::Future<int> ready = Quarn::ReadyFuture<int>(Quarn::Failure("late", 504));
  ASSERT_EQ(ready.wait_for(std::chrono::seconds(0)), std::future_status::ready);
  EXPECT_EQ(ready.get().failure().code(), 504u);

  Quarn::Future<void> broken;
  {
    Quarn::Promise<void> promise;
    broken = promise.get_future();
  }
  try {
    (void)broken.get();
    ADD_FAILURE() << "a dropped promise must break its future";
  } catch (const std::future_error& error) {
    EXPECT_EQ(error.code(), std::future_errc::broken_promise);
  }
}

}  // namespace
