#include "binding/yaml_reader.h"

#include <yaml.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

#include "binding/codec_messages.h"
#include "binding/conversion_messages.h"
#include "binding/detail/c_locale_numbers.h"
#include "binding/detail/tree_builder.h"
#include "binding/message_format.h"
#include "binding/numeric_conversion.h"

namespace {

using Quarn::BindingProperty;
using Quarn::BindingResult;

constexpr std::string_view kTagStr = "tag:yaml.org,2002:str";
constexpr std::string_view kTagInt = "tag:yaml.org,2002:int";
constexpr std::string_view kTagFloat = "tag:yaml.org,2002:float";
constexpr std::string_view kTagBool = "tag:yaml.org,2002:bool";

namespace Msg = Quarn::CodecMessage;

// libyaml rescans every open flow level for each token, so deep flow
// nesting costs quadratic time; block nesting has no such cost.
constexpr size_t kMaxFlowDepth = 1000;
// Aliases of aliases grow exponentially ("billion laughs").
constexpr size_t kMaxAliasValues = 1000000;

bool IsNullWord(std::string_view w) {
  return w.empty() || w == "~" || w == "null" || w == "Null" || w == "NULL";
}
bool IsTrueWord(std::string_view w) {
  return w == "true" || w == "True" || w == "TRUE" || w == "y" || w == "Y" || w == "yes" || w == "Yes" ||
         w == "YES" || w == "on" || w == "On" || w == "ON";
}
bool IsFalseWord(std::string_view w) {
  return w == "false" || w == "False" || w == "FALSE" || w == "n" || w == "N" || w == "no" || w == "No" ||
         w == "NO" || w == "off" || w == "Off" || w == "OFF";
}

// Decimal or 0x-hexadecimal integer texts that fit 64 bits are read
// exactly; going through a double would change integers above 2^53.
template <class Target>
bool ResolveInteger(std::string_view text, Target& target) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (text.size() - i > 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return false;
  uint64_t magnitude = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data() + i, end, magnitude, base);
  if (ec != std::errc() || ptr != end) return false;
  if (!negative || magnitude == 0) {
    target.SetUnsigned(magnitude);  // -0 reads as 0, as its double does
    return true;
  }
  if (magnitude > uint64_t{1} << 63) {
    // Below the signed range: a Float, as JSON reads it; the double of the
    // text would round to -2^63 and read as that Signed.
    target.SetDouble(-static_cast<double>(magnitude));
    return true;
  }
  target.SetSigned(static_cast<int64_t>(0 - magnitude));
  return true;
}

// Untagged plain scalar: null words, numbers, bool words, else String.
// REQUIRES: text.data()[text.size()] is readable and NUL (libyaml's scalars).
template <class Target>
void ResolvePlain(std::string_view text, Target& target) {
  if (IsNullWord(text)) {
    target.Clear();
    return;
  }
  const char first = text[0];
  const bool may_be_number = (first >= '0' && first <= '9') || first == '+' || first == '-' || first == '.' ||
                             first == ' ' || first == '\t' || first == '\n' || first == '\r' ||
                             first == '\v' || first == '\f';
  if (may_be_number) {
    if (ResolveInteger(text, target)) return;
    // from_chars is the faster of two correctly rounded readings; strtod
    // takes what it leaves (leading blanks or "+", hex, underflow).
    const char* const text_end = text.data() + text.size();
    double d;
    const std::from_chars_result read = std::from_chars(text.data(), text_end, d);
    bool whole = read.ec == std::errc() && read.ptr == text_end;
    if (!whole) {
      char* end = nullptr;
      d = Quarn::detail::StrToDouble(text.data(), &end);
      whole = end == text_end;
    }
    if (whole && std::isfinite(d)) {
      // Integral values outside the 64-bit ranges stay Floats: converting
      // them to an integer has no meaningful result.
      if (std::trunc(d) != d) {
        target.SetDouble(d);
      } else if (d < 0) {
        if (d >= -9223372036854775808.0) {
          target.SetSigned(static_cast<int64_t>(d));
        } else {
          target.SetDouble(d);
        }
      } else if (d < 18446744073709551616.0) {
        target.SetUnsigned(static_cast<uint64_t>(d));
      } else {
        target.SetDouble(d);
      }
      return;
    }
  }
  if (IsTrueWord(text)) {
    target.SetBool(true);
  } else if (IsFalseWord(text)) {
    target.SetBool(false);
  } else {
    target.SetString(text);
  }
}

