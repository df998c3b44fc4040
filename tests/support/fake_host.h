// FakeHost: the tests' plug-in host. It is the host loop itself (the same
// code the developer host runs), on virtual time, with shorthands for
// scripting answers, events and faults and for inspecting what a plug-in
// did. Nothing runs until the test (or the plug-in) steps it.
//
//   kiv::test::FakeHost host;
//   host.AnswerJson("GET", "/kiv-login/v1/session", R"({"state":"SUCCEEDED"})");
//   host.DeliverJson("OnTrovEvent_x", R"({"body":{}})", /*delay_seconds=*/0);
//   plugin.Init(host.context());            // or host.LoadPlugin(path)
//   host.Step();                            // delivers the event
//   EXPECT_THAT(host.CallSummaries(), Contains("send_request GET /kiv-login/v1/session"));
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/host_loop.h"

namespace kiv::test {

class FakeHost : public host::HostLoop {
 public:
  FakeHost();

  // The context to give an in-process plug-in object's init: this host's
  // table and handle. Owned by the host, valid for its lifetime.
  const HostContext* context() const { return &context_; }
  void* handle() const { return context_.host_handle; }

  // Method texts below: "GET", "PUT", ... or "*" for every method.
  // Routes match the path without its query string; see HostLoop::HandleRequest.

  // Answers with the JSON value (status 200 unless given), every time.
  // Bad JSON fails the current test.
  void AnswerJson(std::string_view method, std::string_view path_template, std::string_view json,
                  uint32_t status = 200);
  void Answer(std::string_view method, std::string_view path_template, host::OwnedValue body,
              uint32_t status = 200);
  // Answers with an error text and status.
  void AnswerError(std::string_view method, std::string_view path_template, std::string message,
                   uint32_t status = 500);
  // Answers with a streamed body in these chunks; the read numbered
  // `fail_at_read` (from 1) reports failure.
  void AnswerStream(std::string_view method, std::string_view path_template, std::vector<std::string> chunks,
                    int fail_at_read = 0);
  // Answers in turn; the last answer repeats.
  void AnswerSequence(std::string_view method, std::string_view path_template,
                      std::vector<host::Response> answers);
  // Any answer: the handler sees the copied request with its captures.
  void Handle(std::string_view method, std::string_view path_template, host::RequestHandler handler);

  // Sends a request now as another plug-in would (to a stand-in or an
  // attached plug-in's function) and returns the host-owned answer.
  host::Response Send(std::string_view method, std::string path, std::string body = {},
                      std::string content_type = "application/json");

  // Queues an event for every subscriber, delivered by the first step at or
  // after `delay_seconds` of virtual time (AdvanceTime moves it).
  void DeliverJson(std::string name, std::string_view json, double delay_seconds = 0);

  // The n-th (from 1) call of `kind` made from now on fails: a request gets the error and
  // status, any other call is recorded and dropped.
  void FailNthCall(host::CallKind kind, int n, std::string error = "injected failure", uint32_t status = 500);
  // Requests matching method and template fail `times` times (-1: always).
  void FailRequests(std::string_view method, std::string_view path_template, std::string error,
                    uint32_t status = 500, int times = -1);

  // Calls as RecordedCall::Summary texts, in order.
  std::vector<std::string> CallSummaries() const;
  std::vector<host::RecordedCall> CallsOf(host::CallKind kind) const;
  // Requests the plug-in sent, in order; those whose path (without query)
  // matches a template; the last one.
  std::vector<host::Request> Requests() const;
  std::vector<host::Request> RequestsTo(std::string_view path_template) const;
  std::optional<host::Request> LastRequest() const;
  // Names of the events the plug-in emitted, and the payloads (as JSON) of
  // those with one name.
  std::vector<std::string> EmittedNames() const;
  std::vector<std::string> EmittedPayloads(std::string_view name) const;
  std::vector<std::string> LogTexts() const;
  bool IsSubscribed(std::string_view name) const { return SubscriberCount(name) > 0; }

  // Parses JSON for a stand-in's answer; bad JSON fails the current test.
  static host::OwnedValue Json(std::string_view json);
  // "GET" -> KIV_METHOD_GET; "*" -> 0. An unknown text fails the test.
  static uint32_t Method(std::string_view text);

 private:
  HostContext context_{};
};

}  // namespace kiv::test
