// End to end through the request entry: a small API registered with several
// handler forms, driven only by hand-built HostRequest records, the way a
// host drives it.
#include "api/dispatch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "api/binding_api.h"
#include "binding/host_value_conversion.h"
#include "binding/json_reader.h"
#include "binding/json_writer.h"
#include "binding/maybe_type.h"
#include "binding/msgpack_reader.h"
#include "binding/yaml_reader.h"

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
  uint32_t status = 0;
  std::string error;  // "" when none
  std::string body;   // the body HostValue written as compact JSON
  std::string content_type;
  std::vector<std::pair<std::string, std::string>> headers;
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

struct Request {
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  Request(uint32_t method_code, std::string request_path, std::string type = {}, std::string bytes = {},
          bool with_body = false, Pairs name_values = {}, std::vector<HostTypedArgument> typed_arguments = {})
      : method(method_code),
        path(std::move(request_path)),
        content_type(std::move(type)),
        body(std::move(bytes)),
        has_body(with_body),
        pairs(std::move(name_values)),
        typed(std::move(typed_arguments)) {}

  uint32_t method;
  std::string path;
  std::string content_type;
  std::string body;
  bool has_body;
  Pairs pairs;
  std::vector<HostTypedArgument> typed;
};

std::string MsgPackError(std::string_view bytes) {
  return std::string(
      Quarn::ReadMsgPack(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()).result.ErrorMessage());
}

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
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
                [this](uint64_t id) -> Maybe<void> {
                  ++calls_;
                  deleted_ = id;
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
  }

  Reply Call(const std::string& function_name, const Request& r) {
    const Quarn::BindingFunction* function = api_.FindFunction(function_name);
    EXPECT_NE(function, nullptr) << function_name;
    if (function == nullptr) return {};
    std::vector<HostNameValue> pairs;
    for (const auto& [name, value] : r.pairs) pairs.push_back({name.c_str(), value.c_str()});
    HostRequest request{};
    request.method = r.method;
    request.path = r.path.c_str();
    request.arguments = r.typed.empty() ? nullptr : r.typed.data();
    request.argument_count = static_cast<uint32_t>(r.typed.size());
    request.pairs = pairs.empty() ? nullptr : pairs.data();
    request.pair_count = static_cast<uint32_t>(pairs.size());
    request.content_type = r.content_type.c_str();
    if (r.has_body) {
      request.body = reinterpret_cast<const uint8_t*>(r.body.data());
      request.body_length = static_cast<uint32_t>(r.body.size());
    }
    HostResponse response;
    std::memset(&response, 0xAB, sizeof(response));  // the entry must not read old content
    Quarn::DispatchRequest(api_, *function, response, request);

    Reply reply;
    reply.status = response.status;
    if (response.error != nullptr) reply.error = response.error;
    if (response.error == nullptr) reply.body = BodyJson(response.body);
    if (response.content_type != nullptr) reply.content_type = response.content_type;
    for (uint32_t i = 0; i < response.header_count; ++i) {
      reply.headers.emplace_back(response.headers[i].name, response.headers[i].value);
    }
    // Packed fields are copied before gtest takes references to them.
    const HostResponseReleaseFn release = response.release;
    EXPECT_NE(release, nullptr);
    if (release != nullptr) release(&response);
    const HostResponse zero{};
    EXPECT_EQ(std::memcmp(&response, &zero, sizeof(response)), 0) << "release zeroes the record";
    return reply;
  }

  Quarn::BindingApi api_;
  int calls_ = 0;
  uint64_t deleted_ = 0;
};