using Scalar = decltype(yaml_event_t::data.scalar);

// Converts a value scalar into `target`; on failure `target` is left alone
// and the message goes to `report`.
template <class Target>
bool ConvertScalar(const Scalar& scalar, Target& target, BindingProperty& scratch, BindingResult& report) {
  const std::string_view text(reinterpret_cast<const char*>(scalar.value), scalar.length);
  if (scalar.tag == nullptr) {
    if (scalar.style == YAML_SINGLE_QUOTED_SCALAR_STYLE || scalar.style == YAML_DOUBLE_QUOTED_SCALAR_STYLE) {
      target.SetString(text);
    } else {
      ResolvePlain(text, target);
    }
    return true;
  }
  const std::string_view tag(reinterpret_cast<const char*>(scalar.tag));
  if (tag == kTagStr) {
    target.SetString(text);
    return true;
  }
  if (tag == kTagBool) {
    if (IsTrueWord(text)) {
      target.SetBool(true);
    } else if (IsFalseWord(text)) {
      target.SetBool(false);
    } else {
      // Leaving the value out would lose what the sender meant.
      report.Fail(Quarn::Format(Quarn::ConversionMessage::kIncorrectFormat, text, "yaml", "bool"));
      return false;
    }
    return true;
  }
  if (tag != kTagInt && tag != kTagFloat) {
    report.Fail(Quarn::Format(Msg::kYamlUnsupportedTag, tag));
    return false;
  }

  scratch.SetString(text);
  BindingResult conversion;
  if (tag == kTagFloat) {
    const double d =
        Quarn::ToDouble(conversion, scratch, "yaml", -1.7976931348623157e308, 1.7976931348623157e308, "double");
    if (conversion.ok()) target.SetDouble(d);
  } else if (!text.empty() && text[0] == '-') {
    const int64_t v = Quarn::ToSigned(conversion, scratch, "yaml", std::numeric_limits<int64_t>::min(),
                                      std::numeric_limits<int64_t>::max(), "int64_t");
    if (conversion.ok()) target.SetSigned(v);
  } else {
    const uint64_t v =
        Quarn::ToUnsigned(conversion, scratch, "yaml", std::numeric_limits<uint64_t>::max(), "uint64_t");
    if (conversion.ok()) target.SetUnsigned(v);
  }
  if (conversion.ok()) return true;
  report.Fail(conversion.ErrorMessage());
  return false;
}

struct Mark {
  size_t line;
  size_t column;
};

class Reader {
 public:
  Reader(BindingResult& result) : result_(result) {
    stack_.reserve(16);
    steps_.push_back({kNoStep, false, 0, {}});  // the root
  }

  // Handles one event; false when reading should stop.
  bool Handle(const yaml_event_t& event) {
    switch (event.type) {
      case YAML_STREAM_END_EVENT:
        return false;
      case YAML_DOCUMENT_START_EVENT:
        if (!result_.value.IsEmpty()) return Fail(Msg::kYamlMultiDocument);
        return true;
      case YAML_SEQUENCE_END_EVENT:
      case YAML_MAPPING_END_EVENT:
        if (!stack_.empty()) Pop();
        key_pending_ = false;
        return true;
      case YAML_SCALAR_EVENT:
      case YAML_SEQUENCE_START_EVENT:
      case YAML_MAPPING_START_EVENT:
      case YAML_ALIAS_EVENT:
        break;
      default:
        return true;  // stream start, document end
    }

    const Mark mark{event.start_mark.line + 1, event.start_mark.column + 1};
    BindingProperty* target = SelectTarget();
    if (target == nullptr) return HandleKey(event, mark);

    switch (event.type) {
      case YAML_SCALAR_EVENT: {
        const auto& scalar = event.data.scalar;
        if (!ConvertScalar(scalar, *target, scratch_, result_)) return false;
        if (scalar.anchor != nullptr && !StoreAnchor(Text(scalar.anchor), mark, false)) return false;
        Pop();
        return true;
      }
      case YAML_SEQUENCE_START_EVENT: {
        const auto& start = event.data.sequence_start;
        if (!OpenFlow(start.style == YAML_FLOW_SEQUENCE_STYLE, mark)) return false;
        target->MakeCollection();
        stack_.back().role = Role::kSequence;
        return start.anchor == nullptr || StoreAnchor(Text(start.anchor), mark, true);
      }
      case YAML_MAPPING_START_EVENT: {
        const auto& start = event.data.mapping_start;
        if (!OpenFlow(start.style == YAML_FLOW_MAPPING_STYLE, mark)) return false;
        target->MakeStructure();
        stack_.back().role = Role::kMapping;
        return start.anchor == nullptr || StoreAnchor(Text(start.anchor), mark, true);
      }
      default: {  // alias
        const std::string_view name = Text(event.data.alias.anchor);
        const BindingProperty* source = nullptr;
        const std::string* key_text = nullptr;
        if (!ResolveAlias(name, mark, source, key_text)) return false;
        if (key_text != nullptr) {
          target->SetString(*key_text);
        } else if (!CopyInto(*source, *target, name, mark)) {
          return false;
        }
        Pop();
        return true;
      }
    }
  }

