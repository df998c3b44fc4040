#include "host/loop/boundary_bridge.h"

#include <chrono>
#include <cstddef>
#include <cstring>
#include <exception>
#include <type_traits>
#include <utility>

#include "host/loop/boundary_records.h"

namespace {

using kiv::host::CallKind;
using kiv::host::RecordedCall;

constexpr const char* kRefusedMessage = "The host refused the call: the plug-in was unloaded";

std::string Text(const char* text) { return text != nullptr ? text : ""; }

RecordedCall MakeCall(CallKind kind, std::string name = {}) {
  RecordedCall call;
  call.kind = kind;
  call.name = std::move(name);
  return call;
}

struct DepthCount {
  explicit DepthCount(int& depth) : depth_(depth) { ++depth_; }
  ~DepthCount() { --depth_; }
  DepthCount(const DepthCount&) = delete;
  DepthCount& operator=(const DepthCount&) = delete;
  int& depth_;
};

// Guards every plug-in table ever made; see AllPluginTables.
std::mutex g_tables_mutex;

template <class Table>
std::vector<std::unique_ptr<Table>>& AllPluginTables() {
  static auto* tables = new std::vector<std::unique_ptr<Table>>();
  return *tables;
}

}  // namespace

kiv::host::BoundaryBridge::BoundaryBridge(double idle_step_wait_seconds, CallbackDepth& depth, WorkQueue& queue,
                                          Router& router, EventBus& bus, CallRecorder& recorder)
    : idle_step_wait_seconds_(idle_step_wait_seconds),
      depth_(depth),
      queue_(queue),
      router_(router),
      bus_(bus),
      recorder_(recorder) {
  FillTable(table_, this, nullptr);
}

kiv::host::BoundaryBridge::~BoundaryBridge() {
  std::lock_guard lock(g_tables_mutex);
  for (auto& [handle, table] : plugin_tables_) {
    table->state = kDetached;
    table->bridge = nullptr;
  }
}

void kiv::host::BoundaryBridge::FillTable(Table& table, BoundaryBridge* bridge, void* host_handle) {
  table.api.send_request = &SendRequestEntry;
  table.api.reserved1 = &Reserved1Entry;
  table.api.emit_event = &EmitEventEntry;
  table.api.subscribe = &SubscribeEntry;
  table.api.unsubscribe = &UnsubscribeEntry;
  table.api.start_timer = &StartTimerEntry;
  table.api.step = &StepEntry;
  table.api.begin_wait = &BeginWaitEntry;
  table.api.end_wait = &EndWaitEntry;
  table.api.write_log_line = &WriteLogLineEntry;
  table.bridge = bridge;
  table.host_handle = host_handle;
  table.state = kOpen;
}

kiv::host::BoundaryBridge::Table& kiv::host::BoundaryBridge::TableOf(const HostApi* api) {
  static_assert(std::is_standard_layout_v<Table> && offsetof(Table, api) == 0);
  return *const_cast<Table*>(reinterpret_cast<const Table*>(api));
}

kiv::host::BoundaryBridge* kiv::host::BoundaryBridge::Admit(const HostApi* api, CallKind kind) {
  Table& table = TableOf(api);
  const int state = table.state;
  BoundaryBridge* bridge = table.bridge;
  const bool starts = kind == CallKind::kSubscribe || kind == CallKind::kStartTimer || kind == CallKind::kEmitEvent;
  if (state == kOpen || (state == kUnloading && !starts)) return bridge;
  if (bridge != nullptr) {
    bridge->recorder_.Problem(std::string(CallKindName(kind)) + " from a plug-in that " +
                              (state == kDetached ? "was unloaded" : "is unloading") + ": refused");
  }
  return nullptr;
}

kiv::host::BoundaryBridge::Table& kiv::host::BoundaryBridge::PluginTable(void* host_handle) {
  if (auto it = plugin_tables_.find(host_handle); it != plugin_tables_.end()) return *it->second;
  auto table = std::make_unique<Table>();
  FillTable(*table, this, host_handle);
  Table* raw = table.get();
  {
    std::lock_guard lock(g_tables_mutex);
    AllPluginTables<Table>().push_back(std::move(table));
  }
  plugin_tables_[host_handle] = raw;
  return *raw;
}

