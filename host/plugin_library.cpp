#include "host/plugin_library.h"

#include <dlfcn.h>

#include <cassert>
#include <charconv>
#include <cstring>

namespace {

std::string DlError() {
  const char* text = dlerror();
  return text != nullptr ? text : "unknown error";
}

bool ParseNumber(std::string_view text, uint32_t& out) {
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::string kiv::host::ApiVersion::ToString() const {
  return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
}

Quarn::Maybe<kiv::host::ApiVersion> kiv::host::ApiVersion::Parse(std::string_view text) {
  ApiVersion v;
  const size_t dot1 = text.find('.');
  const size_t dot2 = dot1 == std::string_view::npos ? dot1 : text.find('.', dot1 + 1);
  if (dot2 == std::string_view::npos || !ParseNumber(text.substr(0, dot1), v.major) ||
      !ParseNumber(text.substr(dot1 + 1, dot2 - dot1 - 1), v.minor) ||
      !ParseNumber(text.substr(dot2 + 1), v.patch)) {
    return Quarn::Failure("invalid version '" + std::string(text) + "' (expected X.Y.Z)");
  }
  return v;
}

std::string kiv::host::EntryNameForLibrary(std::string_view path) {
  const size_t slash = path.rfind('/');
  std::string_view file = slash == std::string_view::npos ? path : path.substr(slash + 1);
  if (file.substr(0, 3) == "lib") file.remove_prefix(3);
  file = file.substr(0, file.find('.'));
  return "load_" + std::string(file);
}

std::string kiv::host::BackendFullName(std::string_view short_name) {
  return "ozm-be-" + std::string(short_name);
}

Quarn::Maybe<std::unique_ptr<kiv::host::PluginLibrary>> kiv::host::PluginLibrary::Load(
    const std::string& path, const LoadOptions& options) {
  std::unique_ptr<PluginLibrary> lib(new PluginLibrary());
  lib->path_ = path;
  lib->entry_name_ = options.entry_name.empty() ? EntryNameForLibrary(path) : options.entry_name;
  lib->core_version_ = options.core_version;

  dlerror();
  // A bare file name means the file here, not a search of the library path.
  const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  // The image stays mapped after dlclose: a plug-in's process-lifetime
  // objects (its logger, its type names) stay reachable instead of showing
  // up as leaks, and nothing of it can be called after being unmapped.
  lib->handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (lib->handle_ == nullptr) return Quarn::Failure("cannot open plug-in " + path + ": " + DlError());
  dlerror();
  void* symbol = dlsym(lib->handle_, lib->entry_name_.c_str());
  if (symbol == nullptr) {
    return Quarn::Failure("plug-in " + path + " has no entry " + lib->entry_name_ + ": " + DlError());
  }
  Dl_info info{};
  if (dladdr(symbol, &info) != 0) lib->image_base_ = info.dli_fbase;

  PluginStartRecord& record = lib->record_;
  std::memset(&record, 0, sizeof record);
  record.api_major = options.core_version.major;
  record.api_minor = options.core_version.minor;
  record.api_patch = options.core_version.patch;
  reinterpret_cast<PluginEntryFn>(symbol)(&record);
  lib->api_version_ = {record.api_major, record.api_minor, record.api_patch};

  // From here on the plug-in object may exist: anything that goes wrong
  // unloads it (when the table allows) before the library is closed.
  const char* missing = nullptr;
  if (record.callbacks == nullptr)
    missing = "callback table";
  else if (record.callbacks->init == nullptr || record.callbacks->unload == nullptr)
    missing = "init or unload callback";
  else if (record.plugin == nullptr)
    missing = "plug-in object";
  else if (record.short_name == nullptr)
    missing = "short name";
  else if (record.description == nullptr)
    missing = "API description";
  if (record.callbacks != nullptr && record.callbacks->unload != nullptr && record.plugin != nullptr)
    lib->loaded_ = true;
  if (missing != nullptr) {
    return Quarn::Failure("plug-in " + path + ": the entry returned no " + missing);
  }
  const ApiVersion& core = options.core_version;
  const ApiVersion& own = lib->api_version_;
  if (!kiv_api_version_is_compatible(core.major, core.minor, core.patch, own.major, own.minor, own.patch)) {
    return Quarn::Failure("plug-in " + path + " (" + record.short_name + ") supports plugin API " +
                          own.ToString() + ", which core " + core.ToString() + " cannot load");
  }
  return lib;
}

kiv::host::PluginLibrary::~PluginLibrary() {
  Unload();
  if (handle_ != nullptr) dlclose(handle_);
}

Quarn::Maybe<void> kiv::host::PluginLibrary::Init(const HostApi* api, void* host_handle) {
  assert(loaded_ && !initialized_);
  context_.api = api;
  context_.host_handle = host_handle;
  initialized_ = true;
  if (record_.callbacks->init(record_.plugin, &context_) == 0) {
    return Quarn::Failure("plug-in " + std::string(short_name()) + ": init returned false");
  }
  return {};
}

void kiv::host::PluginLibrary::Unload() {
  if (!loaded_) return;
  loaded_ = false;
  record_.callbacks->unload(record_.plugin);
  // Nothing the plug-in handed over may be used again.
  record_.callbacks = nullptr;
  record_.plugin = nullptr;
  record_.short_name = nullptr;
  record_.description = nullptr;
}

std::string_view kiv::host::PluginLibrary::short_name() const {
  assert(loaded_);
  return record_.short_name;
}

const ApiDescription& kiv::host::PluginLibrary::description() const {
  assert(loaded_);
  return *record_.description;
}

PluginMemoryStats kiv::host::PluginLibrary::MemoryStats() const {
  PluginMemoryStats stats;
  std::memset(&stats, 0, sizeof stats);
  if (loaded_ && record_.callbacks->memory_stats != nullptr) record_.callbacks->memory_stats(nullptr, &stats);
  return stats;
}

bool kiv::host::PluginLibrary::Contains(const void* address) const {
  if (address == nullptr || image_base_ == nullptr) return false;
  Dl_info info{};
  return dladdr(address, &info) != 0 && info.dli_fbase == image_base_;
}