 private:
  static constexpr uint32_t kNoStep = std::numeric_limits<uint32_t>::max();

  enum class Role : uint8_t { kValue, kSequence, kMapping };
  enum class Reach : uint8_t { kRoot, kIndex, kName };

  // One open node, from the root down.
  struct Entry {
    BindingProperty* node;  // its cell does not move while it is open
    size_t index;           // position in the parent sequence (Reach::kIndex)
    Reach reach;
    Role role = Role::kValue;
    bool flow = false;
    int32_t anchor = -1;      // anchor naming this node, open while the entry is
    uint32_t step = kNoStep;  // its path step, once an anchor needed it
  };
  // Paths of anchored nodes share their prefixes: each step names its
  // parent step, so storing an anchor deep down costs no more than the
  // steps not stored before.
  struct Step {
    uint32_t parent;
    bool by_name;
    size_t index;
    std::string name;
  };
  struct Anchor {
    bool is_key;
    bool open;
    uint32_t step;
    std::string key_text;
  };

  static std::string_view Text(const yaml_char_t* text) {
    return text == nullptr ? std::string_view() : std::string_view(reinterpret_cast<const char*>(text));
  }

  template <class... Args>
  bool Fail(std::string_view tmpl, const Args&... args) {
    result_.Fail(Quarn::Format(tmpl, args...));
    return false;
  }

  // The node the event fills, with its path entry pushed; null in key
  // position (a mapping waiting for a key), where nothing is pushed.
  BindingProperty* SelectTarget() {
    if (stack_.empty()) {
      stack_.push_back({&result_.value, 0, Reach::kRoot});
      stack_.back().step = 0;
      return &result_.value;
    }
    Entry& top = stack_.back();
    if (top.role == Role::kSequence) {
      BindingProperty& element = top.node->Append();
      const size_t index = top.node->size() - 1;
      stack_.push_back({&element, index, Reach::kIndex});
      return &element;
    }
    if (top.role == Role::kMapping) {
      if (!key_pending_) return nullptr;
      key_pending_ = false;
      BindingProperty& member = top.node->Member(key_);
      stack_.push_back({&member, 0, Reach::kName});
      return &member;
    }
    return top.node;  // not reached: value entries close with their event
  }

  void Pop() {
    const Entry& top = stack_.back();
    if (top.anchor >= 0) anchors_[static_cast<size_t>(top.anchor)].open = false;
    if (top.flow) --flow_depth_;
    stack_.pop_back();
  }

  bool OpenFlow(bool flow, const Mark& mark) {
    if (!flow) return true;
    if (flow_depth_ == kMaxFlowDepth)
      return Fail(Msg::kYamlFlowTooDeep, kMaxFlowDepth, mark.line, mark.column);
    ++flow_depth_;
    stack_.back().flow = true;
    return true;
  }