TEST_F(DispatchTest, RegistersDerivedNamesInOrderAndIgnoresDuplicates) {
  std::vector<std::string> names;
  for (const auto& f : api_.functions()) names.push_back(f->name());
  EXPECT_EQ(names,
            (std::vector<std::string>{"GetV1ItemsByItemId", "PutV1ItemsByItemId", "DeleteV1ItemsByItemId",
                                      "GetV1Items", "GetV1Search", "GetV1Mode", "PostV1SumByA"}));
  const auto* put = api_.FindFunction("PutV1ItemsByItemId");
  ASSERT_NE(put, nullptr);
  EXPECT_EQ(put->path(), "/v1/items/{itemId}");
  ASSERT_EQ(put->arguments().size(), 2u);
  EXPECT_EQ(put->arguments()[1].location, Quarn::ArgumentLocation::Body);

  auto builder =
      api_.Get("/v1/items/{itemId}/", [](std::string) -> Maybe<void> { return {}; }).Path("other", "ignored");
  EXPECT_EQ(builder.function(), nullptr);
  EXPECT_EQ(api_.functions().size(), 7u);
  EXPECT_EQ(api_.FindFunction("GetV1ItemsByItemId")->arguments()[0].name, "itemId");
}

TEST_F(DispatchTest, AnswersSuccessfulCalls) {
  struct Case {
    std::string function;
    Request request;
    std::string body;
  };
  const Case cases[] = {
      {"GetV1ItemsByItemId", {KIV_METHOD_GET, "/v1/items/7"}, R"({"id":7,"name":"item7","tags":[]})"},
      {"GetV1ItemsByItemId", {KIV_METHOD_GET, "/v1/items/0x10?"}, R"({"id":16,"name":"item16","tags":[]})"},
      {"PutV1ItemsByItemId",
       {KIV_METHOD_PUT, "/v1/items/3", "application/json", R"({"name":"n","tags":["a","b"],"id":9})", true},
       R"({"id":3,"name":"n","tags":["a","b"]})"},
      {"PutV1ItemsByItemId",
       {KIV_METHOD_PUT, "/v1/items/3", "Application/VND.api+json; charset=utf-8", R"({"name":"v"})", true},
       R"({"id":3,"name":"v","tags":[]})"},
      {"PutV1ItemsByItemId",
       {KIV_METHOD_PUT, "/v1/items/4", "application/x-yaml", "name: yml\ntags: [p]\n", true},
       R"({"id":4,"name":"yml","tags":["p"]})"},
      // fixmap {"name": "m"}
      {"PutV1ItemsByItemId",
       {KIV_METHOD_PUT, "/v1/items/5", "application/x-msgpack", "\x81\xA4name\xA1m", true},
       R"({"id":5,"name":"m","tags":[]})"},
      {"GetV1Items", {KIV_METHOD_GET, "/v1/items"}, R"("0|-|off")"},
      {"GetV1Items", {KIV_METHOD_GET, "/v1/items?limit=3&sortRule=x"}, R"("3|x|off")"},
      {"GetV1Items", {KIV_METHOD_GET, "/v1/items?enabled&limit=1&limit=2"}, R"("2|-|on")"},
      {"GetV1Items", {KIV_METHOD_GET, "/v1/items?sortRule=a+b%26c&enabled=false&"}, R"("0|a b&c|off")"},
      {"GetV1Search",
       {KIV_METHOD_GET, "/v1/search?filter.names.0=a&filter.names.0x2=c&filter.limit=5&filter.names.01=b"},
       R"({"limit":5,"names":["a","b","c"]})"},
      {"GetV1Search",
       {KIV_METHOD_GET, "/v1/search?filter=%7B%22limit%22%3A2%7D"},
       R"({"limit":2,"names":[]})"},
      {"GetV1Search", {KIV_METHOD_GET, "/v1/search?filter=---%0Alimit%3A+4"}, R"({"limit":4,"names":[]})"},
      {"GetV1Search", {KIV_METHOD_GET, "/v1/search?filter"}, R"({"limit":0,"names":[]})"},
      // A MessagePack map header as the first byte: {"limit": 3}
      {"GetV1Search", {KIV_METHOD_GET, "/v1/search?filter=%81%A5limit%03"}, R"({"limit":3,"names":[]})"},
      {"GetV1Mode",
       {KIV_METHOD_GET, "/v1/mode", "", "", false, {{"Mode", "upper"}, {"mode", "lower"}}},
       R"("lower")"},
      {"GetV1Mode", {KIV_METHOD_GET, "/v1/mode", "", "", false, {{"Mode", "upper"}}}, R"("none")"},
      // A body is ignored by a function without a body argument.
      {"GetV1Mode", {KIV_METHOD_GET, "/v1/mode", "text/plain", "x", true}, R"("none")"},
  };
  for (const auto& c : cases) {
    const Reply reply = Call(c.function, c.request);
    EXPECT_EQ(reply.error, "") << c.request.path;
    EXPECT_EQ(reply.status, 0u) << c.request.path;
    EXPECT_EQ(reply.body, c.body) << c.request.path;
    EXPECT_EQ(reply.content_type, "") << c.request.path;
  }
}

