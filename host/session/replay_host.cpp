#include "host/session/replay_host.h"

#include <rapidjson/document.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <utility>

#include "host/host_loop.h"
#include "host/session/line_json.h"

namespace {

using kiv::host::BoundaryObserver;
using kiv::host::HostLoop;
using kiv::host::PluginLibrary;
using kiv::host::Request;
using kiv::host::Response;
using kiv::host::session::Json;
using kiv::host::session::LineKind;
using kiv::host::session::RecordedLine;
using kiv::host::session::Recording;
using kiv::host::session::ReplayOptions;
using kiv::host::session::ReplayResult;

// Runs of the feeder with nothing consumed before the clock moves on to the
// next line's time, and before an expected output counts as missing.
constexpr size_t kStallBeforeClock = 20;
constexpr size_t kStallBeforeMissing = 2000;
// Virtual seconds a plug-in that still waits after the last line is given
// (its own timeouts fire meanwhile) before the replay gives up on it.
constexpr double kWaitAfterEndSeconds = 600;
constexpr size_t kCallCandidates = 8;
constexpr size_t kMaxTopSteps = 10'000'000;
// Wall-clock readings are taken to the second or the millisecond, a little
// before or after a line's time.
constexpr int64_t kClockSlackMs = 2000;

bool IsInput(LineKind kind) {
  return kind == LineKind::kRequest || kind == LineKind::kDeliver || kind == LineKind::kHost ||
         kind == LineKind::kUnload;
}

std::string Where(const RecordedLine& line) {
  return "line " + std::to_string(line.number) + " (seq " + std::to_string(line.seq) + ")";
}

std::string What(const RecordedLine& line) {
  switch (line.kind) {
    case LineKind::kAnswer: {
      rapidjson::Document doc;
      doc.Parse(line.text.data(), line.text.size());
      const rapidjson::Value& root = doc;  // const iterators on both sides of !=
      const auto to = root.FindMember("to");
      return "answer to " + (to != root.MemberEnd() && to->value.IsString() ? std::string(to->value.GetString())
                                                                           : "request " + std::to_string(line.id));
    }
    case LineKind::kCall:
      return "call " + line.request.Summary();
    case LineKind::kPublish:
      return "publish " + line.name;
    default:
      return std::string(kiv::host::session::LineKindName(line.kind));
  }
}

class Replayer final : public BoundaryObserver {
 public:
  Replayer(const Recording& recording, const ReplayOptions& options)
      : lines_(recording.lines), options_(options), done_(recording.lines.size(), false),
        parsed_(recording.lines.size()) {
    for (const auto& line : lines_) has_unload_ = has_unload_ || line.kind == LineKind::kUnload;
    if (recording.recorded_at_ms && !lines_.empty()) {
      recorded_from_ms_ = *recording.recorded_at_ms - kClockSlackMs;
      recorded_to_ms_ = *recording.recorded_at_ms + static_cast<int64_t>(lines_.back().t * 1000) + kClockSlackMs;
    }
    replay_from_ms_ = WallMs() - kClockSlackMs;
  }

  Quarn::Maybe<ReplayResult> Run() {
    kiv::host::LoopOptions loop_options;
    loop_options.virtual_time = true;
    loop_ = std::make_unique<HostLoop>(loop_options);
    loop_->SetObserver(this);
    loop_->HandleRequest(0, "{+path}", [this](const Request& request) { return AnswerCall(request); });
    Repost();
    auto loaded = loop_->LoadPlugin(options_.plugin_path, options_.load);
    if (loaded.HasFailure()) return loaded.TakeFailure();
    std::unique_ptr<PluginLibrary> library = loaded.TakeValue();
    for (size_t steps = 0; !stop_ && steps < kMaxTopSteps; ++steps) loop_->Step();
    comparing_ = has_unload_;
    loop_->UnloadPlugin(*library);
    loop_->RunUntilIdle();
    library.reset();
    for (size_t i = 0; i < lines_.size(); ++i) {
      if (done_[i]) continue;
      if (IsInput(lines_[i].kind)) {
        Mismatch(Where(lines_[i]) + " " + std::string(kiv::host::session::LineKindName(lines_[i].kind)) +
                 ": not replayed (the replay stopped before it)");
      } else {
        Missing(lines_[i]);
      }
    }
    loop_->SetObserver(nullptr);
    return result_;
  }