  bool HandleKey(const yaml_event_t& event, const Mark& mark) {
    switch (event.type) {
      case YAML_SCALAR_EVENT: {
        const auto& scalar = event.data.scalar;
        if (scalar.tag != nullptr && Text(scalar.tag) != kTagStr) {
          return Fail(Msg::kYamlInvalidKey, mark.line, mark.column);
        }
        key_.assign(reinterpret_cast<const char*>(scalar.value), scalar.length);
        key_pending_ = true;
        if (scalar.anchor != nullptr) {
          const std::string_view name = Text(scalar.anchor);
          if (anchor_ids_.contains(std::string(name))) {
            return Fail(Msg::kYamlDuplicateAnchor, name, mark.line, mark.column);
          }
          anchor_ids_.emplace(std::string(name), static_cast<uint32_t>(anchors_.size()));
          anchors_.push_back({true, false, kNoStep, key_});
        }
        return true;
      }
      case YAML_SEQUENCE_START_EVENT:
        return Fail(Msg::kYamlUnexpectedSequence, mark.line, mark.column);
      case YAML_MAPPING_START_EVENT:
        return Fail(Msg::kYamlUnexpectedMapping, mark.line, mark.column);
      default: {
        // An alias as a key: usable when it names a key or a String.
        const std::string_view name = Text(event.data.alias.anchor);
        const BindingProperty* source = nullptr;
        const std::string* key_text = nullptr;
        if (!ResolveAlias(name, mark, source, key_text)) return false;
        if (key_text != nullptr) {
          key_ = *key_text;
        } else if (source->kind() == Quarn::BindingPropertyKind::String) {
          key_ = source->GetString();
        } else {
          return Fail(Msg::kYamlInvalidKey, mark.line, mark.column);
        }
        key_pending_ = true;
        return true;
      }
    }
  }

  // Records the path of the node on top of the stack under `name`.
  bool StoreAnchor(std::string_view name, const Mark& mark, bool open) {
    std::string key(name);
    if (anchor_ids_.contains(key)) return Fail(Msg::kYamlDuplicateAnchor, name, mark.line, mark.column);
    const auto id = static_cast<uint32_t>(anchors_.size());
    anchors_.push_back({false, open, StepOfTop(), {}});
    anchor_ids_.emplace(std::move(key), id);
    if (open) stack_.back().anchor = static_cast<int32_t>(id);
    return true;
  }

  // The path step of the top entry, storing the steps of open entries that
  // have none yet.
  uint32_t StepOfTop() {
    size_t first = stack_.size() - 1;
    while (stack_[first].step == kNoStep) --first;  // the root entry has step 0
    for (size_t i = first + 1; i < stack_.size(); ++i) {
      Entry& entry = stack_[i];
      Step step{stack_[i - 1].step, entry.reach == Reach::kName, entry.index, {}};
      if (step.by_name) {
        for (const Quarn::BindingMember& member : stack_[i - 1].node->Members()) {
          if (&member.value() == entry.node) {
            step.name = member.name();
            break;
          }
        }
      }
      entry.step = static_cast<uint32_t>(steps_.size());
      steps_.push_back(std::move(step));
    }
    return stack_.back().step;
  }

  // Finds what alias `name` refers to: the text of an anchored key, or the
  // anchored node as it is now.
  bool ResolveAlias(std::string_view name, const Mark& mark, const BindingProperty*& source,
                    const std::string*& key_text) {
    const auto found = anchor_ids_.find(std::string(name));
    if (found != anchor_ids_.end() && anchors_[found->second].open) {
      return Fail(Msg::kYamlCyclicAlias, name, mark.line, mark.column);
    }
    if (found == anchor_ids_.end()) return Fail(Msg::kYamlUndefinedAlias, name, mark.line, mark.column);
    const Anchor& anchor = anchors_[found->second];
    if (anchor.is_key) {
      key_text = &anchor.key_text;
      return true;
    }

    path_.clear();
    for (uint32_t s = anchor.step; s != 0; s = steps_[s].parent) path_.push_back(s);
    // Walking down from the root, note whether every node so far is also
    // an open ancestor of the target: a repeated key can reopen an anchored
    // mapping, and copying a node into its own descendant never ends.
    const BindingProperty* node = &result_.value;
    const size_t ancestors = stack_.size() - 1;  // the top entry is the target
    bool open_ancestor = ancestors > 0 && stack_[0].node == node;
    for (size_t depth = 1; depth <= path_.size(); ++depth) {
      const Step& step = steps_[path_[path_.size() - depth]];
      node = step.by_name ? &node->Member(step.name) : &node->Element(step.index);
      open_ancestor = open_ancestor && depth < ancestors && stack_[depth].node == node;
    }
    if (open_ancestor) return Fail(Msg::kYamlCyclicAlias, name, mark.line, mark.column);
    source = node;
    return true;
  }