const HostApi* kiv::host::BoundaryBridge::PluginApi(void* host_handle) { return &PluginTable(host_handle).api; }

void kiv::host::BoundaryBridge::BeginUnload(void* host_handle) {
  if (auto it = plugin_tables_.find(host_handle); it != plugin_tables_.end()) it->second->state = kUnloading;
}

void kiv::host::BoundaryBridge::Detach(void* host_handle) {
  if (auto it = plugin_tables_.find(host_handle); it != plugin_tables_.end()) it->second->state = kDetached;
}

std::vector<std::string> kiv::host::BoundaryBridge::WaitLabels() const {
  std::lock_guard lock(waits_mutex_);
  return waits_;
}

size_t kiv::host::BoundaryBridge::open_waits() const {
  std::lock_guard lock(waits_mutex_);
  return waits_.size();
}

kiv::host::Response kiv::host::BoundaryBridge::Dispatch(Request request) {
  RouteChoice choice = router_.Choose(request.method, request.custom_method, request.path);
  if (!choice.route) return NoRouteResponse(request, choice);
  request.captures = std::move(choice.captures);
  const Route& route = *choice.route;
  BoundaryObserver* observer = outbound_depth_ == 0 ? observer_ : nullptr;
  if (route.function != nullptr) {
    if (observer == nullptr) return CallFunction(route, std::move(request));
    const uint64_t token = observer->InboundStarted(queue_.Now(), request);
    Response answer = CallFunction(route, std::move(request));
    observer->InboundAnswered(queue_.Now(), token, answer);
    return answer;
  }
  Response answer;
  try {
    answer = route.handler(request);
  } catch (const std::exception& e) {
    answer = Response::Error(
        "stand-in for " + std::string(PathWithoutQuery(request.path)) + " failed: " + e.what(), 500);
  }
  if (observer != nullptr) observer->HostServed(queue_.Now(), request, answer);
  return answer;
}

kiv::host::Response kiv::host::BoundaryBridge::CallFunction(const Route& route, Request request) {
  const RequestRecord in(request, route.function, reinterpret_cast<void*>(next_token_++));
  HostResponse out;
  std::memset(&out, 0, sizeof out);
  CallbackDepth::Scope scope(depth_);
  route.function->request(&out, in.get());
  Response answer = ReadPluginResponse(out);
  if (out.release != nullptr) out.release(&out);
  return answer;
}

// ------------------------------------------------------------ entries

uint32_t kiv::host::BoundaryBridge::SendRequestEntry(const HostApi* api, HostResponse* response,
                                                     const HostRequest* request) noexcept {
  BoundaryBridge* admitted = Admit(api, CallKind::kSendRequest);
  if (admitted == nullptr) {
    if (response != nullptr) ResponseBlocks::FillRefused(response, kRefusedMessage, 503);
    return kRefused;
  }
  BoundaryBridge& bridge = *admitted;
  if (response == nullptr) {
    bridge.recorder_.Problem("send_request without a response record");
    return 0;
  }
  try {
    if (request == nullptr) {
      bridge.recorder_.Problem("send_request without a request record");
      bridge.responses_.Fill(response, Response::Error("no request", 400));
      return 0;
    }
    auto copied = CopyRequest(*request);
    RecordedCall call = MakeCall(CallKind::kSendRequest);
    call.host_handle = request->host_handle;
    if (copied.HasFailure()) {
      call.request.method = request->method;
      call.request.path = Text(request->path);
      bridge.recorder_.Record(std::move(call));
      bridge.recorder_.Problem("send_request " + Text(request->path) + ": " + copied.failure().message());
      bridge.responses_.Fill(response, Response::Error(copied.failure().message(), 400));
      return 0;
    }
    call.request = copied.value();
    Response answer;
    if (auto fault = bridge.recorder_.Record(std::move(call))) {
      answer = Response::Error(fault->error, fault->status);
    } else {
      const DepthCount outbound(bridge.outbound_depth_);
      answer = bridge.Dispatch(copied.value());
    }
    if (bridge.observer_ != nullptr) bridge.observer_->Outbound(bridge.queue_.Now(), copied.value(), answer);
    bridge.responses_.Fill(response, std::move(answer));
  } catch (const std::exception& e) {
    bridge.recorder_.Problem(std::string("send_request failed in the host: ") + e.what());
    std::memset(response, 0, sizeof *response);
  }
  return 0;
}

