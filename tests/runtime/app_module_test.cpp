// Awaiting and yielding: which host slots a module calls, how often and in
// which order.
#include "runtime/app_module.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// Records the slots Await and Yield use; Step runs `on_step` to let a test
// make progress "inside the host".
class RecordingModule : public Quarn::AppModule {
 public:
  std::vector<std::string> calls;
  std::function<void()> on_step;

  uint32_t SendRequest(HostResponse*, const HostRequest*) override { return Record("send_request"); }
  uint32_t ReservedHostCall(uintptr_t, uintptr_t) override { return Record("reserved1"); }
  uint32_t EmitEvent(const HostEvent*) override { return Record("emit_event"); }
  uint32_t SubscribeAtHost(const char* name, void*, HostEventFn, void*, uint32_t flag) override {
    return Record("subscribe " + std::string(name) + " " + std::to_string(flag));
  }
  uint32_t UnsubscribeAtHost(const char* name, void*) override {
    return Record("unsubscribe " + std::string(name));
  }
  uint32_t StartTimer(const char*, HostTimerFn, void*, double, uint32_t) override {
    return Record("start_timer");
  }
  uint32_t Step() override {
    Record("step");
    if (on_step) on_step();
    return 0;
  }
  uint32_t BeginWait(const char* label, uint32_t flag) override {
    return Record("begin_wait " + std::string(label) + " " + std::to_string(flag));
  }
  uint32_t EndWait() override { return Record("end_wait"), 42; }

 private:
  uint32_t Record(std::string call) {
    calls.push_back(std::move(call));
    return 0;
  }
};

std::string FutureLabel() {
  return "begin_wait Wait: future<" + Quarn::StaticTypeOf<Quarn::Maybe<int>>().name + "> 0";
}

TEST(AppModuleAwait, ReadyFutureMakesNoHostCallAndYieldOneStep) {
  RecordingModule module;
  Quarn::Maybe<int> result = module.Await(Quarn::ReadyFuture(Quarn::Maybe<int>(7)));
  ASSERT_TRUE(result.ok());
  EXPECT_EQ(result.value(), 7);
  EXPECT_TRUE(module.calls.empty());
  EXPECT_EQ(module.Yield(), 42u);  // what the host's end of the wait said
  EXPECT_EQ(module.calls, (std::vector<std::string>{"begin_wait Wait: yield 0", "step", "end_wait"}));
}

TEST(AppModuleAwait, StepsUntilReadyInsideOneWait) {
  RecordingModule module;
  Quarn::Promise<int> promise;
  int steps = 0;
  module.on_step = [&] {
    if (++steps == 3) promise.set_value(Quarn::Maybe<int>(11));
  };
  Quarn::Maybe<int> result = module.Await(promise.get_future());
  ASSERT_TRUE(result.ok());
  EXPECT_EQ(result.value(), 11);
  const std::vector<std::string> expected{FutureLabel(), "step", "step", "step", "end_wait"};
  EXPECT_EQ(module.calls, expected);
  EXPECT_NE(FutureLabel().find("StaticType::Name<class Quarn::MaybeType<Quarn::Failure, int>"),
            std::string::npos)
      << FutureLabel();
}

TEST(AppModuleAwaitDeathTest, BrokenPromiseIsFatal) {
  RecordingModule module;
  auto promise = std::make_unique<Quarn::Promise<int>>();
  Quarn::Future<int> future = promise->get_future();
  module.on_step = [&] { promise.reset(); };
  EXPECT_DEATH((void)module.Await(std::move(future)),
               "Caught std::future_error in AppModule::Await: \\(4\\) std::future_error: Broken "
               "promise(.|\n)*Expression: ALE-6D828C10");
}

TEST(AppModuleAwaitDeathTest, FutureWithoutStateIsFatal) {
  RecordingModule module;
  EXPECT_DEATH((void)module.Await(Quarn::Future<int>()),
               "Caught std::future_error in AppModule::Await: \\(3\\) std::future_error: No associated "
               "state(.|\n)*Expression: ALE-6D828C10");
}

}  // namespace