  bool CopyInto(const BindingProperty& source, BindingProperty& target, std::string_view name,
                const Mark& mark) {
    if (&source == &target) return true;  // a repeated key aliasing its own earlier value
    const size_t count = CountValues(source, alias_budget_);
    if (count > alias_budget_)
      return Fail(Msg::kYamlAliasesTooLarge, kMaxAliasValues, name, mark.line, mark.column);
    alias_budget_ -= count;
    if (target.IsEmpty()) {
      target = source;
    } else {
      // The target may hold the source (a repeated key); copy it out first.
      const BindingProperty copy(source);
      target = copy;
    }
    return true;
  }

  // Values in the tree of `root`, counting at most limit + 1.
  size_t CountValues(const BindingProperty& root, size_t limit) {
    size_t count = 0;
    count_stack_.clear();
    count_stack_.push_back(&root);
    while (!count_stack_.empty() && count <= limit) {
      const BindingProperty* node = count_stack_.back();
      count_stack_.pop_back();
      ++count;
      for (const BindingProperty& element : node->Elements()) count_stack_.push_back(&element);
      for (const Quarn::BindingMember& member : node->Members()) count_stack_.push_back(&member.value());
    }
    return count;
  }

  BindingResult& result_;
  std::vector<Entry> stack_;
  std::vector<Step> steps_;  // steps_[0] is the root
  std::vector<Anchor> anchors_;
  std::unordered_map<std::string, uint32_t> anchor_ids_;
  std::vector<uint32_t> path_;
  std::vector<const BindingProperty*> count_stack_;
  std::string key_;  // the pending key's text
  bool key_pending_ = false;
  size_t flow_depth_ = 0;
  size_t alias_budget_ = kMaxAliasValues;
  BindingProperty scratch_;  // the text of a tagged number
};

// Feeds scalar values to the builder in the shape ResolvePlain and
// ConvertScalar give a BindingProperty.
struct BuilderTarget {
  Quarn::detail::TreeBuilder& builder;
  void Clear() { builder.Null(); }
  void SetBool(bool v) { builder.Bool(v); }
  void SetSigned(int64_t v) { builder.Signed(v); }
  void SetUnsigned(uint64_t v) { builder.Unsigned(v); }
  void SetDouble(double v) { builder.Double(v); }
  void SetString(std::string_view text) { builder.String(text); }
};

// Builds documents without anchors or aliases through the tree builder:
// each mapping is sorted and merged once, when it closes, where setting
// members one by one costs a search and an insertion per key. Anything
// else (an anchor, an alias, a second document, any failure) gives up,
// and the document is read again by Reader, which owns every message.
class BuilderReader {
 public:
  explicit BuilderReader(Quarn::detail::TreeBuilder& builder) : builder_(builder) {}

  enum class Next : uint8_t { kMore, kDone, kGiveUp };

  Next Handle(const yaml_event_t& event) {
    switch (event.type) {
      case YAML_STREAM_END_EVENT:
        return Next::kDone;
      case YAML_DOCUMENT_START_EVENT:
        return ++documents_ > 1 ? Next::kGiveUp : Next::kMore;
      case YAML_SEQUENCE_END_EVENT:
        builder_.EndCollection();
        return Close();
      case YAML_MAPPING_END_EVENT:
        builder_.EndStructure();
        return Close();
      case YAML_ALIAS_EVENT:
        return Next::kGiveUp;
      case YAML_SCALAR_EVENT:
        return OnScalar(event.data.scalar);
      case YAML_SEQUENCE_START_EVENT:
        if (event.data.sequence_start.anchor != nullptr || WantsKey()) return Next::kGiveUp;
        if (!Open(event.data.sequence_start.style == YAML_FLOW_SEQUENCE_STYLE, false)) return Next::kGiveUp;
        builder_.BeginCollection();
        return Next::kMore;
      case YAML_MAPPING_START_EVENT:
        if (event.data.mapping_start.anchor != nullptr || WantsKey()) return Next::kGiveUp;
        if (!Open(event.data.mapping_start.style == YAML_FLOW_MAPPING_STYLE, true)) return Next::kGiveUp;
        builder_.BeginStructure();
        return Next::kMore;
      default:
        return Next::kMore;  // stream start, document end
    }
  }

