// End to end through the request entry: a small API registered with several
// handler forms, driven only by hand-built HostRequest records, the way a
// host drives it; and what the plug-in writes into a HostResponse, which
// its release must free exactly (the AddressSanitizer run checks that).
#include "api/dispatch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "api/binding_api.h"
#include "api/response_writer.h"
#include "binding/host_value_conversion.h"
#include "binding/json_writer.h"
#include "binding/maybe_type.h"
#include "support/case_file.h"

namespace {

using Quarn::Maybe;

struct Item {
  uint64_t id = 0;
  std::string name;
  std::vector<std::string> tags;
};

struct Filter {
  std::vector<std::string> names;
  uint32_t limit = 0;
};

// What the host sees of a response, read before release.
struct Reply {
  uint32_t status = 0, content_kind = 0, body_tag = 0;
  uint8_t format = 0, error_owned = 0;
  std::string error = {};  // "" when none
  std::string body = {};   // the body HostValue written as compact JSON
  std::string content_type = {};
  std::vector<std::pair<std::string, std::string>> headers = {};
};

// The body as compact JSON, through the binding library's own reading of
// HostValue records.
std::string BodyJson(const HostValue& value) {
  Quarn::BindingProperty body;
  std::string error;
  if (!Quarn::FromHostValue(body, value, "body", error)) return "? " + error;
  const std::string json = Quarn::ToJson(body);
  return json.empty() ? "null" : json;
}

// A request as a host sends it; a non-empty body is passed exactly sized,
// without a terminator, so reading past its length is caught.
struct Request {
  uint32_t method = 0;
  std::string path = {};
  std::string content_type = {};
  std::string body = {};
  std::vector<std::pair<std::string, std::string>> pairs = {};
  std::vector<HostTypedArgument> typed = {};
};

class TextStream final : public Quarn::BodyStream {
 public:
  TextStream(std::string text, int* alive) : text_(std::move(text)), alive_(alive) { ++*alive_; }
  ~TextStream() override { --*alive_; }
  bool Read(char* buffer, uint32_t& size, bool& more) override {
    const size_t n = std::min<size_t>(size, text_.size() - pos_);
    std::memcpy(buffer, text_.data() + pos_, n);
    pos_ += n;
    size = static_cast<uint32_t>(n);
    more = pos_ < text_.size();
    return true;
  }
  uint32_t Length() const override { return static_cast<uint32_t>(text_.size()); }

 private:
  std::string text_;
  size_t pos_ = 0;
  int* alive_;
};

class DispatchTest : public ::testing::Test {
 protected:
  DispatchTest() {
    auto& registry = api_.registry();
    registry.Structure<Item>("Item")
        .Field("id", &Item::id)
        .Field("name", &Item::name)
        .Field("tags", &Item::tags);
    registry.Structure<Filter>("Filter").Field("names", &Filter::names).Field("limit", &Filter::limit);

    api_.Get("/v1/items/{itemId}",
             [this](uint64_t id) -> Maybe<Item> {
               ++calls_;
               if (id == 404) return Quarn::NotFound();
               return Item{id, "item" + std::to_string(id), {}};
             })
        .Path("itemId", "The item.");
    api_.Put("/v1/items/{itemId}/",
             [this](uint64_t id, Item item) -> Maybe<Item> {
               ++calls_;
               item.id = id;
               return item;
             })
        .Path("itemId")
        .Body("item");
    api_.Delete("/v1/items/{itemId}",
                [this](uint64_t) -> Maybe<void> {
                  ++calls_;
                  return {};
                })
        .Path("itemId");
    api_.Get("/v1/items",
             [this](std::optional<uint32_t> limit, std::optional<std::string> sort_rule,
                    bool enabled) -> Maybe<std::string> {
               ++calls_;
               return std::to_string(limit.value_or(0)) + "|" + sort_rule.value_or("-") + "|" +
                      (enabled ? "on" : "off");
             })
        .Query("limit")
        .Query("sortRule")
        .Query("enabled");
    api_.Get("/v1/search",
             [this](Filter filter) -> Maybe<Filter> {
               ++calls_;
               return filter;
             })
        .Query("filter");
    api_.Get("/v1/mode",
             [this](std::optional<std::string> mode) -> Maybe<std::string> {
               ++calls_;
               return mode.value_or("none");
             })
        .Header("Mode");
    api_.Post("/v1/sum/{a}",
              [this](int32_t a, int32_t b) -> Maybe<int64_t> {
                ++calls_;
                return int64_t{a} + b;
              })
        .Path("a")
        .Any("b");
    api_.Get("/rich", [this](Quarn::RequestContext& context) -> Maybe<std::string> {
      context.call->status = 201;
      context.call->format = 3;
      context.call->content_kind = kind_;
      context.call->content_type = "text/csv";
      context.call->headers = {{"x-one", "1"}, {"x-two", "2"}};
      if (stream_) context.call->stream = std::make_unique<TextStream>("a,b\n1,2\n", &streams_alive_);
      return std::string("body");
    });
    api_.Get("/conflict", []() -> Maybe<int32_t> { return Quarn::Failure("Page limit reached", 409); });
    api_.Get("/throws", []() -> Maybe<int32_t> { throw std::runtime_error("boom"); });
  }

