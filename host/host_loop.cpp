#include "host/host_loop.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <exception>
#include <iterator>
#include <unordered_map>

// A response handed to a plug-in: the answer it points into, plus the state
// of its stream. Lives until the plug-in calls release, or the loop ends.
struct kiv::host::HostLoop::ResponseBlock {
  HostLoop* loop;
  Response answer;
  std::vector<HostNameValue> header_records;
  size_t chunk = 0;   // next chunk to read
  size_t offset = 0;  // read position in that chunk
  int reads = 0;
};

namespace {

using kiv::host::CallKind;
using kiv::host::OwnedValue;

constexpr std::string_view kMethodNames[] = {"",      "DELETE", "GET", "HEAD",  "OPTIONS",
                                             "PATCH", "POST",   "PUT", "CUSTOM"};

// Which loop owns each response block handed out. The release function gets
// only the response pointer, and a plug-in may release a copy of the record
// or release twice, so the block is looked up before it is touched.
std::mutex g_blocks_mutex;
std::unordered_map<const void*, kiv::host::HostLoop*>& LiveBlocks() {
  static auto* blocks = new std::unordered_map<const void*, kiv::host::HostLoop*>();
  return *blocks;
}

bool IsLiveBlock(const void* block) {
  std::lock_guard lock(g_blocks_mutex);
  return block != nullptr && LiveBlocks().count(block) != 0;
}

std::string Text(const char* text) { return text != nullptr ? text : ""; }

std::mutex g_tables_mutex;  // guards HostLoop::AllPluginTables()

constexpr const char* kRefusedMessage = "The host refused the call: the plug-in was unloaded";

void ReleaseRefused(HostResponse* response) {
  if (response != nullptr) std::memset(response, 0, sizeof *response);
}

kiv::host::RecordedCall MakeCall(CallKind kind, std::string name = {}) {
  kiv::host::RecordedCall call;
  call.kind = kind;
  call.name = std::move(name);
  return call;
}

bool MethodAccepts(uint32_t route_method, std::string_view route_custom, uint32_t method,
                   std::string_view custom) {
  if (route_method == KIV_METHOD_NONE) return true;
  if (route_method != method) return false;
  return method != KIV_METHOD_CUSTOM || route_custom == custom;
}

size_t CapturedLength(const std::vector<kiv::host::PathCapture>& captures) {
  size_t total = 0;
  for (const auto& c : captures) total += c.value.size();
  return total;
}

// Copies an outbound request record; fails on an invalid typed argument.
Quarn::Maybe<kiv::host::Request> CopyRequest(const HostRequest& in) {
  kiv::host::Request out;
  out.method = in.method >= 1 && in.method <= 8 ? in.method : uint32_t{KIV_METHOD_NONE};
  out.path = Text(in.path);
  if (out.method == KIV_METHOD_CUSTOM) out.custom_method = Text(in.custom_method);
  if (in.arguments != nullptr) {
    for (uint32_t i = 0; i < in.argument_count; ++i) {
      auto value = OwnedValue::Copy(in.arguments[i].value);
      if (value.HasFailure()) {
        return Quarn::Failure("invalid typed argument " + std::to_string(i) + ": " +
                              value.failure().message());
      }
      out.arguments.emplace_back(Text(in.arguments[i].name), value.TakeValue());
    }
  }
  if (in.pairs != nullptr) {
    for (uint32_t i = 0; i < in.pair_count; ++i)
      out.pairs.emplace_back(Text(in.pairs[i].name), Text(in.pairs[i].value));
  }
  out.content_type = Text(in.content_type);
  if (in.body != nullptr) out.body.assign(reinterpret_cast<const char*>(in.body), in.body_length);
  out.host_handle = in.host_handle;
  return out;
}

// Reads what a plug-in wrote into a response; a streamed body is drained
// and closed here.
kiv::host::Response ReadPluginResponse(const HostResponse& in) {
  kiv::host::Response out;
  out.status = in.status;
  if (in.error != nullptr) out.error = in.error;
  out.content_type = Text(in.content_type);
  if (in.headers != nullptr) {
    for (uint32_t i = 0; i < in.header_count; ++i)
      out.headers.emplace_back(Text(in.headers[i].name), Text(in.headers[i].value));
  }
  out.format = in.format;
  out.content_kind = in.content_kind;
  if (in.stream_read != nullptr) {
    std::string bytes;
    char buffer[4096];
    uint8_t more = 1;
    bool failed = false;
    while (more != 0) {
      uint32_t size = sizeof buffer;
      if (in.stream_read(in.stream_context, buffer, &size, &more) == 0) {
        failed = true;
        break;
      }
      bytes.append(buffer, std::min<uint32_t>(size, sizeof buffer));
    }
    if (in.stream_close != nullptr) in.stream_close(in.stream_context);
    if (failed) return kiv::host::Response::Error("Stream read error", 500);
    out.body = OwnedValue::Bytes(bytes);
    return out;
  }
  auto body = OwnedValue::Copy(in.body);
  if (body.HasFailure())
    return kiv::host::Response::Error("invalid response body: " + body.failure().message(), 500);
  out.body = body.TakeValue();
  return out;
}

}  // namespace