 private:
  struct Level {
    bool mapping;
    bool flow;
    bool want_key;
  };

  bool WantsKey() const { return !open_.empty() && open_.back().mapping && open_.back().want_key; }

  bool Open(bool flow, bool mapping) {
    if (flow && flow_depth_ == kMaxFlowDepth) return false;
    flow_depth_ += flow ? 1 : 0;
    open_.push_back({mapping, flow, true});
    return true;
  }

  // A value finished: its mapping waits for the next key.
  Next Close() {
    if (open_.back().flow) --flow_depth_;
    open_.pop_back();
    if (!open_.empty()) open_.back().want_key = true;
    return Next::kMore;
  }

  Next OnScalar(const Scalar& scalar) {
    if (scalar.anchor != nullptr) return Next::kGiveUp;
    if (WantsKey()) {
      if (scalar.tag != nullptr && std::string_view(reinterpret_cast<const char*>(scalar.tag)) != kTagStr) {
        return Next::kGiveUp;
      }
      builder_.Key(std::string_view(reinterpret_cast<const char*>(scalar.value), scalar.length));
      open_.back().want_key = false;
      return Next::kMore;
    }
    BuilderTarget target{builder_};
    if (!ConvertScalar(scalar, target, scratch_, failure_)) return Next::kGiveUp;
    if (!open_.empty()) open_.back().want_key = true;
    return Next::kMore;
  }

  Quarn::detail::TreeBuilder& builder_;
  std::vector<Level> open_;
  size_t flow_depth_ = 0;
  int documents_ = 0;
  BindingProperty scratch_;
  BindingResult failure_;  // unread: Reader reports it
};

// One parser over `text`; false when libyaml cannot start.
class Parser {
 public:
  explicit Parser(std::string_view text) {
    ready_ = yaml_parser_initialize(&parser_) != 0;
    if (!ready_) return;
    yaml_parser_set_encoding(&parser_, YAML_UTF8_ENCODING);
    yaml_parser_set_input_string(
        &parser_, reinterpret_cast<const unsigned char*>(text.empty() ? "" : text.data()), text.size());
  }
  ~Parser() {
    if (ready_) yaml_parser_delete(&parser_);
  }
  Parser(const Parser&) = delete;
  Parser& operator=(const Parser&) = delete;

  bool ready() const { return ready_; }
  yaml_parser_t& get() { return parser_; }

 private:
  yaml_parser_t parser_;
  bool ready_;
};

// True when the builder read the whole of `text` into `result`.
bool ReadByBuilder(std::string_view text, BindingResult& result) {
  Parser parser(text);
  if (!parser.ready()) return false;
  Quarn::detail::TreeBuilder::Scope scope(result.value, Quarn::detail::DuplicateKeys::kMerge);
  BuilderReader reader(scope.builder());
  for (;;) {
    yaml_event_t event;
    if (yaml_parser_parse(&parser.get(), &event) == 0) return false;
    const BuilderReader::Next next = reader.Handle(event);
    yaml_event_delete(&event);
    if (next == BuilderReader::Next::kGiveUp) return false;
    if (next == BuilderReader::Next::kDone) break;
  }
  scope.builder().Finish();
  return true;
}

}  // namespace

Quarn::BindingResult Quarn::ReadYaml(std::string_view text) {
  BindingResult result;
  if (ReadByBuilder(text, result)) return result;  // else result is untouched: Empty and ok

  Parser parser(text);
  if (!parser.ready()) {
    result.Fail(Format(Msg::kYamlParserError, "out of memory", 0, 0));
    return result;
  }
  Reader reader(result);
  bool parser_failed = false;
  for (;;) {
    yaml_event_t event;
    if (yaml_parser_parse(&parser.get(), &event) == 0) {
      parser_failed = true;
      break;
    }
    const bool more = reader.Handle(event);
    yaml_event_delete(&event);
    if (!more || !result.ok()) break;
  }
  const yaml_parser_t& state = parser.get();
  if (parser_failed && result.ok()) {
    result.Fail(Format(Msg::kYamlParserError, state.problem != nullptr ? state.problem : "",
                       state.problem_mark.line, state.problem_mark.column));
  }
  return result;
}