  // ---- what the plug-in does
  void PluginLoaded(double now, const PluginLibrary& library) override {
    if (options_.record != nullptr) options_.record->PluginLoaded(now, library);
  }
  void PluginUnloading(double now) override {
    if (options_.record != nullptr) options_.record->PluginUnloading(now);
  }
  uint64_t InboundStarted(double now, const Request& request) override {
    const uint64_t id = feeding_;
    feeding_ = 0;
    started_.insert(id);
    if (options_.record != nullptr) record_tokens_[id] = options_.record->InboundStarted(now, request);
    return id;
  }
  void InboundAnswered(double now, uint64_t token, const Response& answer) override {
    if (options_.record != nullptr) options_.record->InboundAnswered(now, record_tokens_[token], answer);
    rapidjson::Document doc;
    const Json got = kiv::host::session::AnswerJson(answer, doc.GetAllocator());
    for (size_t i = 0; i < lines_.size(); ++i) {
      if (done_[i] || lines_[i].kind != LineKind::kAnswer || lines_[i].id != token) continue;
      ++result_.requests;
      Compare(i, "answer", got);
      return;
    }
    Unexpected("an answer the recording does not have: " + JsonTextOf(got));
  }
  void HostServed(double now, const Request& request, const Response& answer) override {
    if (options_.record != nullptr) options_.record->HostServed(now, request, answer);
  }
  void Outbound(double now, const Request& request, const Response& answer) override {
    if (options_.record != nullptr) options_.record->Outbound(now, request, answer);
    // Calls the handler answered were compared there; the rest (to the
    // plug-in's own functions) here.
    if (answered_by_handler_) {
      answered_by_handler_ = false;
      return;
    }
    TakeCall(request);
  }
  void Published(double now, std::string_view name, const HostValue& payload) override {
    if (options_.record != nullptr) options_.record->Published(now, name, payload);
    if (!comparing_) return;
    rapidjson::Document doc;
    const Json got = kiv::host::session::ValueJson(payload, doc.GetAllocator());
    for (size_t i = 0; i < lines_.size(); ++i) {
      if (done_[i] || lines_[i].kind != LineKind::kPublish || lines_[i].name != name) continue;
      ++result_.events;
      Compare(i, "data", got);
      return;
    }
    Unexpected("publish " + std::string(name) + " that the recording does not have: " + JsonTextOf(got));
  }
  void Delivered(double now, std::string_view name, const HostValue& payload) override {
    if (options_.record != nullptr) options_.record->Delivered(now, name, payload);
  }

 private:
  static std::string JsonTextOf(const Json& json) { return kiv::host::session::JsonText(json); }

  void Repost() { loop_->Post([this] { Feed(); }, 0, "replay"); }

  void MarkDone(size_t i) {
    done_[i] = true;
    last_done_ = i;
    stall_ = 0;
  }

  static int64_t WallMs() {
    const auto wall = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(wall).count();
  }

  // The plug-in's own wall-clock readings (a save's time stamps) differ
  // from run to run: a reading taken while the session was recorded
  // matches one taken while it is replayed.
  bool SameClockReading(const Json& expected, const Json& got) const {
    const auto e = kiv::host::session::ClockReadingMs(expected);
    const auto g = kiv::host::session::ClockReadingMs(got);
    if (!e || !g || expected.GetType() != got.GetType()) return false;
    return *e >= recorded_from_ms_ && *e <= recorded_to_ms_ && *g >= replay_from_ms_ &&
           *g <= WallMs() + kClockSlackMs;
  }

  void Mismatch(std::string text) { result_.mismatches.push_back(std::move(text)); }

