#include "host/openapi.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <map>
#include <string_view>
#include <vector>

#include "host/api_description.h"
#include "host/host_loop.h"

namespace {

using Writer = rapidjson::Writer<rapidjson::StringBuffer>;
using kiv::host::TextOf;

constexpr std::string_view kErrorSchema = "KivHostError";
constexpr std::string_view kBodyTypes[] = {"application/json", "application/vnd.api+json",
                                           "application/x-yaml", "application/x-msgpack"};

void Key(Writer& w, std::string_view key) { w.Key(key.data(), static_cast<rapidjson::SizeType>(key.size())); }
void Text(Writer& w, std::string_view text) {
  w.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
}
void Member(Writer& w, std::string_view key, std::string_view text) {
  Key(w, key);
  Text(w, text);
}

// Component names may only hold letters, digits, ".", "-" and "_".
std::string ComponentName(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                    c == '-' || c == '_';
    if (!ok) c = '_';
  }
  return out;
}

void IntegerMembers(Writer& w, const char* format, int64_t minimum, uint64_t maximum, bool has_maximum) {
  Member(w, "type", "integer");
  if (format != nullptr) Member(w, "format", format);
  Key(w, "minimum");
  w.Int64(minimum);
  if (has_maximum) {
    Key(w, "maximum");
    w.Uint64(maximum);
  }
}

// One schema object; `description`, when given, sits beside the type (a
// "$ref" may have siblings in OpenAPI 3.1).
void Schema(Writer& w, uint32_t kind, uint32_t element_kind, const char* type_name,
            std::string_view description = {}) {
  w.StartObject();
  switch (kind) {
    case KIV_TYPE_BOOL:
      Member(w, "type", "boolean");
      break;
    case KIV_TYPE_INT8:
      IntegerMembers(w, "int32", -128, 127, true);
      break;
    case KIV_TYPE_UINT8:
      IntegerMembers(w, "int32", 0, 255, true);
      break;
    case KIV_TYPE_INT16:
      IntegerMembers(w, "int32", -32768, 32767, true);
      break;
    case KIV_TYPE_UINT16:
      IntegerMembers(w, "int32", 0, 65535, true);
      break;
    case KIV_TYPE_INT32:
      Member(w, "type", "integer");
      Member(w, "format", "int32");
      break;
    case KIV_TYPE_UINT32:
      IntegerMembers(w, "int64", 0, 4294967295u, true);
      break;
    case KIV_TYPE_INT64:
      Member(w, "type", "integer");
      Member(w, "format", "int64");
      break;
    case KIV_TYPE_UINT64:
      IntegerMembers(w, "uint64", 0, 0, false);
      break;
    case KIV_TYPE_FLOAT:
    case KIV_TYPE_DOUBLE:
      Member(w, "type", "number");
      Member(w, "format", kind == KIV_TYPE_FLOAT ? "float" : "double");
      break;
    case KIV_TYPE_STRING:
      Member(w, "type", "string");
      break;
    case KIV_TYPE_BLOB:
      Member(w, "type", "string");
      Member(w, "format", "binary");
      break;
    case KIV_TYPE_VECTOR:
      Member(w, "type", "array");
      Key(w, "items");
      Schema(w, element_kind, 0, type_name);
      break;
    case KIV_TYPE_MAP:
      Member(w, "type", "object");
      Key(w, "additionalProperties");
      Schema(w, element_kind, 0, type_name);
      break;
    case KIV_TYPE_ENUM:
    case KIV_TYPE_STRUCT:
      if (type_name != nullptr && type_name[0] != '\0') {
        Member(w, "$ref", "#/components/schemas/" + ComponentName(type_name));
        break;
      }
      [[fallthrough]];
    default:
      // Free values (object kind), callbacks and anything unknown: any value.
      if (description.empty()) description = "Any value";
      break;
  }
  if (!description.empty()) Member(w, "description", description);
  w.EndObject();
}

void Schema(Writer& w, const ApiTypeRef& type, std::string_view description = {}) {
  Schema(w, type.kind, type.element_kind, type.type_name, description);
}

// "{+rest}" and "{#frag}" are plain parameters in OpenAPI's templates.
std::string OpenApiPath(std::string_view path, std::vector<std::string>& placeholders) {
  std::string out;
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] != '{') {
      out += path[i];
      continue;
    }
    size_t end = path.find('}', i);
    if (end == std::string_view::npos) end = path.size();
    std::string_view name = path.substr(i + 1, end - i - 1);
    if (!name.empty() && (name.front() == '+' || name.front() == '#')) name.remove_prefix(1);
    placeholders.emplace_back(name);
    out.append("{").append(name).append("}");
    i = end;
  }
  return out;
}