TEST_F(DispatchTest, DeleteReturningNothingWritesANullBody) {
  const Reply reply = Call("DeleteV1ItemsByItemId", {KIV_METHOD_DELETE, "/v1/items/12"});
  EXPECT_EQ(reply.error, "");
  EXPECT_EQ(reply.body, "null");
  EXPECT_EQ(deleted_, 12u);
}

TEST_F(DispatchTest, TypedArgumentsCountAfterPathArguments) {
  Request by_position{KIV_METHOD_POST, "/v1/sum/2"};
  HostTypedArgument unnamed{};
  unnamed.value.tag = KIV_VALUE_SIGNED;
  unnamed.value.data.i64 = 40;
  by_position.typed = {unnamed};
  EXPECT_EQ(Call("PostV1SumByA", by_position).body, "42");

  Request by_name{KIV_METHOD_POST, "/v1/sum/2"};
  HostTypedArgument named = unnamed;
  named.name = "b";
  by_name.typed = {named};
  EXPECT_EQ(Call("PostV1SumByA", by_name).body, "42");

  Request query_any{KIV_METHOD_POST, "/v1/sum/-5?b=7"};
  EXPECT_EQ(Call("PostV1SumByA", query_any).body, "2");
}

TEST_F(DispatchTest, ReportsEachFailureWithItsTextAndStatus) {
  struct Case {
    std::string function;
    Request request;
    std::string error;
    uint32_t status;
  };
  HostTypedArgument unnamed{};
  unnamed.value.tag = KIV_VALUE_SIGNED;
  HostTypedArgument unknown = unnamed;
  unknown.name = "zzz";
  const Case cases[] = {
      {"GetV1ItemsByItemId", {KIV_METHOD_PUT, "/v1/items/7"}, "Invalid function", 404},
      {"GetV1ItemsByItemId", {KIV_METHOD_GET, "/v1/items/7/x"}, "Invalid function", 404},
      {"GetV1ItemsByItemId", {KIV_METHOD_GET, "/v1/items/404"}, "Not found", 404},
      {"GetV1ItemsByItemId",
       {KIV_METHOD_GET, "/v1/items/7?itemId=3"},
       "Argument 'itemId' for 'GetV1ItemsByItemId' was specified in an invalid location.",
       0},
      {"GetV1Items",
       {KIV_METHOD_GET, "/v1/items?bogus=1&limit=2"},
       "Unknown argument 'bogus' for 'GetV1Items'.",
       0},
      {"GetV1Items", {KIV_METHOD_GET, "/v1/items?limit="}, "Expected value for argument 'limit'.", 0},
      {"GetV1Search",
       {KIV_METHOD_GET, "/v1/search?filter.names.1z=a"},
       "Index 1z is in an incorrect format",
       0},
      // Far below 2^31: one pair must not allocate millions of elements.
      {"GetV1Search", {KIV_METHOD_GET, "/v1/search?filter.names.65536=a"}, "Index 65536 is out of range", 0},
      {"GetV1Search",
       {KIV_METHOD_GET, "/v1/search?filter.names.2147483648=a"},
       "Index 2147483648 is out of range",
       0},
      {"GetV1Search",
       {KIV_METHOD_GET, "/v1/search?filter.names.99999999999999999999=a"},
       "Index 99999999999999999999 is out of range",
       0},
      {"GetV1Search",
       {KIV_METHOD_GET, "/v1/search?filter=%7Bx"},
       "Couldn't deserialize JSON value for parameter 'filter' of 'GetV1Search': " +
           std::string(Quarn::FromJson("{x").ErrorMessage()),
       0},
      {"GetV1Search",
       {KIV_METHOD_GET, "/v1/search?filter=%91%C1"},
       "Couldn't deserialize MessagePack value for parameter 'filter' of 'GetV1Search': " +
           MsgPackError("\x91\xC1"),
       0},
      {"GetV1Search",
       {KIV_METHOD_GET, "/v1/search?filter=---%0A%5B"},
       "Couldn't deserialize YAML value for parameter 'filter' of 'GetV1Search': " +
           std::string(Quarn::ReadYaml("---\n[").ErrorMessage()),
       0},
      {"GetV1Mode",
       {KIV_METHOD_GET, "/v1/mode?Mode=x"},
       "Argument 'Mode' for 'GetV1Mode' was specified in an invalid location.",
       0},
      {"PutV1ItemsByItemId",
       {KIV_METHOD_PUT, "/v1/items/1", "text/plain", "{}", true},
       "Unsupported body content type",
       0},
      {"PutV1ItemsByItemId",
       {KIV_METHOD_PUT, "/v1/items/1", "application/x-msgpack", "\x80\x01", true},
       "Extra MessgePack data found in body",
       0},
      {"PutV1ItemsByItemId",
       {KIV_METHOD_PUT, "/v1/items/1", "application/x-msgpack", "\x91\xC1", true},
       MsgPackError("\x91\xC1"),
       0},
      {"PutV1ItemsByItemId",
       {KIV_METHOD_PUT, "/v1/items/1", "application/json", "[1,]", true},
       std::string(Quarn::FromJson("[1,]").ErrorMessage()),
       0},
      // The body step runs after a failed query pass and its failure wins.
      {"PutV1ItemsByItemId",
       {KIV_METHOD_PUT, "/v1/items/1?x=1", "text/plain", "{}", true},
       "Unsupported body content type",
       0},
      {"PostV1SumByA",
       {KIV_METHOD_POST, "/v1/sum/1", "", "", false, {}, {unknown}},
       "Unknown argument 'zzz' for 'PostV1SumByA'.",
       0},
      {"PostV1SumByA",
       {KIV_METHOD_POST, "/v1/sum/1", "", "", false, {}, {unnamed, unnamed}},
       "Unknown argument '2' for 'PostV1SumByA'.",
       0},
  };
  for (const auto& c : cases) {
    calls_ = 0;
    const Reply reply = Call(c.function, c.request);
    EXPECT_EQ(reply.error, c.error) << c.request.path;
    EXPECT_EQ(reply.status, c.status) << c.request.path;
    const bool handler_failed = c.error == "Not found";
    EXPECT_EQ(calls_, handler_failed ? 1 : 0) << c.request.path;
  }
}

