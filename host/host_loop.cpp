#include "host/host_loop.h"

#include <utility>

kiv::host::HostLoop::HostLoop(LoopOptions options)
    : queue_(options.virtual_time, depth_),
      recorder_(RecordLimits{options.record_limit, options.record_bytes_limit}),
      bus_(queue_, depth_),
      bridge_(options.idle_step_wait_seconds, depth_, queue_, router_, bus_, recorder_) {}

kiv::host::HostLoop::~HostLoop() = default;

uint64_t kiv::host::HostLoop::Post(std::function<void()> work, double delay_seconds, std::string label) {
  WorkItem item;
  item.run = std::move(work);
  item.delay_seconds = delay_seconds;
  item.label = std::move(label);
  return queue_.Post(std::move(item));
}

uint64_t kiv::host::HostLoop::PostOutsidePlugin(std::function<void()> work, std::string label) {
  WorkItem item;
  item.run = std::move(work);
  item.label = std::move(label);
  item.outside_plugin = true;
  return queue_.Post(std::move(item));
}

void kiv::host::HostLoop::PostRequest(Request request, std::function<void(Response)> done, double delay_seconds) {
  auto shared = std::make_shared<Request>(std::move(request));
  std::string label = "request " + shared->Summary();
  Post([this, shared, done = std::move(done)] { done(Dispatch(*shared)); }, delay_seconds, std::move(label));
}

void kiv::host::HostLoop::SetObserver(BoundaryObserver* observer) {
  observer_ = observer;
  bridge_.SetObserver(observer);
  bus_.SetObserver(observer);
}

void kiv::host::HostLoop::AttachDescription(const ApiDescription& description, void* host_handle,
                                            const PluginLibrary* library) {
  libraries_[host_handle] = library;
  for (uint32_t i = 0; i < description.function_count; ++i) router_.AddFunction(description.functions[i], host_handle);
}

void kiv::host::HostLoop::DropPluginWork(void* host_handle) {
  const PluginLibrary* library = nullptr;
  if (auto it = libraries_.find(host_handle); it != libraries_.end()) library = it->second;
  router_.RemoveFunctionsOf(host_handle);
  bus_.DropPlugin(host_handle, library);
  queue_.DropIf([&](const void* code, void* owner) {
    return (owner != nullptr && owner == host_handle) || (library != nullptr && library->Contains(code));
  });
}

void kiv::host::HostLoop::Detach(void* host_handle) {
  DropPluginWork(host_handle);
  libraries_.erase(host_handle);
  bridge_.Detach(host_handle);
}

Quarn::Maybe<std::unique_ptr<kiv::host::PluginLibrary>> kiv::host::HostLoop::LoadPlugin(
    const std::string& path, const LoadOptions& options) {
  auto loaded = PluginLibrary::Load(path, options);
  if (loaded.HasFailure()) return loaded.TakeFailure();
  std::unique_ptr<PluginLibrary> library = loaded.TakeValue();
  if (observer_ != nullptr) observer_->PluginLoaded(NowSeconds(), *library);
  void* handle = NewHostHandle();
  // Routes first: a plug-in may send requests to itself from init.
  AttachDescription(library->description(), handle, library.get());
  Quarn::Maybe<void> init;
  {
    CallbackDepth::Scope scope(depth_);
    init = library->Init(bridge_.PluginApi(handle), handle);
  }
  if (init.HasFailure()) {
    UnloadPlugin(*library);
    return init.TakeFailure();
  }
  return library;
}

void kiv::host::HostLoop::UnloadPlugin(PluginLibrary& library) {
  void* handle = library.context().host_handle;
  if (InsidePlugin()) recorder_.Problem("plug-in unloaded while one of its callbacks runs");
  if (observer_ != nullptr) observer_->PluginUnloading(NowSeconds());
  DropPluginWork(handle);
  bridge_.BeginUnload(handle);
  {
    CallbackDepth::Scope scope(depth_);
    library.Unload();
  }
  Detach(handle);
}
