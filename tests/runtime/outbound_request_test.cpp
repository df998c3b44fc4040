// Outbound requests through the fake host: typed arguments, error
// responses, plain and streamed bodies, conversion failures, release.
#include "runtime/outbound_request.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/module_harness.h"

namespace {

using kiv::test::ModuleHarness;
using kiv::test::PageDto;
using Quarn::Method;

std::vector<std::string> ArgumentsOf(const kiv::host::Request& request) {
  std::vector<std::string> texts;
  for (const auto& [name, value] : request.arguments) texts.push_back(name + "=" + value.ToJson());
  return texts;
}

TEST(OutboundRequest, ErrorResponseKeepsStatusAndNamesMethodUrlAndError) {
  ModuleHarness m;
  m.host.AnswerError("GET", "/kiv-x/v1/thing", "no such thing", 404);
  Quarn::Maybe<std::vector<int>> typed =
      m.plugin->Request<std::vector<int>>(Method::Get, "/kiv-x/v1/thing?a=1");
  Quarn::Maybe<void> plain = m.plugin->Request(Method::Get, "/kiv-x/v1/thing");
  ASSERT_TRUE(typed.HasFailure());
  EXPECT_EQ(typed.failure().code(), 404u);
  EXPECT_EQ(typed.failure().message(), "Error response for GET /kiv-x/v1/thing?a=1: no such thing");
  ASSERT_TRUE(plain.HasFailure());
  EXPECT_EQ(plain.failure().message(), "Error response for GET /kiv-x/v1/thing: no such thing");
  ASSERT_NE(plain.failure().FindDetail("errorCode_int"), nullptr);
  EXPECT_EQ(m.host.unreleased_responses(), 0u);
}

// One behaviour: the answer's body (plain or streamed) becomes the result,
// or the failure names what went wrong; every response is released.
TEST(OutboundRequest, ConvertsPlainAndStreamedBodies) {
  struct Case {
    const char* name;
    std::function<void(kiv::test::FakeHost&)> answer;
    std::vector<int> value;
    std::string failure;  // "" for success; else a prefix of the message
  };
  const std::vector<Case> cases = {
      {"plain array", [](auto& h) { h.AnswerJson("GET", "/p", "[1,2,3]"); }, {1, 2, 3}, ""},
      {"plain array with a text",
       [](auto& h) { h.AnswerJson("GET", "/p", R"([1,"x",3])"); },
       {},
       "Error converting response for GET /p: Value x for '<result>' of type int32 is in an incorrect "
       "format"},
      {"streamed",
       [](auto& h) {
         h.AnswerStream("GET", "/p", {"[1,", "2]"});
       },
       {1, 2},
       ""},
      {"streamed text that is not JSON",
       [](auto& h) {
         h.AnswerStream("GET", "/p", {"[1,", "2"});
       },
       {},
       "Error reading streamed response for GET /p: Error: "},
      {"stream that fails on its second read",
       [](auto& h) {
         h.AnswerStream("GET", "/p", {"[1,", "2]"}, /*fail_at_read=*/2);
       },
       {},
       "Error reading streamed response for GET /p: Stream read error"},
  };
  for (const Case& c : cases) {
    ModuleHarness m;
    c.answer(m.host);
    Quarn::Maybe<std::vector<int>> result = m.plugin->Request<std::vector<int>>(Method::Get, "/p");
    if (c.failure.empty()) {
      ASSERT_TRUE(result.ok()) << c.name << ": " << result.FailureMessage();
      EXPECT_EQ(result.value(), c.value) << c.name;
    } else {
      ASSERT_TRUE(result.HasFailure()) << c.name;
      EXPECT_EQ(result.failure().message().rfind(c.failure, 0), 0u)
          << c.name << ": " << result.FailureMessage();
      EXPECT_EQ(result.failure().code(), 0u) << c.name;
    }
    EXPECT_EQ(m.host.unreleased_responses(), 0u) << c.name;
    EXPECT_EQ(m.host.streams_closed(), m.host.stream_reads() > 0 ? 1 : 0) << c.name;
  }
}

TEST(OutboundRequest, StreamYieldsAfterShortReadsOnly) {
  ModuleHarness m;
  // 8202 bytes: a JSON text in chunks of 4096, 4096 and 10 bytes.
  const std::string text = "\"" + std::string(8200, 'a') + "\"";
  m.host.AnswerStream("GET", "/full", {text.substr(0, 4096), text.substr(4096, 4096), text.substr(8192)});
  m.host.ClearCalls();
  Quarn::Maybe<std::string> full = m.plugin->Request<std::string>(Method::Get, "/full");
  ASSERT_TRUE(full.ok()) << full.FailureMessage();
  EXPECT_EQ(full.value().size(), 8200u);
  EXPECT_EQ(m.host.stream_reads(), 3);
  EXPECT_EQ(m.CountCalls(kiv::host::CallKind::kBeginWait, "Wait: yield"), 0);

  m.host.AnswerStream("GET", "/short", {"[1,", "2]"});
  ASSERT_TRUE(m.plugin->Request<std::vector<int>>(Method::Get, "/short").ok());
  EXPECT_EQ(m.CountCalls(kiv::host::CallKind::kBeginWait, "Wait: yield"), 1);
}

TEST(OutboundRequest, ParametersBecomeUnnamedTypedArgumentsInOrder) {
  ModuleHarness m;
  m.host.AnswerJson("POST", "/p", "null");
  const PageDto page{7, "main", {{11}}};
  ASSERT_TRUE(m.plugin->Request(Method::Post, "/p", std::string("a"), uint64_t{42}, page).ok());
  const std::vector<std::string> expected{"=\"a\"", "=42",
                                          R"(={"id":7,"name":"main","slots":[{"rune":11}]})"};
  EXPECT_EQ(ArgumentsOf(*m.host.LastRequest()), expected);

  ASSERT_TRUE(m.plugin->Request(Method::Post, "/p").ok());
  const kiv::host::Request bare = *m.host.LastRequest();
  EXPECT_TRUE(bare.arguments.empty());
  EXPECT_TRUE(bare.body.empty());
  EXPECT_TRUE(bare.content_type.empty());
  EXPECT_EQ(bare.host_handle, m.host.handle());
}

TEST(OutboundRequest, UnconvertibleParameterIsNotSent) {
  ModuleHarness m;
  m.host.AnswerJson("POST", "/p", "null");
  const size_t before = m.host.Requests().size();
  Quarn::Maybe<void> result = m.plugin->Request(Method::Post, "/p", 1, kiv::test::UnregisteredDto{});
  ASSERT_TRUE(result.HasFailure());
  EXPECT_EQ(result.failure().code(), 400u);
  EXPECT_EQ(
      result.failure().message().rfind("Request not sent: Error converting parameters for POST /p: ", 0), 0u)
      << result.FailureMessage();
  EXPECT_EQ(m.host.Requests().size(), before);
}

}  // namespace