  void Unexpected(const std::string& what) {
    const std::string after = last_done_ < lines_.size() ? " (after " + Where(lines_[last_done_]) + ")" : "";
    Mismatch("replay" + after + ": " + what);
  }

  void Missing(const RecordedLine& line) {
    Mismatch(Where(line) + " " + What(line) + ": recorded, but the replay gave none");
  }

  // Compares `got` with the member `member` of line i and marks it done.
  void Compare(size_t i, const char* member, const Json& got) {
    MarkDone(i);
    const rapidjson::Document& doc = Parsed(i);
    const auto expected = doc.FindMember(member);
    if (expected == doc.MemberEnd()) return;
    const auto difference = Differs(expected->value, got);
    parsed_[i].reset();  // done with
    if (!difference) return;
    const std::string field = difference->field.empty() ? std::string(member) : member + ("." + difference->field);
    Mismatch(Where(lines_[i]) + " " + What(lines_[i]) + ": " + field + ": expected " + difference->expected +
             ", got " + difference->got);
  }

  // The first pending call line of the same method and path, preferring an
  // identical request; compared and marked done. Null when there is none.
  const RecordedLine* TakeCall(const Request& request) {
    rapidjson::Document doc;
    const Json got = kiv::host::session::RequestJson(request, doc.GetAllocator());
    std::optional<size_t> same_path;
    std::optional<size_t> identical;
    // A changed body shows in the first few candidates; looking further
    // would make a long session quadratic.
    size_t candidates = 0;
    for (size_t i = 0; i < lines_.size() && !identical && candidates < kCallCandidates; ++i) {
      const RecordedLine& line = lines_[i];
      if (done_[i] || line.kind != LineKind::kCall) continue;
      if (line.request.MethodText() != request.MethodText() || line.request.path != request.path) continue;
      ++candidates;
      if (!same_path) same_path = i;
      if (!Differs(Parsed(i)["request"], got)) identical = i;
    }
    const std::optional<size_t> chosen = identical ? identical : same_path;
    if (!chosen) {
      Unexpected("call " + request.Summary() + ": the recording has no answer for it; request " + JsonTextOf(got));
      return nullptr;
    }
    ++result_.calls;
    Compare(*chosen, "request", got);
    return &lines_[*chosen];
  }

  std::optional<kiv::host::session::Difference> Differs(const Json& expected, const Json& got) const {
    return kiv::host::session::FirstDifference(
        expected, got, [this](const Json& e, const Json& g) { return SameClockReading(e, g); });
  }

  // Line i as a tree, parsed once.
  const rapidjson::Document& Parsed(size_t i) {
    if (!parsed_[i]) {
      parsed_[i] = std::make_unique<rapidjson::Document>();
      parsed_[i]->Parse(lines_[i].text.data(), lines_[i].text.size());
    }
    return *parsed_[i];
  }

  Response AnswerCall(const Request& request) {
    answered_by_handler_ = true;
    if (const RecordedLine* line = TakeCall(request)) return line->answer;
    return Response::Error("kiv replay: the recording has no answer for " + request.Summary(), 502);
  }

  void SkipDone() {
    while (next_ < lines_.size() && done_[next_]) ++next_;
  }

