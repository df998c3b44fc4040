#include "host/binding_values.h"

#include <string>

#include "binding/host_value_conversion.h"

Quarn::Maybe<kiv::host::OwnedValue> kiv::host::FromBinding(const Quarn::BindingProperty& value) {
  HostValue converted;
  std::string error;
  if (!Quarn::ToHostValue(converted, value, /*registry=*/nullptr, error)) return Quarn::Failure(error);
  // The conversion allocates with its own allocator; copy into host storage
  // and hand its records back to the binding layer to free.
  auto copy = OwnedValue::Copy(converted);
  Quarn::ReleaseHostValue(converted);
  return copy;
}

Quarn::Maybe<Quarn::BindingProperty> kiv::host::ToBinding(const HostValue& value) {
  Quarn::BindingProperty out;
  std::string error;
  if (!Quarn::FromHostValue(out, value, "value", error)) return Quarn::Failure(error);
  return out;
}