// ------------------------------------------------------------- small types

std::string_view kiv::host::CallKindName(CallKind kind) {
  static constexpr std::string_view kNames[] = {"send_request", "reserved1",     "emit_event", "subscribe",
                                                "unsubscribe",  "start_timer",   "step",       "begin_wait",
                                                "end_wait",     "write_log_line"};
  return kNames[static_cast<size_t>(kind)];
}

std::string_view kiv::host::MethodName(uint32_t method) {
  return method < std::size(kMethodNames) ? kMethodNames[method] : std::string_view();
}

uint32_t kiv::host::MethodCode(std::string_view text) {
  for (uint32_t i = 1; i < std::size(kMethodNames); ++i) {
    if (kMethodNames[i] == text) return i;
  }
  return KIV_METHOD_NONE;
}

std::string_view kiv::host::Request::Param(std::string_view name) const {
  for (const auto& c : captures) {
    if (c.name == name) return c.value;
  }
  return {};
}

std::optional<std::string> kiv::host::Request::Query(std::string_view name) const {
  return QueryParam(QueryOf(path), name);
}

std::string_view kiv::host::Request::MethodText() const {
  return method == KIV_METHOD_CUSTOM ? std::string_view(custom_method) : MethodName(method);
}

std::string kiv::host::Request::Summary() const { return std::string(MethodText()) + " " + path; }

kiv::host::Response kiv::host::Response::Ok(OwnedValue body, uint32_t status) {
  Response r;
  r.status = status;
  r.body = std::move(body);
  return r;
}

kiv::host::Response kiv::host::Response::Error(std::string message, uint32_t status) {
  Response r;
  r.status = status;
  r.error = std::move(message);
  return r;
}

kiv::host::Response kiv::host::Response::Stream(std::vector<std::string> chunks, int fail_at_read) {
  Response r;
  r.status = 200;
  r.chunks = std::move(chunks);
  r.stream_fail_at_read = fail_at_read;
  return r;
}

std::string kiv::host::RecordedCall::Summary() const {
  std::string out(CallKindName(kind));
  switch (kind) {
    case CallKind::kSendRequest:
      return out + " " + request.Summary();
    case CallKind::kStep:
    case CallKind::kEndWait:
    case CallKind::kReserved1:
      return out;
    default:
      return out + " " + name;
  }
}

// ------------------------------------------------------------ the loop

// Counts the plug-in callbacks on the loop thread's stack.
class kiv::host::HostLoop::CallbackScope {
 public:
  explicit CallbackScope(HostLoop& loop) : loop_(loop) { ++loop_.plugin_depth_; }
  ~CallbackScope() { --loop_.plugin_depth_; }
  CallbackScope(const CallbackScope&) = delete;
  CallbackScope& operator=(const CallbackScope&) = delete;

 private:
  HostLoop& loop_;
};

void kiv::host::HostLoop::FillTable(Table& table, HostLoop* loop, void* host_handle) {
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
  table.loop = loop;
  table.host_handle = host_handle;
  table.state = kOpen;
}

std::vector<std::unique_ptr<kiv::host::HostLoop::Table>>& kiv::host::HostLoop::AllPluginTables() {
  static auto* tables = new std::vector<std::unique_ptr<Table>>();
  return *tables;
}

kiv::host::HostLoop::HostLoop(LoopOptions options)
    : options_(options), start_(std::chrono::steady_clock::now()) {
  FillTable(table_, this, nullptr);
}

kiv::host::HostLoop::~HostLoop() {
  {
    std::lock_guard lock(g_tables_mutex);
    for (auto& [handle, table] : plugin_tables_) {
      table->state = kDetached;
      table->loop = nullptr;
    }
  }
  std::lock_guard lock(g_blocks_mutex);
  for (const auto& [block, owned] : blocks_) LiveBlocks().erase(block);
}

kiv::host::HostLoop::Table& kiv::host::HostLoop::TableOf(const HostApi* api) {
  static_assert(std::is_standard_layout_v<Table> && offsetof(Table, api) == 0);
  return *const_cast<Table*>(reinterpret_cast<const Table*>(api));
}

kiv::host::HostLoop& kiv::host::HostLoop::From(const HostApi* api) { return *TableOf(api).loop; }

kiv::host::HostLoop* kiv::host::HostLoop::Admit(const HostApi* api, CallKind kind) {
  Table& table = TableOf(api);
  const int state = table.state;
  HostLoop* loop = table.loop;
  const bool starts = kind == CallKind::kSubscribe || kind == CallKind::kStartTimer || kind == CallKind::kEmitEvent;
  if (state == kOpen || (state == kUnloading && !starts)) return loop;
  if (loop != nullptr) {
    loop->Problem(std::string(CallKindName(kind)) + " from a plug-in that " +
                  (state == kDetached ? "was unloaded" : "is unloading") + ": refused");
  }
  return nullptr;
}