uint32_t kiv::host::BoundaryBridge::Reserved1Entry(const HostApi* api, uintptr_t, uintptr_t) noexcept {
  BoundaryBridge* bridge = Admit(api, CallKind::kReserved1);
  if (bridge == nullptr) return kRefused;
  bridge->recorder_.Record(MakeCall(CallKind::kReserved1));
  return 0;
}

uint32_t kiv::host::BoundaryBridge::EmitEventEntry(const HostApi* api, const HostEvent* event) noexcept {
  BoundaryBridge* admitted = Admit(api, CallKind::kEmitEvent);
  if (admitted == nullptr) return kRefused;
  BoundaryBridge& bridge = *admitted;
  if (event == nullptr || event->name == nullptr) {
    bridge.recorder_.Record(MakeCall(CallKind::kEmitEvent));
    bridge.recorder_.Problem("emit_event without a name");
    return 0;
  }
  auto payload = OwnedValue::Copy(event->payload);
  RecordedCall call = MakeCall(CallKind::kEmitEvent, event->name);
  if (payload.ok()) call.payload = payload.value();
  if (bridge.recorder_.Record(std::move(call))) return 0;
  if (payload.HasFailure()) {
    bridge.recorder_.Problem("emit_event " + std::string(event->name) +
                             ": invalid payload: " + payload.failure().message());
    return 0;
  }
  if (bridge.observer_ != nullptr) bridge.observer_->Published(bridge.queue_.Now(), event->name, payload.value().get());
  bridge.bus_.PostFromPlugin(event->name, payload.TakeValue());
  return 0;
}

uint32_t kiv::host::BoundaryBridge::SubscribeEntry(const HostApi* api, const char* name, void* host_handle,
                                                   HostEventFn callback, void* context, uint32_t flag) noexcept {
  BoundaryBridge* admitted = Admit(api, CallKind::kSubscribe);
  if (admitted == nullptr) return kRefused;
  BoundaryBridge& bridge = *admitted;
  RecordedCall call = MakeCall(CallKind::kSubscribe, Text(name));
  call.flag = flag;
  call.host_handle = host_handle;
  if (bridge.recorder_.Record(std::move(call))) return 0;
  if (name == nullptr || callback == nullptr) {
    bridge.recorder_.Problem("subscribe without a name or callback");
    return 0;
  }
  bridge.bus_.Subscribe(name, host_handle, callback, context, flag);
  return 0;
}

uint32_t kiv::host::BoundaryBridge::UnsubscribeEntry(const HostApi* api, const char* name,
                                                     void* host_handle) noexcept {
  BoundaryBridge* admitted = Admit(api, CallKind::kUnsubscribe);
  if (admitted == nullptr) return kRefused;
  BoundaryBridge& bridge = *admitted;
  RecordedCall call = MakeCall(CallKind::kUnsubscribe, Text(name));
  call.host_handle = host_handle;
  if (bridge.recorder_.Record(std::move(call))) return 0;
  if (name == nullptr) {
    bridge.recorder_.Problem("unsubscribe without a name");
    return 0;
  }
  bridge.bus_.Unsubscribe(name, host_handle);
  return 0;
}

