#include "api/response_writer.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "binding/host_value_conversion.h"

namespace {

// Returned for an empty content type so that release can tell it from an
// allocated text.
constexpr char kEmptyText[] = "";

char* CopyText(std::string_view text) {
  char* copy = new char[text.size() + 1];
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

// The response owns this holder; the stream inside it goes away at close
// or at release, whichever comes first.
struct StreamHolder {
  std::unique_ptr<Quarn::BodyStream> stream;
};

uint8_t ReadStream(void* context, char* buffer, uint32_t* size, uint8_t* more) {
  auto* holder = static_cast<StreamHolder*>(context);
  if (holder == nullptr || holder->stream == nullptr || size == nullptr || more == nullptr) return 0;
  bool has_more = *more != 0;
  try {
    const bool ok = holder->stream->Read(buffer, *size, has_more);
    *more = has_more ? 1 : 0;
    return ok ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

// A container body is written in one block (see ReleaseBody), a scalar as
// ToHostValue writes it.
bool WriteBody(HostValue& body, const Quarn::BindingProperty& value, const Quarn::BindingRegistry& registry,
               std::string& error) {
  if (value.IsCollection() || value.IsStructure()) return Quarn::ToHostValueInOneBlock(body, value, &registry, error);
  return Quarn::ToHostValue(body, value, &registry, error);
}

void ReleaseBody(HostValue& body) {
  if (body.tag == KIV_VALUE_ARRAY || body.tag == KIV_VALUE_OBJECT) {
    std::free(const_cast<void*>(body.data.seq.data));
    body = HostValue{};
  } else {
    Quarn::ReleaseHostValue(body);
  }
}

void CloseStream(void* context) {
  auto* holder = static_cast<StreamHolder*>(context);
  if (holder != nullptr) holder->stream.reset();
}

}  // namespace

void Quarn::WriteStaticFailure(HostResponse& response, const char* error, uint32_t status) {
  response = HostResponse{};
  response.error = error;
  response.error_owned = 0;
  response.status = status;
  response.content_type = kEmptyText;
  response.release = &ReleaseResponse;
}

void Quarn::WriteResponse(HostResponse& response, CallResult& call, const BindingRegistry& registry) {
  response = HostResponse{};
  response.content_type = kEmptyText;
  response.release = &ReleaseResponse;

  bool write_failed = false;
  if (!call.ok()) {
    response.error = CopyText(call.value.ErrorMessage());
    response.error_owned = 1;
  } else {
    std::string error;
    if (!WriteBody(response.body, call.value.value, registry, error)) {
      write_failed = true;
      // A 400 without text would read as a successful empty answer.
      response.error = CopyText(error);
      response.error_owned = 1;
    }
  }

  response.format = call.format;
  response.content_kind = call.content_kind >= 1 && call.content_kind <= 3 ? call.content_kind : 0;
  response.status = write_failed ? 400 : call.status;
  if (!call.content_type.empty()) response.content_type = CopyText(call.content_type);
  if (!call.headers.empty()) {
    // Published before filling, zeroed, so release is right even when a
    // copy below runs out of memory.
    auto* headers = new HostNameValue[call.headers.size()]();
    response.headers = headers;
    response.header_count = static_cast<uint32_t>(call.headers.size());
    for (size_t i = 0; i < call.headers.size(); ++i) {
      headers[i].name = CopyText(call.headers[i].name);
      headers[i].value = CopyText(call.headers[i].value);
    }
  }
  if (call.stream != nullptr) {
    response.expected_length = call.stream->Length();
    response.stream_context = new StreamHolder{std::move(call.stream)};
    response.stream_read = &ReadStream;
    response.stream_close = &CloseStream;
  }
}

void Quarn::ReleaseResponse(HostResponse* response) noexcept {
  if (response == nullptr) return;
  ReleaseBody(response->body);
  if (response->error_owned == 1) delete[] response->error;
  if (response->content_type != nullptr && response->content_type[0] != '\0') {
    delete[] response->content_type;
  }
  if (response->headers != nullptr) {
    for (uint32_t i = 0; i < response->header_count; ++i) {
      delete[] response->headers[i].name;
      delete[] response->headers[i].value;
    }
    delete[] response->headers;
  }
  // Only this writer installs ReadStream; a foreign context is not ours.
  if (response->stream_read == &ReadStream) delete static_cast<StreamHolder*>(response->stream_context);
  std::memset(static_cast<void*>(response), 0, sizeof(HostResponse));
}