kiv::host::HostLoop::Table& kiv::host::HostLoop::PluginTable(void* host_handle) {
  if (auto it = plugin_tables_.find(host_handle); it != plugin_tables_.end()) return *it->second;
  auto table = std::make_unique<Table>();
  FillTable(*table, this, host_handle);
  Table* raw = table.get();
  {
    std::lock_guard lock(g_tables_mutex);
    AllPluginTables().push_back(std::move(table));
  }
  plugin_tables_[host_handle] = raw;
  return *raw;
}

double kiv::host::HostLoop::Now() const {
  if (options_.virtual_time) return virtual_now_;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

double kiv::host::HostLoop::NowSeconds() const { return Now(); }

void kiv::host::HostLoop::AdvanceTime(double seconds) {
  if (options_.virtual_time && seconds > 0) virtual_now_ += seconds;
}

size_t kiv::host::HostLoop::pending() const {
  std::lock_guard lock(queue_mutex_);
  return queue_.size();
}

uint64_t kiv::host::HostLoop::Enqueue(Work work) {
  uint64_t ticket;
  {
    std::lock_guard lock(queue_mutex_);
    ticket = work.seq = next_seq_++;
    queue_.push_back(std::move(work));
  }
  queue_cv_.notify_all();
  return ticket;
}

size_t kiv::host::HostLoop::Step() {
  uint64_t snapshot;
  {
    std::lock_guard lock(queue_mutex_);
    snapshot = next_seq_;
  }
  const double now = Now();
  size_t ran = 0;
  // One item at a time: the item may step re-entrantly and take the rest of
  // this batch, so the queue is searched again after each.
  for (;;) {
    Work work{};
    {
      std::lock_guard lock(queue_mutex_);
      const bool inside = InsidePlugin();
      auto it = std::find_if(queue_.begin(), queue_.end(), [&](const Work& w) {
        return w.seq < snapshot && w.due <= now && !(inside && w.outside_plugin);
      });
      if (it == queue_.end()) break;
      work = std::move(*it);
      queue_.erase(it);
    }
    work.run();
    ++ran;
  }
  return ran;
}

size_t kiv::host::HostLoop::RunUntilIdle(size_t max_steps) {
  size_t total = 0;
  for (size_t i = 0; i < max_steps; ++i) {
    const size_t ran = Step();
    if (ran == 0) break;
    total += ran;
  }
  return total;
}

bool kiv::host::HostLoop::RunUntil(const std::function<bool()>& done, size_t max_steps) {
  for (size_t i = 0; i < max_steps; ++i) {
    if (done()) return true;
    Step();
  }
  return done();
}

bool kiv::host::HostLoop::WaitForWork(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::unique_lock lock(queue_mutex_);
  for (;;) {
    const double now = Now();
    const bool inside = InsidePlugin();
    double earliest = INFINITY;
    for (const Work& w : queue_) {
      if (!(inside && w.outside_plugin)) earliest = std::min(earliest, w.due);
    }
    if (earliest <= now) return true;
    auto until = deadline;
    if (!options_.virtual_time && std::isfinite(earliest)) {
      until = std::min(until, std::chrono::steady_clock::now() +
                                  std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                      std::chrono::duration<double>(earliest - now)));
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    queue_cv_.wait_until(lock, until);
  }
}

uint64_t kiv::host::HostLoop::Post(std::function<void()> work, double delay_seconds, std::string label) {
  return Enqueue({0, Now() + std::max(0.0, delay_seconds), std::move(work), std::move(label)});
}

uint64_t kiv::host::HostLoop::PostOutsidePlugin(std::function<void()> work, std::string label) {
  Work item{0, Now(), std::move(work), std::move(label)};
  item.outside_plugin = true;
  return Enqueue(std::move(item));
}

bool kiv::host::HostLoop::Cancel(uint64_t ticket) {
  std::lock_guard lock(queue_mutex_);
  return std::erase_if(queue_, [&](const Work& w) { return w.seq == ticket; }) > 0;
}

void kiv::host::HostLoop::PostEvent(std::string name, OwnedValue payload, double delay_seconds) {
  auto shared = std::make_shared<std::pair<std::string, OwnedValue>>(std::move(name), std::move(payload));
  std::string label = "event " + shared->first;
  Post([this, shared] { Deliver(shared->first, shared->second); }, delay_seconds, std::move(label));
}

void kiv::host::HostLoop::PostRequest(Request request, std::function<void(Response)> done,
                                      double delay_seconds) {
  auto shared = std::make_shared<Request>(std::move(request));
  std::string label = "request " + shared->Summary();
  Post([this, shared, done = std::move(done)] { done(Dispatch(*shared)); }, delay_seconds, std::move(label));
}

void kiv::host::HostLoop::Deliver(const std::string& name, const OwnedValue& payload) {
  // Subscribers may come and go while others run: take the ids first and
  // skip any that are gone by their turn.
  std::vector<uint64_t> ids;
  for (const auto& s : subscriptions_) {
    if (s.name == name) ids.push_back(s.id);
  }
  HostEvent event;
  std::memset(&event, 0, sizeof event);
  event.name = name.c_str();
  event.payload = payload.get();
  for (const uint64_t id : ids) {
    auto it = std::find_if(subscriptions_.begin(), subscriptions_.end(),
                           [&](const Subscription& s) { return s.id == id; });
    if (it == subscriptions_.end()) continue;
    const HostEventFn callback = it->callback;
    event.context = it->context;
    CallbackScope scope(*this);
    callback(&event);
  }
  std::vector<int> listener_ids;
  for (const auto& l : listeners_) {
    if (l.name == name || l.name == "*") listener_ids.push_back(l.id);
  }
  for (const int id : listener_ids) {
    auto it =
        std::find_if(listeners_.begin(), listeners_.end(), [&](const Listener& l) { return l.id == id; });
    if (it == listeners_.end()) continue;
    EventListener fn = it->fn;
    fn(name, payload.get());
  }
}

// ------------------------------------------------------------- routing

int kiv::host::HostLoop::HandleRequest(uint32_t method, std::string_view path_template,
                                       RequestHandler handler) {
  const int id = next_route_++;
  routes_.push_back(Route{id, PathTemplate(path_template), method, {}, std::move(handler)});
  return id;
}

void kiv::host::HostLoop::RemoveHandler(int id) {
  std::erase_if(routes_, [&](const Route& r) { return r.id == id; });
}

void* kiv::host::HostLoop::NewHostHandle() { return reinterpret_cast<void*>(next_handle_++); }

void kiv::host::HostLoop::AttachDescription(const ApiDescription& description, void* host_handle,
                                            const PluginLibrary* library) {
  libraries_[host_handle] = library;
  for (uint32_t i = 0; i < description.function_count; ++i) {
    const ApiFunctionEntry& f = description.functions[i];
    const char* path = f.path != nullptr && f.path[0] != '\0' ? f.path : f.name;
    Route route{next_route_++, PathTemplate(Text(path)), f.method, Text(f.custom_method), nullptr};
    route.function = &f;
    route.host_handle = host_handle;
    routes_.push_back(std::move(route));
  }
}

void kiv::host::HostLoop::DropPluginWork(void* host_handle) {
  const PluginLibrary* library = nullptr;
  if (auto it = libraries_.find(host_handle); it != libraries_.end()) library = it->second;
  std::erase_if(routes_,
                [&](const Route& r) { return r.function != nullptr && r.host_handle == host_handle; });
  std::erase_if(subscriptions_, [&](const Subscription& s) {
    return s.host_handle == host_handle ||
           (library != nullptr && library->Contains(reinterpret_cast<const void*>(s.callback)));
  });
  std::lock_guard lock(queue_mutex_);
  std::erase_if(queue_, [&](const Work& w) {
    return (w.owner != nullptr && w.owner == host_handle) || (library != nullptr && library->Contains(w.code));
  });
}

void kiv::host::HostLoop::Detach(void* host_handle) {
  DropPluginWork(host_handle);
  libraries_.erase(host_handle);
  if (auto it = plugin_tables_.find(host_handle); it != plugin_tables_.end()) it->second->state = kDetached;
}

Quarn::Maybe<std::unique_ptr<kiv::host::PluginLibrary>> kiv::host::HostLoop::LoadPlugin(
    const std::string& path, const LoadOptions& options) {
  auto loaded = PluginLibrary::Load(path, options);
  if (loaded.HasFailure()) return loaded.TakeFailure();
  std::unique_ptr<PluginLibrary> library = loaded.TakeValue();
  void* handle = NewHostHandle();
  // Routes first: a plug-in may send requests to itself from init.
  AttachDescription(library->description(), handle, library.get());
  Quarn::Maybe<void> init;
  {
    CallbackScope scope(*this);
    init = library->Init(&PluginTable(handle).api, handle);
  }
  if (init.HasFailure()) {
    UnloadPlugin(*library);
    return init.TakeFailure();
  }
  return library;
}

void kiv::host::HostLoop::UnloadPlugin(PluginLibrary& library) {
  void* handle = library.context().host_handle;
  if (InsidePlugin()) Problem("plug-in unloaded while one of its callbacks runs");
  DropPluginWork(handle);
  if (auto it = plugin_tables_.find(handle); it != plugin_tables_.end()) it->second->state = kUnloading;
  {
    CallbackScope scope(*this);
    library.Unload();
  }
  Detach(handle);
}

kiv::host::RouteLookup kiv::host::HostLoop::LookupRoute(uint32_t method, std::string_view custom_method,
                                                        std::string_view path) const {
  RouteLookup out;
  const std::string_view bare = PathWithoutQuery(path);
  for (const Route& r : routes_) {
    if (!r.path.Match(bare)) continue;
    if (MethodAccepts(r.method, r.custom_method, method, custom_method)) {
      out.kind = RouteLookup::Kind::kFound;
      out.allowed.clear();
      return out;
    }
    out.kind = RouteLookup::Kind::kWrongMethod;
    const std::string name(r.method == KIV_METHOD_CUSTOM ? std::string_view(r.custom_method)
                                                         : MethodName(r.method));
    if (std::find(out.allowed.begin(), out.allowed.end(), name) == out.allowed.end())
      out.allowed.push_back(name);
  }
  return out;
}

kiv::host::Response kiv::host::HostLoop::Dispatch(Request request) {
  const std::string_view bare = PathWithoutQuery(request.path);
  const Route* chosen = nullptr;
  std::vector<PathCapture> chosen_captures;
  std::vector<std::string> allowed;
  for (const Route& r : routes_) {
    auto captures = r.path.Match(bare);
    if (!captures) continue;
    if (!MethodAccepts(r.method, r.custom_method, request.method, request.custom_method)) {
      allowed.emplace_back(r.method == KIV_METHOD_CUSTOM ? std::string_view(r.custom_method)
                                                         : MethodName(r.method));
      continue;
    }
    // The route whose placeholders took the fewest characters wins; a route
    // without placeholders cannot be beaten.
    if (chosen == nullptr ||
        (!chosen_captures.empty() && CapturedLength(*captures) < CapturedLength(chosen_captures))) {
      chosen = &r;
      chosen_captures = std::move(*captures);
    }
    if (chosen_captures.empty()) break;
  }
  if (chosen == nullptr) {
    const std::string where = std::string(request.MethodText()) + " " + std::string(bare);
    if (allowed.empty()) return Response::Error("No route for " + where, 404);
    Response r = Response::Error(
        "Method " + std::string(request.MethodText()) + " not allowed for " + std::string(bare), 405);
    std::string allow;
    for (const auto& a : allowed) allow += (allow.empty() ? "" : ", ") + a;
    r.headers.emplace_back("Allow", allow);
    return r;
  }
  request.captures = std::move(chosen_captures);
  // The route table may change while the handler runs; keep what is needed.
  const Route route = *chosen;
  if (route.function != nullptr) return CallFunction(route, std::move(request));
  try {
    return route.handler(request);
  } catch (const std::exception& e) {
    return Response::Error(std::string("stand-in for ") + std::string(bare) + " failed: " + e.what(), 500);
  }
}

kiv::host::Response kiv::host::HostLoop::CallFunction(const Route& route, Request request) {
  std::vector<HostTypedArgument> arguments(request.arguments.size());
  for (size_t i = 0; i < arguments.size(); ++i) {
    const auto& [name, value] = request.arguments[i];
    arguments[i].name = name.empty() ? nullptr : name.c_str();
    arguments[i].value = value.get();
  }
  std::vector<HostNameValue> pairs(request.pairs.size());
  for (size_t i = 0; i < pairs.size(); ++i) {
    pairs[i].name = request.pairs[i].first.c_str();
    pairs[i].value = request.pairs[i].second.c_str();
  }
  HostRequest in;
  std::memset(&in, 0, sizeof in);
  in.method = request.method;
  in.path = request.path.c_str();
  in.arguments = arguments.empty() ? nullptr : arguments.data();
  in.argument_count = static_cast<uint32_t>(arguments.size());
  in.function = route.function;
  in.pairs = pairs.empty() ? nullptr : pairs.data();
  in.pair_count = static_cast<uint32_t>(pairs.size());
  in.content_type = request.content_type.c_str();
  in.body = reinterpret_cast<const uint8_t*>(request.body.data());
  in.body_length = static_cast<uint32_t>(request.body.size());
  in.host_handle = reinterpret_cast<void*>(next_token_++);
  in.custom_method = request.custom_method.c_str();

  HostResponse out;
  std::memset(&out, 0, sizeof out);
  CallbackScope scope(*this);
  route.function->request(&out, &in);
  Response answer = ReadPluginResponse(out);
  if (out.release != nullptr) out.release(&out);
  return answer;
}

void kiv::host::HostLoop::FillResponse(HostResponse* response, Response answer) {
  auto block = std::make_unique<ResponseBlock>();
  block->loop = this;
  block->answer = std::move(answer);
  const Response& a = block->answer;
  for (const auto& [name, value] : a.headers) block->header_records.push_back({name.c_str(), value.c_str()});

  std::memset(response, 0, sizeof *response);
  if (!a.chunks) response->body = a.body.get();
  response->error = a.error ? a.error->c_str() : nullptr;
  response->status = a.status;
  response->content_type = a.content_type.c_str();
  response->headers = block->header_records.empty() ? nullptr : block->header_records.data();
  response->header_count = static_cast<uint32_t>(block->header_records.size());
  if (a.chunks) {
    response->stream_read = &StreamRead;
    response->stream_close = &StreamClose;
    size_t total = 0;
    for (const auto& c : *a.chunks) total += c.size();
    response->expected_length = static_cast<uint32_t>(total);
  }
  // The stream context also names the block for release, so a plug-in that
  // releases a copy of the record still frees the right block.
  response->stream_context = block.get();
  response->release = &ReleaseResponse;
  {
    std::lock_guard lock(g_blocks_mutex);
    LiveBlocks()[block.get()] = this;
  }
  ResponseBlock* key = block.get();
  blocks_[key] = std::move(block);
}

uint8_t kiv::host::HostLoop::StreamRead(void* context, char* buffer, uint32_t* size, uint8_t* more) {
  if (!IsLiveBlock(context) || buffer == nullptr || size == nullptr || more == nullptr) return 0;
  auto* block = static_cast<ResponseBlock*>(context);
  block->loop->stream_reads_++;
  if (++block->reads == block->answer.stream_fail_at_read) return 0;
  const std::vector<std::string>& chunks = *block->answer.chunks;
  if (block->chunk >= chunks.size()) {
    *size = 0;
    *more = 0;
    return 1;
  }
  const std::string& chunk = chunks[block->chunk];
  const size_t n = std::min<size_t>(*size, chunk.size() - block->offset);
  if (n > 0) std::memcpy(buffer, chunk.data() + block->offset, n);
  block->offset += n;
  if (block->offset == chunk.size()) {
    ++block->chunk;
    block->offset = 0;
  }
  *size = static_cast<uint32_t>(n);
  *more = block->chunk < chunks.size() ? 1 : 0;
  return 1;
}

void kiv::host::HostLoop::StreamClose(void* context) {
  if (!IsLiveBlock(context)) return;
  static_cast<ResponseBlock*>(context)->loop->streams_closed_++;
}

void kiv::host::HostLoop::ReleaseResponse(HostResponse* response) {
  if (response == nullptr) return;
  void* block = response->stream_context;
  std::memset(response, 0, sizeof *response);
  HostLoop* loop = nullptr;
  {
    std::lock_guard lock(g_blocks_mutex);
    auto it = LiveBlocks().find(block);
    if (it == LiveBlocks().end()) return;
    loop = it->second;
    LiveBlocks().erase(it);
  }
  loop->blocks_.erase(static_cast<ResponseBlock*>(block));
}

// -------------------------------------------------------------- faults

int kiv::host::HostLoop::InjectFault(Fault fault) {
  std::lock_guard lock(record_mutex_);
  ActiveFault active{next_fault_++, std::move(fault), std::nullopt};
  if (!active.fault.path_template.empty()) active.path.emplace(active.fault.path_template);
  faults_.push_back(std::move(active));
  return faults_.back().id;
}

void kiv::host::HostLoop::RemoveFault(int id) {
  std::lock_guard lock(record_mutex_);
  std::erase_if(faults_, [&](const ActiveFault& f) { return f.id == id; });
}

void kiv::host::HostLoop::ClearFaults() {
  std::lock_guard lock(record_mutex_);
  faults_.clear();
}

std::optional<kiv::host::Fault> kiv::host::HostLoop::Record(RecordedCall call) {
  std::lock_guard lock(record_mutex_);
  std::optional<Fault> hit;
  for (ActiveFault& f : faults_) {
    if (f.fault.kind != call.kind) continue;
    if (call.kind == CallKind::kSendRequest) {
      if (f.fault.method != KIV_METHOD_NONE && f.fault.method != call.request.method) continue;
      if (f.path && !f.path->Match(PathWithoutQuery(call.request.path))) continue;
    }
    if (++f.seen <= f.fault.skip) continue;
    if (f.fault.times >= 0 && f.fired >= f.fault.times) continue;
    ++f.fired;
    hit = f.fault;
    break;
  }
  call.faulted = hit.has_value();
  calls_.push_back(std::move(call));
  TrimRecords();
  return hit;
}

void kiv::host::HostLoop::TrimRecords() {
  const size_t limit = options_.record_limit;
  // Trimmed a tenth at a time, so the cost of moving the rest is shared by
  // many records.
  if (limit != 0 && calls_.size() > limit)
    calls_.erase(calls_.begin(), calls_.begin() + (calls_.size() - limit + limit / 10));
  if (limit != 0 && log_.size() > limit)
    log_.erase(log_.begin(), log_.begin() + (log_.size() - limit + limit / 10));
}

std::vector<std::string> kiv::host::HostLoop::WaitLabels() const {
  std::lock_guard lock(record_mutex_);
  return waits_;
}

void kiv::host::HostLoop::Problem(std::string text) {
  std::lock_guard lock(record_mutex_);
  problems_.push_back(std::move(text));
}

// ---------------------------------------------------- listeners, records

int kiv::host::HostLoop::Listen(std::string name, EventListener listener) {
  const int id = next_listener_++;
  listeners_.push_back({id, std::move(name), std::move(listener)});
  return id;
}

void kiv::host::HostLoop::RemoveListener(int id) {
  std::erase_if(listeners_, [&](const Listener& l) { return l.id == id; });
}

void kiv::host::HostLoop::SetLogSink(std::function<void(const LogLine&)> sink) {
  std::lock_guard lock(record_mutex_);
  log_sink_ = std::move(sink);
}

std::vector<kiv::host::RecordedCall> kiv::host::HostLoop::Calls() const {
  std::lock_guard lock(record_mutex_);
  return calls_;
}

void kiv::host::HostLoop::ClearCalls() {
  std::lock_guard lock(record_mutex_);
  calls_.clear();
}

std::vector<kiv::host::LogLine> kiv::host::HostLoop::LogLines() const {
  std::lock_guard lock(record_mutex_);
  return log_;
}

std::vector<std::string> kiv::host::HostLoop::Problems() const {
  std::lock_guard lock(record_mutex_);
  return problems_;
}

std::vector<std::string> kiv::host::HostLoop::SubscribedNames() const {
  std::vector<std::string> names;
  for (const auto& s : subscriptions_) {
    if (std::find(names.begin(), names.end(), s.name) == names.end()) names.push_back(s.name);
  }
  return names;
}

size_t kiv::host::HostLoop::SubscriberCount(std::string_view name) const {
  return static_cast<size_t>(std::count_if(subscriptions_.begin(), subscriptions_.end(),
                                           [&](const Subscription& s) { return s.name == name; }));
}

// --------------------------------------------------------- trampolines

uint32_t kiv::host::HostLoop::SendRequestEntry(const HostApi* api, HostResponse* response,
                                               const HostRequest* request) noexcept {
  HostLoop* admitted = Admit(api, CallKind::kSendRequest);
  if (admitted == nullptr) {
    if (response != nullptr) {
      std::memset(response, 0, sizeof *response);
      response->error = kRefusedMessage;
      response->status = 503;
      response->release = &ReleaseRefused;
    }
    return kRefused;
  }
  HostLoop& loop = *admitted;
  if (response == nullptr) {
    loop.Problem("send_request without a response record");
    return 0;
  }
  try {
    if (request == nullptr) {
      loop.Problem("send_request without a request record");
      loop.FillResponse(response, Response::Error("no request", 400));
      return 0;
    }
    auto copied = CopyRequest(*request);
    RecordedCall call = MakeCall(CallKind::kSendRequest);
    call.host_handle = request->host_handle;
    if (copied.HasFailure()) {
      call.request.method = request->method;
      call.request.path = Text(request->path);
      loop.Record(std::move(call));
      loop.Problem("send_request " + Text(request->path) + ": " + copied.failure().message());
      loop.FillResponse(response, Response::Error(copied.failure().message(), 400));
      return 0;
    }
    call.request = copied.value();
    if (auto fault = loop.Record(std::move(call))) {
      loop.FillResponse(response, Response::Error(fault->error, fault->status));
      return 0;
    }
    loop.FillResponse(response, loop.Dispatch(copied.TakeValue()));
  } catch (const std::exception& e) {
    loop.Problem(std::string("send_request failed in the host: ") + e.what());
    std::memset(response, 0, sizeof *response);
  }
  return 0;
}

uint32_t kiv::host::HostLoop::Reserved1Entry(const HostApi* api, uintptr_t, uintptr_t) noexcept {
  HostLoop* loop = Admit(api, CallKind::kReserved1);
  if (loop == nullptr) return kRefused;
  loop->Record(MakeCall(CallKind::kReserved1));
  return 0;
}

uint32_t kiv::host::HostLoop::EmitEventEntry(const HostApi* api, const HostEvent* event) noexcept {
  HostLoop* admitted = Admit(api, CallKind::kEmitEvent);
  if (admitted == nullptr) return kRefused;
  HostLoop& loop = *admitted;
  if (event == nullptr || event->name == nullptr) {
    loop.Record(MakeCall(CallKind::kEmitEvent));
    loop.Problem("emit_event without a name");
    return 0;
  }
  auto payload = OwnedValue::Copy(event->payload);
  RecordedCall call = MakeCall(CallKind::kEmitEvent, event->name);
  if (payload.ok()) call.payload = payload.value();
  if (loop.Record(std::move(call))) return 0;
  if (payload.HasFailure()) {
    loop.Problem("emit_event " + std::string(event->name) +
                 ": invalid payload: " + payload.failure().message());
    return 0;
  }
  loop.PostEvent(event->name, payload.TakeValue());
  return 0;
}

uint32_t kiv::host::HostLoop::SubscribeEntry(const HostApi* api, const char* name, void* host_handle,
                                             HostEventFn callback, void* context, uint32_t flag) noexcept {
  HostLoop* admitted = Admit(api, CallKind::kSubscribe);
  if (admitted == nullptr) return kRefused;
  HostLoop& loop = *admitted;
  RecordedCall call = MakeCall(CallKind::kSubscribe, Text(name));
  call.flag = flag;
  call.host_handle = host_handle;
  if (loop.Record(std::move(call))) return 0;
  if (name == nullptr || callback == nullptr) {
    loop.Problem("subscribe without a name or callback");
    return 0;
  }
  for (const auto& s : loop.subscriptions_) {
    if (s.name == name && s.host_handle == host_handle && s.callback == callback && s.context == context)
      return 0;
  }
  loop.subscriptions_.push_back({loop.next_subscription_++, name, host_handle, callback, context, flag});
  return 0;
}

uint32_t kiv::host::HostLoop::UnsubscribeEntry(const HostApi* api, const char* name,
                                               void* host_handle) noexcept {
  HostLoop* admitted = Admit(api, CallKind::kUnsubscribe);
  if (admitted == nullptr) return kRefused;
  HostLoop& loop = *admitted;
  RecordedCall call = MakeCall(CallKind::kUnsubscribe, Text(name));
  call.host_handle = host_handle;
  if (loop.Record(std::move(call))) return 0;
  if (name == nullptr) {
    loop.Problem("unsubscribe without a name");
    return 0;
  }
  std::erase_if(loop.subscriptions_,
                [&](const Subscription& s) { return s.name == name && s.host_handle == host_handle; });
  return 0;
}

uint32_t kiv::host::HostLoop::StartTimerEntry(const HostApi* api, const char* label, HostTimerFn callback,
                                              void* context, double delay_seconds, uint32_t flag) noexcept {
  HostLoop* admitted = Admit(api, CallKind::kStartTimer);
  if (admitted == nullptr) return kRefused;
  HostLoop& loop = *admitted;
  RecordedCall call = MakeCall(CallKind::kStartTimer, Text(label));
  call.flag = flag;
  call.delay_seconds = delay_seconds;
  if (loop.Record(std::move(call))) return 0;
  if (callback == nullptr) {
    loop.Problem("start_timer " + Text(label) + " without a callback");
    return 0;
  }
  if (!(delay_seconds >= 0)) {
    loop.Problem("start_timer " + Text(label) + " with a negative delay");
    delay_seconds = 0;
  }
  Work timer{0, loop.Now() + delay_seconds, {}, "timer " + Text(label), reinterpret_cast<const void*>(callback),
             TableOf(api).host_handle};
  timer.run = [&loop, callback, context] {
    CallbackScope scope(loop);
    callback(context);
  };
  loop.Enqueue(std::move(timer));
  return 0;
}

uint32_t kiv::host::HostLoop::StepEntry(const HostApi* api) noexcept {
  HostLoop* admitted = Admit(api, CallKind::kStep);
  if (admitted == nullptr) return kRefused;
  HostLoop& loop = *admitted;
  if (loop.Record(MakeCall(CallKind::kStep))) return 0;
  try {
    // A plug-in that steps while nothing is due is waiting for an answer;
    // let it sleep until work arrives instead of spinning.
    if (loop.Step() == 0 && loop.options_.idle_step_wait_seconds > 0 && !loop.options_.virtual_time) {
      const auto wait = std::chrono::duration<double>(loop.options_.idle_step_wait_seconds);
      if (loop.WaitForWork(std::chrono::duration_cast<std::chrono::milliseconds>(wait))) loop.Step();
    }
  } catch (const std::exception& e) {
    loop.Problem(std::string("host work failed during step: ") + e.what());
  }
  return 0;
}

uint32_t kiv::host::HostLoop::BeginWaitEntry(const HostApi* api, const char* label, uint32_t flag) noexcept {
  HostLoop* admitted = Admit(api, CallKind::kBeginWait);
  if (admitted == nullptr) return kRefused;
  HostLoop& loop = *admitted;
  RecordedCall call = MakeCall(CallKind::kBeginWait, Text(label));
  call.flag = flag;
  if (loop.Record(std::move(call))) return 0;
  std::lock_guard lock(loop.record_mutex_);
  loop.waits_.push_back(Text(label));
  return 0;
}

uint32_t kiv::host::HostLoop::EndWaitEntry(const HostApi* api) noexcept {
  HostLoop* admitted = Admit(api, CallKind::kEndWait);
  if (admitted == nullptr) return kRefused;
  HostLoop& loop = *admitted;
  if (loop.Record(MakeCall(CallKind::kEndWait))) return 0;
  {
    std::lock_guard lock(loop.record_mutex_);
    if (!loop.waits_.empty()) {
      loop.waits_.pop_back();
      return 0;
    }
  }
  loop.Problem("end_wait without begin_wait");
  return 0;
}

uint32_t kiv::host::HostLoop::WriteLogLineEntry(const HostApi* api, uint32_t level,
                                                const char* message) noexcept {
  HostLoop* admitted = Admit(api, CallKind::kWriteLogLine);
  if (admitted == nullptr) return kRefused;
  HostLoop& loop = *admitted;
  RecordedCall call = MakeCall(CallKind::kWriteLogLine, Text(message));
  call.flag = level;
  if (loop.Record(std::move(call))) return 0;
  std::function<void(const LogLine&)> sink;
  LogLine line{level, Text(message)};
  {
    std::lock_guard lock(loop.record_mutex_);
    loop.log_.push_back(line);
    loop.TrimRecords();
    sink = loop.log_sink_;
  }
  if (sink) sink(line);
  return 0;
}
