// The documents the codec benchmarks read and write, generated the same way
// on every run (a fixed-seed generator, no files): a catalogue of 3000
// ward-skin-shaped objects (about 1.3 MB of JSON), an array of 100,000
// mixed numbers, and a mastery book of 20 pages of 30 masteries. Each comes
// as JSON text, as MessagePack bytes and as block-style YAML text.
#pragma once

#include <msgpack.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

namespace kiv_bench {

struct CodecDocument {
  const char* name;  // "Catalogue", "Numbers", "MasteryBook"
  std::string json;
  std::string msgpack;
  std::string yaml;
};

namespace detail {

// A fixed-seed 64-bit linear congruential generator: same numbers everywhere.
class Random {
 public:
  uint64_t Next() {
    state_ = state_ * 6364136223846793005u + 1442695040888963407u;
    return state_ >> 11;
  }
  uint64_t Below(uint64_t n) { return Next() % n; }

 private:
  uint64_t state_ = 0x2545F4914F6CDD1Du;
};

inline std::string Words(Random& random, size_t length) {
  static const char* const kWords[] = {"ward",  "light",   "shadow", "river", "crest",  "ember", "frost",
                                       "night", "lantern", "glyph",  "storm", "silver", "dusk",  "bloom"};
  std::string text;
  while (text.size() < length) {
    if (!text.empty()) text += ' ';
    text += kWords[random.Below(std::size(kWords))];
  }
  text[0] = static_cast<char>(text[0] - 'a' + 'A');
  return text + ".";
}

using JsonWriter = rapidjson::Writer<rapidjson::StringBuffer>;

inline void Key(JsonWriter& w, const char* key) { w.Key(key); }
inline void Text(JsonWriter& w, const std::string& text) {
  w.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
}

inline std::string CatalogueJson() {
  Random random;
  rapidjson::StringBuffer buffer;
  JsonWriter w(buffer);
  w.StartArray();
  for (int i = 0; i < 3000; ++i) {
    const bool rented = random.Below(4) == 0;
    w.StartObject();
    Key(w, "id");
    w.Int64(1000 + i * 7);
    Key(w, "name");
    Text(w, Words(random, 18));
    Key(w, "description");
    Text(w, Words(random, 118));
    std::string path = "/kiv-game-data/assets/v1/ward-skins/ward-";
    path.append(std::to_string(i)).append("/ward_").append(std::to_string(i));
    Key(w, "wardImagePath");
    Text(w, std::string(path).append(".png"));
    Key(w, "wardShadowImagePath");
    Text(w, std::string(path).append("_shadow.png"));
    Key(w, "ownership");
    w.StartObject();
    Key(w, "freeToPlayReward");
    w.Bool(random.Below(10) == 0);
    Key(w, "owned");
    w.Bool(random.Below(2) == 0);
    Key(w, "rental");
    w.StartObject();
    Key(w, "endDate");
    w.Uint64(rented ? 1700000000000u + random.Below(1000000000) : 0);
    Key(w, "purchaseDate");
    w.Uint64(rented ? 1690000000000u + random.Below(1000000000) : 0);
    Key(w, "winCountRemaining");
    w.Int(rented ? static_cast<int>(random.Below(20)) : 0);
    Key(w, "rented");
    w.Bool(rented);
    w.EndObject();
    w.EndObject();
    w.EndObject();
  }
  w.EndArray();
  return {buffer.GetString(), buffer.GetSize()};
}

inline std::string NumbersJson() {
  Random random;
  rapidjson::StringBuffer buffer;
  JsonWriter w(buffer);
  w.StartArray();
  for (int i = 0; i < 100000; ++i) {
    switch (random.Below(4)) {
      case 0:
        w.Uint64(random.Below(1000));
        break;
      case 1:
        w.Int64(-static_cast<int64_t>(random.Below(1000000000)));
        break;
      case 2:
        w.Uint64(random.Next());
        break;
      default:
        w.Double(static_cast<double>(random.Below(10000000)) / 1024.0 - 2000.0);
        break;
    }
  }
  w.EndArray();
  return {buffer.GetString(), buffer.GetSize()};
}

inline std::string MasteryBookJson() {
  static const char* const kTrees[] = {"Ferocity", "Cunning", "Resolve"};
  Random random;
  rapidjson::StringBuffer buffer;
  JsonWriter w(buffer);
  w.StartObject();
  Key(w, "summonerId");
  w.Uint64(2398471234987u);
  Key(w, "pages");
  w.StartArray();
  for (int page = 0; page < 20; ++page) {
    w.StartObject();
    Key(w, "current");
    w.Bool(page == 0);
    Key(w, "id");
    w.Uint(page + 1);
    Key(w, "name");
    Text(w, std::string("Page ").append(std::to_string(page + 1)));
    Key(w, "summary");
    w.StartObject();
    for (const char* tree : kTrees) {
      Key(w, tree);
      w.Uint(static_cast<unsigned>(random.Below(31)));
    }
    w.EndObject();
    Key(w, "masteries");
    w.StartArray();
    for (int m = 0; m < 30; ++m) {
      w.StartObject();
      Key(w, "id");
      w.Uint(6111 + static_cast<unsigned>(m) * 10 + static_cast<unsigned>(random.Below(3)));
      Key(w, "rank");
      w.Int(static_cast<int>(random.Below(5)) + 1);
      w.EndObject();
    }
    w.EndArray();
    w.EndObject();
  }
  w.EndArray();
  w.EndObject();
  return {buffer.GetString(), buffer.GetSize()};
}

// MessagePack bytes of a parsed JSON document, through msgpack-c's packer.
inline void Pack(const rapidjson::Value& v, msgpack_packer& packer) {
  if (v.IsNull()) {
    msgpack_pack_nil(&packer);
  } else if (v.IsBool()) {
    v.GetBool() ? msgpack_pack_true(&packer) : msgpack_pack_false(&packer);
  } else if (v.IsUint64()) {
    msgpack_pack_uint64(&packer, v.GetUint64());
  } else if (v.IsInt64()) {
    msgpack_pack_int64(&packer, v.GetInt64());
  } else if (v.IsDouble()) {
    msgpack_pack_double(&packer, v.GetDouble());
  } else if (v.IsString()) {
    msgpack_pack_str(&packer, v.GetStringLength());
    msgpack_pack_str_body(&packer, v.GetString(), v.GetStringLength());
  } else if (v.IsArray()) {
    msgpack_pack_array(&packer, v.Size());
    for (const auto& element : v.GetArray()) Pack(element, packer);
  } else {
    msgpack_pack_map(&packer, v.MemberCount());
    for (const auto& member : v.GetObject()) {
      msgpack_pack_str(&packer, member.name.GetStringLength());
      msgpack_pack_str_body(&packer, member.name.GetString(), member.name.GetStringLength());
      Pack(member.value, packer);
    }
  }
}

inline std::string ToMsgPack(const rapidjson::Document& document) {
  msgpack_sbuffer buffer;
  msgpack_sbuffer_init(&buffer);
  msgpack_packer packer;
  msgpack_packer_init(&packer, &buffer, msgpack_sbuffer_write);
  Pack(document, packer);
  std::string bytes(buffer.data, buffer.size);
  msgpack_sbuffer_destroy(&buffer);
  return bytes;
}

inline std::string Scalar(const rapidjson::Value& v) {
  rapidjson::StringBuffer buffer;
  JsonWriter w(buffer);
  v.Accept(w);  // JSON scalars (strings double-quoted) are YAML scalars
  return {buffer.GetString(), buffer.GetSize()};
}

// Block-style YAML: mappings and sequences of containers on their own lines,
// sequences of scalars in flow style.
inline void EmitYaml(const rapidjson::Value& v, size_t indent, bool inline_first, std::string& out);

inline void EmitYamlValue(const rapidjson::Value& v, size_t indent, std::string& out) {
  const bool scalars_only = v.IsArray() && std::all_of(v.Begin(), v.End(), [](const auto& e) {
                              return !e.IsObject() && !e.IsArray();
                            });
  if (!v.IsObject() && !v.IsArray()) {
    out.append(" ").append(Scalar(v)).append("\n");
  } else if (v.IsObject() ? v.MemberCount() == 0 : v.Size() == 0) {
    out += v.IsObject() ? " {}\n" : " []\n";
  } else if (scalars_only) {
    out += " [";
    for (auto e = v.Begin(); e != v.End(); ++e) out.append(e == v.Begin() ? "" : ", ").append(Scalar(*e));
    out += "]\n";
  } else {
    out += "\n";
    EmitYaml(v, indent, false, out);
  }
}

inline void EmitYaml(const rapidjson::Value& v, size_t indent, bool inline_first, std::string& out) {
  bool first = true;
  if (v.IsObject()) {
    for (const auto& member : v.GetObject()) {
      if (!(first && inline_first)) out.append(indent, ' ');
      first = false;
      out += member.name.GetString();
      out += ":";
      EmitYamlValue(member.value, indent + 2, out);
    }
    return;
  }
  for (const auto& element : v.GetArray()) {
    if (!(first && inline_first)) out.append(indent, ' ');
    first = false;
    out += "-";
    if (element.IsObject() && element.MemberCount() > 0) {
      out += " ";
      EmitYaml(element, indent + 2, true, out);
    } else {
      EmitYamlValue(element, indent + 2, out);
    }
  }
}

inline CodecDocument MakeDocument(const char* name, std::string json) {
  rapidjson::Document document;
  document.Parse(json.c_str());
  std::string yaml;
  if (document.IsArray() && std::none_of(document.Begin(), document.End(),
                                         [](const auto& e) { return e.IsObject() || e.IsArray(); })) {
    EmitYamlValue(document, 0, yaml);
    yaml.erase(0, 1);  // the leading space before a flow sequence
  } else {
    EmitYaml(document, 0, false, yaml);
  }
  return {name, json, ToMsgPack(document), yaml};
}

}  // namespace detail

// The three documents, built on first use.
inline const std::vector<CodecDocument>& CodecDocuments() {
  static const std::vector<CodecDocument> documents = {
      detail::MakeDocument("Catalogue", detail::CatalogueJson()),
      detail::MakeDocument("Numbers", detail::NumbersJson()),
      detail::MakeDocument("MasteryBook", detail::MasteryBookJson()),
  };
  return documents;
}

}  // namespace kiv_bench