  // The response as written; the caller releases it.
  HostResponse Raw(const std::string& function_name, const Request& r) {
    HostResponse response;
    std::memset(&response, 0xAB, sizeof(response));  // the entry must not read old content
    const Quarn::BindingFunction* function = api_.FindFunction(function_name);
    EXPECT_NE(function, nullptr) << function_name;
    if (function == nullptr) return HostResponse{};
    std::vector<HostNameValue> pairs;
    for (const auto& [name, value] : r.pairs) pairs.push_back({name.c_str(), value.c_str()});
    const std::vector<uint8_t> bytes(r.body.begin(), r.body.end());
    HostRequest request{};
    request.method = r.method;
    request.path = r.path.c_str();
    request.arguments = r.typed.empty() ? nullptr : r.typed.data();
    request.argument_count = static_cast<uint32_t>(r.typed.size());
    request.pairs = pairs.empty() ? nullptr : pairs.data();
    request.pair_count = static_cast<uint32_t>(pairs.size());
    request.content_type = r.content_type.c_str();
    if (!bytes.empty()) {
      request.body = bytes.data();
      request.body_length = static_cast<uint32_t>(bytes.size());
    }
    Quarn::DispatchRequest(api_, *function, response, request);
    return response;
  }

  Reply Call(const std::string& function_name, const Request& r) {
    HostResponse response = Raw(function_name, r);
    // Packed fields are copied before gtest takes references to them.
    Reply reply{response.status, response.content_kind, response.body.tag, response.format,
                response.error_owned};
    if (response.error != nullptr) reply.error = response.error;
    if (response.error == nullptr) reply.body = BodyJson(response.body);
    if (response.content_type != nullptr) reply.content_type = response.content_type;
    for (uint32_t i = 0; i < response.header_count; ++i) {
      reply.headers.emplace_back(response.headers[i].name, response.headers[i].value);
    }
    const HostResponseReleaseFn release = response.release;
    EXPECT_NE(release, nullptr);
    if (release != nullptr) release(&response);
    const HostResponse zero{};
    EXPECT_EQ(std::memcmp(&response, &zero, sizeof(response)), 0) << "release zeroes the record";
    return reply;
  }