void ErrorResponse(Writer& w) {
  Key(w, "default");
  w.StartObject();
  Member(w, "description", "Failure: the status and the message");
  Key(w, "content");
  w.StartObject();
  Key(w, "application/json");
  w.StartObject();
  Key(w, "schema");
  w.StartObject();
  Member(w, "$ref", "#/components/schemas/" + std::string(kErrorSchema));
  w.EndObject();
  w.EndObject();
  w.EndObject();
  w.EndObject();
}

void Operation(Writer& w, const ApiFunctionEntry& f, const std::vector<std::string>& placeholders,
               std::string_view method, std::string_view first_segment) {
  Key(w, method);
  w.StartObject();
  std::string id =
      TextOf(f.name).empty() ? std::string(method) + std::string(TextOf(f.path)) : std::string(f.name);
  if (f.method == KIV_METHOD_NONE) id.append("_").append(method);
  Member(w, "operationId", id);
  Member(w, "summary", TextOf(f.help).empty() ? std::string_view(id) : TextOf(f.help));
  if (!TextOf(f.help).empty()) Member(w, "description", f.help);
  // Swagger UI lists an operation once per tag: group by the most specific
  // (last) tag and keep them all beside it.
  const bool tagged = f.tags != nullptr && f.tag_count > 0;
  Key(w, "tags");
  w.StartArray();
  Text(w, tagged ? TextOf(f.tags[f.tag_count - 1]) : first_segment);
  w.EndArray();
  if (tagged) {
    Key(w, "x-kiv-tags");
    w.StartArray();
    for (uint32_t t = 0; t < f.tag_count; ++t) Text(w, TextOf(f.tags[t]));
    w.EndArray();
  }

  Key(w, "parameters");
  w.StartArray();
  std::vector<std::string> declared;
  const ApiArgumentEntry* body = nullptr;
  for (uint32_t a = 0; f.arguments != nullptr && a < f.argument_count; ++a) {
    const ApiArgumentEntry& arg = f.arguments[a];
    const std::string name(TextOf(arg.name));
    const bool in_path = std::find(placeholders.begin(), placeholders.end(), name) != placeholders.end();
    if (arg.location == KIV_LOCATION_BODY) {
      if (body == nullptr) body = &arg;
      continue;
    }
    std::string_view where = "query";
    if (arg.location == KIV_LOCATION_PATH || (arg.location == KIV_LOCATION_ANY && in_path)) where = "path";
    if (arg.location == KIV_LOCATION_HEADER) where = "header";
    if (where == "path" && !in_path) continue;  // not in the template: nothing could carry it
    w.StartObject();
    Member(w, "name", name);
    Member(w, "in", where);
    if (!TextOf(arg.help).empty()) Member(w, "description", arg.help);
    Key(w, "required");
    w.Bool(where == "path" || arg.optional == 0);
    Key(w, "schema");
    Schema(w, arg.type);
    w.EndObject();
    if (where == "path") declared.push_back(name);
  }
  // Every placeholder of the template is a parameter, described or not.
  for (const std::string& p : placeholders) {
    if (std::find(declared.begin(), declared.end(), p) != declared.end()) continue;
    w.StartObject();
    Member(w, "name", p);
    Member(w, "in", "path");
    Key(w, "required");
    w.Bool(true);
    Key(w, "schema");
    Schema(w, KIV_TYPE_STRING, 0, nullptr);
    w.EndObject();
  }
  w.EndArray();

  if (body != nullptr) {
    Key(w, "requestBody");
    w.StartObject();
    if (!TextOf(body->help).empty()) Member(w, "description", body->help);
    Key(w, "required");
    w.Bool(body->optional == 0);
    Key(w, "content");
    w.StartObject();
    for (const std::string_view type : kBodyTypes) {
      Key(w, type);
      w.StartObject();
      Key(w, "schema");
      Schema(w, body->type);
      w.EndObject();
    }
    w.EndObject();
    w.EndObject();
  }

  Key(w, "responses");
  w.StartObject();
  if (f.result.kind == KIV_TYPE_NONE) {
    Key(w, "204");
    w.StartObject();
    Member(w, "description", "Success, no content");
    w.EndObject();
  } else {
    Key(w, "200");
    w.StartObject();
    Member(w, "description", "Success");
    Key(w, "content");
    w.StartObject();
    Key(w, "application/json");
    w.StartObject();
    Key(w, "schema");
    Schema(w, f.result);
    w.EndObject();
    w.EndObject();
    w.EndObject();
  }
  ErrorResponse(w);
  w.EndObject();
  w.EndObject();
}

