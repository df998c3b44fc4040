#include "support/fake_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using kiv::host::CallKind;
using kiv::host::OwnedValue;
using kiv::host::Request;
using kiv::host::Response;

kiv::test::FakeHost::FakeHost() : host::HostLoop(host::LoopOptions{/*virtual_time=*/true}) {
  context_.api = api();
  context_.host_handle = NewHostHandle();
}

uint32_t kiv::test::FakeHost::Method(std::string_view text) {
  if (text == "*" || text.empty()) return KIV_METHOD_NONE;
  const uint32_t code = host::MethodCode(text);
  if (code == KIV_METHOD_NONE) ADD_FAILURE() << "FakeHost: unknown method '" << text << "'";
  return code;
}

OwnedValue kiv::test::FakeHost::Json(std::string_view json) {
  auto parsed = OwnedValue::FromJson(json);
  if (parsed.HasFailure()) {
    ADD_FAILURE() << "FakeHost: bad JSON: " << parsed.failure().message() << "\n" << json;
    return OwnedValue();
  }
  return parsed.TakeValue();
}

void kiv::test::FakeHost::AnswerJson(std::string_view method, std::string_view path_template,
                                     std::string_view json, uint32_t status) {
  Answer(method, path_template, Json(json), status);
}

void kiv::test::FakeHost::Answer(std::string_view method, std::string_view path_template, OwnedValue body,
                                 uint32_t status) {
  HandleRequest(Method(method), path_template,
                [body = std::move(body), status](const Request&) { return Response::Ok(body, status); });
}

void kiv::test::FakeHost::AnswerError(std::string_view method, std::string_view path_template,
                                      std::string message, uint32_t status) {
  HandleRequest(Method(method), path_template, [message = std::move(message), status](const Request&) {
    return Response::Error(message, status);
  });
}

void kiv::test::FakeHost::AnswerStream(std::string_view method, std::string_view path_template,
                                       std::vector<std::string> chunks, int fail_at_read) {
  HandleRequest(Method(method), path_template, [chunks = std::move(chunks), fail_at_read](const Request&) {
    return Response::Stream(chunks, fail_at_read);
  });
}

void kiv::test::FakeHost::AnswerSequence(std::string_view method, std::string_view path_template,
                                         std::vector<Response> answers) {
  if (answers.empty()) {
    ADD_FAILURE() << "FakeHost: AnswerSequence needs at least one answer";
    return;
  }
  auto state = std::make_shared<std::pair<std::vector<Response>, size_t>>(std::move(answers), 0);
  HandleRequest(Method(method), path_template, [state](const Request&) {
    auto& [list, next] = *state;
    const Response& r = list[std::min(next, list.size() - 1)];
    ++next;
    return r;
  });
}

void kiv::test::FakeHost::Handle(std::string_view method, std::string_view path_template,
                                 host::RequestHandler handler) {
  HandleRequest(Method(method), path_template, std::move(handler));
}

Response kiv::test::FakeHost::Send(std::string_view method, std::string path, std::string body,
                                   std::string content_type) {
  Request request;
  request.method = host::MethodCode(method);
  if (request.method == KIV_METHOD_NONE) {
    request.method = KIV_METHOD_CUSTOM;
    request.custom_method = std::string(method);
  }
  request.path = std::move(path);
  request.body = std::move(body);
  request.content_type = std::move(content_type);
  request.host_handle = handle();
  return Dispatch(std::move(request));
}

void kiv::test::FakeHost::DeliverJson(std::string name, std::string_view json, double delay_seconds) {
  PostEvent(std::move(name), Json(json), delay_seconds);
}

void kiv::test::FakeHost::FailNthCall(CallKind kind, int n, std::string error, uint32_t status) {
  host::Fault fault;
  fault.kind = kind;
  fault.skip = n - 1;
  fault.times = 1;
  fault.error = std::move(error);
  fault.status = status;
  InjectFault(std::move(fault));
}

void kiv::test::FakeHost::FailRequests(std::string_view method, std::string_view path_template,
                                       std::string error, uint32_t status, int times) {
  host::Fault fault;
  fault.method = Method(method);
  fault.path_template = std::string(path_template);
  fault.times = times;
  fault.error = std::move(error);
  fault.status = status;
  InjectFault(std::move(fault));
}

std::vector<std::string> kiv::test::FakeHost::CallSummaries() const {
  std::vector<std::string> out;
  for (const auto& call : Calls()) out.push_back(call.Summary());
  return out;
}

std::vector<kiv::host::RecordedCall> kiv::test::FakeHost::CallsOf(CallKind kind) const {
  std::vector<host::RecordedCall> out;
  for (auto& call : Calls()) {
    if (call.kind == kind) out.push_back(std::move(call));
  }
  return out;
}

std::vector<Request> kiv::test::FakeHost::Requests() const {
  std::vector<Request> out;
  for (auto& call : CallsOf(CallKind::kSendRequest)) out.push_back(std::move(call.request));
  return out;
}

std::vector<Request> kiv::test::FakeHost::RequestsTo(std::string_view path_template) const {
  const host::PathTemplate pattern(path_template);
  std::vector<Request> out;
  for (auto& request : Requests()) {
    if (pattern.Match(host::PathWithoutQuery(request.path))) out.push_back(std::move(request));
  }
  return out;
}

std::optional<Request> kiv::test::FakeHost::LastRequest() const {
  auto all = Requests();
  if (all.empty()) return std::nullopt;
  return std::move(all.back());
}

std::vector<std::string> kiv::test::FakeHost::EmittedNames() const {
  std::vector<std::string> out;
  for (const auto& call : CallsOf(CallKind::kEmitEvent)) out.push_back(call.name);
  return out;
}

std::vector<std::string> kiv::test::FakeHost::EmittedPayloads(std::string_view name) const {
  std::vector<std::string> out;
  for (const auto& call : CallsOf(CallKind::kEmitEvent)) {
    if (call.name == name) out.push_back(call.payload.ToJson());
  }
  return out;
}

std::vector<std::string> kiv::test::FakeHost::LogTexts() const {
  std::vector<std::string> out;
  for (const auto& line : LogLines()) out.push_back(line.text);
  return out;
}