uint32_t kiv::host::BoundaryBridge::StartTimerEntry(const HostApi* api, const char* label, HostTimerFn callback,
                                                    void* context, double delay_seconds, uint32_t flag) noexcept {
  BoundaryBridge* admitted = Admit(api, CallKind::kStartTimer);
  if (admitted == nullptr) return kRefused;
  BoundaryBridge& bridge = *admitted;
  RecordedCall call = MakeCall(CallKind::kStartTimer, Text(label));
  call.flag = flag;
  call.delay_seconds = delay_seconds;
  if (bridge.recorder_.Record(std::move(call))) return 0;
  if (callback == nullptr) {
    bridge.recorder_.Problem("start_timer " + Text(label) + " without a callback");
    return 0;
  }
  if (!(delay_seconds >= 0)) {
    bridge.recorder_.Problem("start_timer " + Text(label) + " with a negative delay");
    delay_seconds = 0;
  }
  WorkItem timer;
  timer.delay_seconds = delay_seconds;
  timer.label = "timer " + Text(label);
  timer.code = reinterpret_cast<const void*>(callback);
  timer.owner = TableOf(api).host_handle;
  timer.run = [&depth = bridge.depth_, callback, context] {
    CallbackDepth::Scope scope(depth);
    callback(context);
  };
  bridge.queue_.Post(std::move(timer));
  return 0;
}

uint32_t kiv::host::BoundaryBridge::StepEntry(const HostApi* api) noexcept {
  BoundaryBridge* admitted = Admit(api, CallKind::kStep);
  if (admitted == nullptr) return kRefused;
  BoundaryBridge& bridge = *admitted;
  bridge.blocking_calls_.fetch_add(1, std::memory_order_relaxed);
  if (bridge.recorder_.Record(MakeCall(CallKind::kStep))) return 0;
  try {
    // A plug-in that steps while nothing is due is waiting for an answer;
    // let it sleep until work arrives instead of spinning.
    if (bridge.queue_.Step() == 0 && bridge.idle_step_wait_seconds_ > 0 && !bridge.queue_.virtual_time()) {
      const auto wait = std::chrono::duration<double>(bridge.idle_step_wait_seconds_);
      if (bridge.queue_.WaitForWork(std::chrono::duration_cast<std::chrono::milliseconds>(wait)))
        bridge.queue_.Step();
    }
  } catch (const std::exception& e) {
    bridge.recorder_.Problem(std::string("host work failed during step: ") + e.what());
  }
  return 0;
}

uint32_t kiv::host::BoundaryBridge::BeginWaitEntry(const HostApi* api, const char* label, uint32_t flag) noexcept {
  BoundaryBridge* admitted = Admit(api, CallKind::kBeginWait);
  if (admitted == nullptr) return kRefused;
  BoundaryBridge& bridge = *admitted;
  bridge.blocking_calls_.fetch_add(1, std::memory_order_relaxed);
  RecordedCall call = MakeCall(CallKind::kBeginWait, Text(label));
  call.flag = flag;
  if (bridge.recorder_.Record(std::move(call))) return 0;
  std::lock_guard lock(bridge.waits_mutex_);
  bridge.waits_.push_back(Text(label));
  return 0;
}

uint32_t kiv::host::BoundaryBridge::EndWaitEntry(const HostApi* api) noexcept {
  BoundaryBridge* admitted = Admit(api, CallKind::kEndWait);
  if (admitted == nullptr) return kRefused;
  BoundaryBridge& bridge = *admitted;
  if (bridge.recorder_.Record(MakeCall(CallKind::kEndWait))) return 0;
  {
    std::lock_guard lock(bridge.waits_mutex_);
    if (!bridge.waits_.empty()) {
      bridge.waits_.pop_back();
      return 0;
    }
  }
  bridge.recorder_.Problem("end_wait without begin_wait");
  return 0;
}

uint32_t kiv::host::BoundaryBridge::WriteLogLineEntry(const HostApi* api, uint32_t level,
                                                      const char* message) noexcept {
  BoundaryBridge* admitted = Admit(api, CallKind::kWriteLogLine);
  if (admitted == nullptr) return kRefused;
  BoundaryBridge& bridge = *admitted;
  RecordedCall call = MakeCall(CallKind::kWriteLogLine, Text(message));
  call.flag = level;
  if (bridge.recorder_.Record(std::move(call))) return 0;
  bridge.recorder_.Log({level, Text(message)});
  return 0;
}