void TypeSchema(Writer& w, const ApiTypeEntry& t) {
  Key(w, ComponentName(TextOf(t.name)));
  w.StartObject();
  if (t.kind == KIV_TYPE_ENTRY_ENUM) {
    Member(w, "type", "string");
    Key(w, "enum");
    w.StartArray();
    std::string values;
    for (uint32_t m = 0; t.members.enumerators != nullptr && m < t.member_count; ++m) {
      const ApiEnumeratorEntry& e = t.members.enumerators[m];
      Text(w, TextOf(e.name));
      values += (values.empty() ? "" : ", ") + std::string(TextOf(e.name)) + " = " + std::to_string(e.value);
    }
    w.EndArray();
    const std::string about = TextOf(t.description).empty()
                                  ? "Values: " + values
                                  : std::string(t.description) + " Values: " + values;
    Member(w, "description", about);
    w.EndObject();
    return;
  }
  Member(w, "type", "object");
  if (!TextOf(t.description).empty()) Member(w, "description", t.description);
  Key(w, "properties");
  w.StartObject();
  std::vector<std::string_view> required;
  for (uint32_t m = 0; t.members.fields != nullptr && m < t.member_count; ++m) {
    const ApiFieldEntry& field = t.members.fields[m];
    Key(w, TextOf(field.name));
    Schema(w, field.type, TextOf(field.description));
    if ((field.flags & KIV_FIELD_REQUIRED) != 0) required.push_back(TextOf(field.name));
  }
  w.EndObject();
  if (!required.empty()) {
    Key(w, "required");
    w.StartArray();
    for (const auto r : required) Text(w, r);
    w.EndArray();
  }
  w.EndObject();
}

}  // namespace

std::string kiv::host::BuildOpenApi(const ApiDescription& description, const OpenApiInfo& info) {
  rapidjson::StringBuffer buffer;
  Writer w(buffer);
  w.StartObject();
  Member(w, "openapi", "3.1.0");
  Key(w, "info");
  w.StartObject();
  Member(w, "title", info.title);
  Member(w, "version", info.version);
  if (!info.description.empty()) Member(w, "description", info.description);
  w.EndObject();
  Key(w, "servers");
  w.StartArray();
  w.StartObject();
  Member(w, "url", "/");
  w.EndObject();
  w.EndArray();

  // Path items in first-seen order; several functions may share one path.
  struct PathItem {
    std::string path;
    std::vector<std::string> placeholders;
    std::vector<const ApiFunctionEntry*> functions;
  };
  std::vector<PathItem> items;
  for (uint32_t i = 0; description.functions != nullptr && i < description.function_count; ++i) {
    const ApiFunctionEntry& f = description.functions[i];
    if (f.method == KIV_METHOD_CUSTOM || !TextOf(f.path).starts_with("/")) continue;
    std::vector<std::string> placeholders;
    const std::string path = OpenApiPath(TextOf(f.path), placeholders);
    auto it = std::find_if(items.begin(), items.end(), [&](const PathItem& p) { return p.path == path; });
    if (it == items.end()) {
      items.push_back({path, placeholders, {}});
      it = items.end() - 1;
    }
    it->functions.push_back(&f);
  }
  Key(w, "paths");
  w.StartObject();
  for (const PathItem& item : items) {
    Key(w, item.path);
    w.StartObject();
    const std::string_view rest = std::string_view(item.path).substr(1);
    const std::string_view first_segment = rest.substr(0, rest.find('/'));
    std::vector<std::string> written;
    for (const ApiFunctionEntry* f : item.functions) {
      std::vector<std::string_view> methods;
      if (f->method == KIV_METHOD_NONE) {
        methods = {"get", "put", "post", "delete", "patch"};
      } else {
        methods = {std::string_view()};
      }
      for (std::string_view m : methods) {
        std::string method(m.empty() ? MethodName(f->method) : m);
        std::transform(method.begin(), method.end(), method.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        // The first function of a method wins, as routing would choose it.
        if (method.empty() || std::find(written.begin(), written.end(), method) != written.end()) continue;
        written.push_back(method);
        Operation(w, *f, item.placeholders, method, first_segment);
      }
    }
    w.EndObject();
  }
  w.EndObject();

  Key(w, "components");
  w.StartObject();
  Key(w, "schemas");
  w.StartObject();
  for (uint32_t i = 0; description.types != nullptr && i < description.type_count; ++i)
    TypeSchema(w, description.types[i]);
  Key(w, kErrorSchema);
  w.StartObject();
  Member(w, "type", "object");
  Member(w, "description", "Every failure: the HTTP status and the plug-in's message");
  Key(w, "properties");
  w.StartObject();
  Key(w, "httpStatus");
  w.StartObject();
  Member(w, "type", "integer");
  w.EndObject();
  Key(w, "message");
  w.StartObject();
  Member(w, "type", "string");
  w.EndObject();
  w.EndObject();
  Key(w, "required");
  w.StartArray();
  Text(w, "httpStatus");
  Text(w, "message");
  w.EndArray();
  w.EndObject();
  w.EndObject();
  w.EndObject();
  w.EndObject();
  return buffer.GetString();
}