TEST_F(DispatchTest, BodyIsReadWithinItsLengthAndTextUpToItsFirstNul) {
  const Quarn::BindingFunction* put = api_.FindFunction("PutV1ItemsByItemId");
  ASSERT_NE(put, nullptr);
  struct Case {
    std::string bytes;
    std::string body;
  };
  const Case cases[] = {
      {R"({"name":"exact"})", R"({"id":1,"name":"exact","tags":[]})"},
      {std::string(R"({"name":"nul"})") + '\0' + "trailing junk", R"({"id":1,"name":"nul","tags":[]})"},
  };
  for (const auto& c : cases) {
    // Exactly sized, no terminator: reading past the length would be caught.
    const std::vector<uint8_t> bytes(c.bytes.begin(), c.bytes.end());
    HostRequest request{};
    request.method = KIV_METHOD_PUT;
    request.path = "/v1/items/1";
    request.content_type = "application/json";
    request.body = bytes.data();
    request.body_length = static_cast<uint32_t>(bytes.size());
    HostResponse response{};
    Quarn::DispatchRequest(api_, *put, response, request);
    const char* error = response.error;
    EXPECT_STREQ(error, nullptr);
    EXPECT_EQ(BodyJson(response.body), c.body);
    response.release(&response);
  }
}

}  // namespace
