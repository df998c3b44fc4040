#include "runtime/plugin_base.h"

#include "runtime/api_description.h"

Quarn::PluginBase::PluginBase(std::string_view kind) : kind_(kind) {
  // Every conversion of the module (requests, events, backend calls) knows
  // the types registered in the plug-in's API.
  UseRegistry(api_.registry());
}

Quarn::PluginBase::~PluginBase() = default;

namespace {

// The failure a send carries when no host can answer it.
constexpr const char* kNoHost = "No host to send the request to";

}  // namespace

// Every forward checks the table and the entry: before init and after
// unload there is no table, and a host may leave entries it does not offer
// null.
#define QUARN_FORWARD(entry, ...)                                         \
  const HostApi* api = host_api();                                        \
  if (api == nullptr || api->entry == nullptr) return kHostCallRefused;   \
  return api->entry(api __VA_OPT__(, ) __VA_ARGS__)

uint32_t Quarn::PluginBase::SendRequest(HostResponse* response, const HostRequest* request) {
  const HostApi* api = host_api();
  if (api == nullptr || api->send_request == nullptr) {
    // Nobody fills the response: it carries the failure itself, so the
    // request is not taken for one that was answered.
    if (response != nullptr) {
      *response = HostResponse{};
      response->error = kNoHost;
      response->status = 503;
    }
    return kHostCallRefused;
  }
  return api->send_request(api, response, request);
}

uint32_t Quarn::PluginBase::ReservedHostCall(uintptr_t word0, uintptr_t word1) {
  QUARN_FORWARD(reserved1, word0, word1);
}

uint32_t Quarn::PluginBase::EmitEvent(const HostEvent* event) { QUARN_FORWARD(emit_event, event); }

uint32_t Quarn::PluginBase::SubscribeAtHost(const char* name, void* host_handle, HostEventFn callback,
                                            void* context, uint32_t flag) {
  QUARN_FORWARD(subscribe, name, host_handle, callback, context, flag);
}

uint32_t Quarn::PluginBase::UnsubscribeAtHost(const char* name, void* host_handle) {
  QUARN_FORWARD(unsubscribe, name, host_handle);
}

uint32_t Quarn::PluginBase::StartTimer(const char* label, HostTimerFn callback, void* context,
                                       double delay_seconds, uint32_t flag) {
  QUARN_FORWARD(start_timer, label, callback, context, delay_seconds, flag);
}

uint32_t Quarn::PluginBase::Step() { QUARN_FORWARD(step); }

uint32_t Quarn::PluginBase::BeginWait(const char* label, uint32_t flag) {
  QUARN_FORWARD(begin_wait, label, flag);
}

uint32_t Quarn::PluginBase::EndWait() { QUARN_FORWARD(end_wait); }

#undef QUARN_FORWARD

void Quarn::PluginBase::RegisterApi() {}

bool Quarn::PluginBase::Init() { return true; }

const ApiDescription* Quarn::PluginBase::api_description() const {
  return api_description_ != nullptr ? &api_description_->description() : nullptr;
}