  // Runs on every step of the loop, the plug-in's own steps in a wait
  // included: feeds the next line when it is an input, or waits for it.
  void Feed() {
    SkipDone();
    if (next_ == lines_.size()) return FeedPastTheEnd();
    const RecordedLine& line = lines_[next_];
    const double now = loop_->NowSeconds();
    if (!IsInput(line.kind)) {
      // An output the plug-in has not given yet: timers that were due by
      // then fire first; at last it counts as missing.
      ++stall_;
      if (stall_ == kStallBeforeClock && line.t > now) loop_->AdvanceTime(line.t - now);
      if (stall_ >= kStallBeforeMissing) {
        Missing(line);
        MarkDone(next_);
      }
      return Repost();
    }
    if (line.t > now) {
      // What was due before this input runs first, on the next step.
      loop_->AdvanceTime(line.t - now);
      return Repost();
    }
    const size_t index = next_;
    switch (line.kind) {
      case LineKind::kHost:
        MarkDone(index);
        if (options_.record != nullptr) options_.record->HostServed(now, line.request, line.answer);
        return Repost();
      case LineKind::kDeliver:
        MarkDone(index);
        loop_->PostEvent(line.name, line.data);
        return Repost();
      case LineKind::kUnload:
        if (loop_->InsidePlugin()) return Repost();  // a handler still runs: it returns first
        MarkDone(index);
        stop_ = true;
        return;
      default:
        break;
    }
    MarkDone(index);
    Repost();
    feeding_ = line.id;
    const Response answer = loop_->Dispatch(line.request);
    if (started_.contains(line.id)) return;
    // No function of the plug-in took it: its answer line cannot come.
    for (size_t i = 0; i < lines_.size(); ++i) {
      if (!done_[i] && lines_[i].kind == LineKind::kAnswer && lines_[i].id == line.id) MarkDone(i);
    }
    Mismatch(Where(line) + " request " + line.request.Summary() + ": reaches no function of the plug-in (" +
             std::to_string(answer.status) + " " + answer.error.value_or("") + ")");
  }

  void FeedPastTheEnd() {
    if (!loop_->InsidePlugin()) {
      stop_ = true;
      return;
    }
    // A handler still waits: let its timeouts fire.
    if (++stall_ >= kStallBeforeClock) {
      stall_ = 0;
      waited_after_end_ += 1;
      loop_->AdvanceTime(1);
    }
    if (waited_after_end_ > kWaitAfterEndSeconds) {
      std::string waits;
      for (const auto& label : loop_->WaitLabels()) waits += (waits.empty() ? "" : ", ") + label;
      Mismatch("replay: the plug-in still waits (" + waits + ") " + std::to_string(int(kWaitAfterEndSeconds)) +
               " s after the recording ended");
      if (options_.stuck) options_.stuck(result_);
      std::abort();
    }
    Repost();
  }

  const std::vector<RecordedLine>& lines_;
  const ReplayOptions& options_;
  std::vector<bool> done_;
  std::vector<std::unique_ptr<rapidjson::Document>> parsed_;
  bool has_unload_ = false;
  bool comparing_ = true;  // false while unloading after a recording without an unload
  size_t next_ = 0;
  size_t last_done_ = static_cast<size_t>(-1);
  size_t stall_ = 0;
  double waited_after_end_ = 0;
  bool stop_ = false;
  bool answered_by_handler_ = false;
  uint64_t feeding_ = 0;
  std::set<uint64_t> started_;
  std::map<uint64_t, uint64_t> record_tokens_;
  int64_t recorded_from_ms_ = 1;  // none: no reading matches
  int64_t recorded_to_ms_ = 0;
  int64_t replay_from_ms_ = 0;
  ReplayResult result_;
  std::unique_ptr<HostLoop> loop_;  // last: goes first
};

}  // namespace

std::string kiv::host::session::ReplayResult::Summary() const {
  char text[160];
  std::snprintf(text, sizeof text, "%zu requests, %zu calls, %zu events compared; %zu mismatch%s", requests, calls,
                events, mismatches.size(), mismatches.size() == 1 ? "" : "es");
  return text;
}

Quarn::Maybe<kiv::host::session::ReplayResult> kiv::host::session::Replay(const Recording& recording,
                                                                          const ReplayOptions& options) {
  {
    // Opened without init, only to be named.
    auto probe = PluginLibrary::Load(options.plugin_path, options.load);
    if (probe.HasFailure()) return probe.TakeFailure();
    const std::string name(probe.value()->short_name());
    const std::string version = probe.value()->api_version().ToString();
    if (name != recording.plugin || version != recording.api_version) {
      return Quarn::Failure("the recording was made with " + recording.plugin + " (plug-in API " +
                            recording.api_version + "), but " + options.plugin_path + " is " + name +
                            " (plug-in API " + version + ")");
    }
  }
  Replayer replayer(recording, options);
  return replayer.Run();
}