  Quarn::BindingApi api_;
  int calls_ = 0;
  uint32_t kind_ = 2;
  bool stream_ = false;
  int streams_alive_ = 0;
};

TEST_F(DispatchTest, RegistrationDropsOneTrailingSlashAndIgnoresDuplicates) {
  const size_t count = api_.functions().size();
  EXPECT_EQ(api_.FindFunction("PutV1ItemsByItemId")->path(), "/v1/items/{itemId}");
  auto builder =
      api_.Get("/v1/items/{itemId}/", [](std::string) -> Maybe<void> { return {}; }).Path("other", "ignored");
  EXPECT_EQ(builder.function(), nullptr);
  EXPECT_EQ(api_.functions().size(), count);
  EXPECT_EQ(api_.FindFunction("GetV1ItemsByItemId")->arguments()[0].name, "itemId");
  auto nothing = []() -> Maybe<void> { return {}; };
  EXPECT_EQ(api_.Put("/", nothing).function()->path(), "/");
  EXPECT_EQ(api_.Post("/y//", nothing).function()->path(), "/y/");
}

// The calls of dispatch_cases.txt: each answers its body, or fails with its
// status and text without running the handler (but for the handler's own
// failure).
TEST_F(DispatchTest, AnswersEachCallOrReportsItsFailure) {
  const std::map<std::string, uint32_t> methods = {{"GET", KIV_METHOD_GET},
                                                   {"PUT", KIV_METHOD_PUT},
                                                   {"POST", KIV_METHOD_POST},
                                                   {"DELETE", KIV_METHOD_DELETE}};
  for (const kiv::test::FileCase& c :
       kiv::test::ReadCaseFile(KIV_SOURCE_DIR "/tests/api/dispatch_cases.txt")) {
    SCOPED_TRACE(c.where);
    std::istringstream first(c.input());
    std::string function, method;
    Request request{};
    first >> function >> method >> request.path;
    request.method = methods.at(method);
    std::deque<std::string> names;  // the typed arguments' names, at fixed addresses
    for (const auto& [key, value] : c.fields) {
      const size_t split = value.find(key == "typed" ? '=' : ' ');
      if (key == "content-type") request.content_type = value;
      if (key == "body") request.body = value;
      if (key == "pair") request.pairs.emplace_back(value.substr(0, split), value.substr(split + 1));
      if (key != "typed") continue;
      HostTypedArgument& argument = request.typed.emplace_back();
      argument.value.tag = KIV_VALUE_SIGNED;
      argument.value.data.i64 = std::stoll(value.substr(split + 1));  // npos + 1: the whole text
      if (split != std::string::npos) argument.name = names.emplace_back(value.substr(0, split)).c_str();
    }
    calls_ = 0;
    const Reply reply = Call(function, request);
    const std::optional<std::string> fails = c.Get("fails");
    if (!fails) {
      EXPECT_EQ(reply.error, "");
      EXPECT_EQ(reply.status, 0u);
      EXPECT_EQ(reply.body, c.Get("->").value_or("?"));
      EXPECT_EQ(reply.content_type, "");
      continue;
    }
    EXPECT_EQ(std::to_string(reply.status) + " " + reply.error, *fails);
    EXPECT_EQ(calls_, reply.error == "Not found" ? 1 : 0) << "only the handler's own failure runs it";
  }
}

TEST_F(DispatchTest, ResponseCarriesStatusFormatContentTypeAndHeaders) {
  Reply reply = Call("GetRich", {KIV_METHOD_GET, "/rich"});
  EXPECT_EQ(reply.status, 201u);
  EXPECT_EQ(reply.format, 3);
  EXPECT_EQ(reply.content_kind, 2u);
  EXPECT_EQ(reply.content_type, "text/csv");
  EXPECT_EQ(reply.headers,
            (std::vector<std::pair<std::string, std::string>>{{"x-one", "1"}, {"x-two", "2"}}));
  EXPECT_EQ(reply.error, "");
  EXPECT_EQ(reply.body_tag, uint32_t{KIV_VALUE_TEXT_OWNED});
  EXPECT_EQ(reply.body, R"("body")");
  kind_ = 7;  // only 1, 2 and 3 are passed on
  EXPECT_EQ(Call("GetRich", {KIV_METHOD_GET, "/rich"}).content_kind, 0u);

  // A handler's failure carries its status and an owned text.
  reply = Call("GetConflict", {KIV_METHOD_GET, "/conflict"});
  EXPECT_EQ(reply.status, 409u);
  EXPECT_EQ(reply.error, "Page limit reached");
  EXPECT_EQ(reply.error_owned, 1);
  EXPECT_EQ(reply.content_type, "");
  // An exception from a handler becomes the ready-made 500.
  reply = Call("GetThrows", {KIV_METHOD_GET, "/throws"});
  EXPECT_EQ(reply.status, 500u);
  EXPECT_EQ(reply.error, "Internal server error");
}

TEST_F(DispatchTest, StreamIsReadThroughTheResponseAndFreedOnce) {
  stream_ = true;
  HostResponse response = Raw("GetRich", {KIV_METHOD_GET, "/rich"});
  EXPECT_EQ(streams_alive_, 1);
  const uint32_t expected = response.expected_length;
  EXPECT_EQ(expected, 8u);
  std::string read;
  uint8_t more = 1;
  while (more) {
    char buffer[3];
    uint32_t size = sizeof(buffer);
    ASSERT_EQ(response.stream_read(response.stream_context, buffer, &size, &more), 1);
    read.append(buffer, size);
  }
  EXPECT_EQ(read, "a,b\n1,2\n");
  response.stream_close(response.stream_context);
  EXPECT_EQ(streams_alive_, 0);
  // A read after close fails instead of touching freed memory.
  char buffer[4];
  uint32_t size = sizeof(buffer);
  EXPECT_EQ(response.stream_read(response.stream_context, buffer, &size, &more), 0);
  response.release(&response);
  EXPECT_EQ(streams_alive_, 0);

  // Never read nor closed: release frees the stream.
  response = Raw("GetRich", {KIV_METHOD_GET, "/rich"});
  EXPECT_EQ(streams_alive_, 1);
  response.release(&response);
  EXPECT_EQ(streams_alive_, 0);
  // Null and zeroed records are ignored.
  Quarn::ReleaseResponse(nullptr);
  HostResponse zero{};
  Quarn::ReleaseResponse(&zero);
  const HostResponse expected_zero{};
  EXPECT_EQ(std::memcmp(&zero, &expected_zero, sizeof(zero)), 0);
}

}  // namespace
