#include "binding/native_conversion.h"

#include <array>

#include "binding/conversion_messages.h"
#include "binding/message_format.h"

namespace Msg = Quarn::ConversionMessage;

namespace {

// Blobs travel through JSON as padded Base64 text; read that form back.
bool DecodeBase64(std::string_view text, std::vector<uint8_t>& out) {
  static constexpr auto kTable = [] {
    std::array<int8_t, 256> table{};
    table.fill(-1);
    constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (size_t i = 0; i < kAlphabet.size(); ++i)
      table[static_cast<uint8_t>(kAlphabet[i])] = static_cast<int8_t>(i);
    return table;
  }();
  if (text.size() % 4 != 0) return false;
  out.clear();
  out.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    int values[4];
    int padding = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = text[i + k];
      if (c == '=' && last && k >= 2) {
        ++padding;
        values[k] = 0;
        continue;
      }
      if (padding != 0) return false;  // data after padding
      values[k] = kTable[static_cast<uint8_t>(c)];
      if (values[k] < 0) return false;
    }
    const uint32_t group = (values[0] << 18) | (values[1] << 12) | (values[2] << 6) | values[3];
    out.push_back(static_cast<uint8_t>(group >> 16));
    if (padding < 2) out.push_back(static_cast<uint8_t>(group >> 8));
    if (padding < 1) out.push_back(static_cast<uint8_t>(group));
  }
  return true;
}

}  // namespace

bool Quarn::IsDefaultValue(const BindingProperty& value) {
  switch (value.kind()) {
    case BindingPropertyKind::Empty:
      return true;
    case BindingPropertyKind::Bool:
      return !value.GetBool();
    case BindingPropertyKind::Signed:
      return value.GetSigned() == 0;
    case BindingPropertyKind::Unsigned:
      return value.GetUnsigned() == 0;
    case BindingPropertyKind::Float:
      return value.GetDouble() == 0.0;  // a NaN is not a default
    case BindingPropertyKind::Enum:
      return value.GetEnum().value == 0;
    default:
      return value.size() == 0;
  }
}

void Quarn::FromBindingStruct(BindingResult& result, void* native, const BindingProperty& source,
                              std::string_view name, const BindingTypeInfo* type,
                              const BindingRegistry& registry, void* context) {
  if (!result.ok()) return;
  if (source.IsEmpty()) {
    result.Fail(Format(Msg::kRequired, name));
    return;
  }
  if (type == nullptr) {
    result.Fail(Format(Msg::kUnregisteredInput, name));
    return;
  }
  if (!source.IsStructure()) {
    result.Fail(Format(Msg::kNotAStructure, name, type->name));
    return;
  }
  auto* base = static_cast<unsigned char*>(native);
  for (const BindingFieldInfo& field : type->fields) {
    if (!result.ok()) return;
    const BindingProperty& member = source.Member(field.name);
    if (!member.IsEmpty()) {
      field.converter->FromBinding(result, base + field.offset, member, field.name, field.type.type, registry,
                                   context);
    } else if ((field.flags & kFieldRequired) != 0) {
      result.Fail(Format(Msg::kMissingRequiredField, name, type->name, field.name));
    }
  }
}

void Quarn::ToBindingStruct(BindingResult& status, BindingProperty& out, const void* native,
                            const BindingTypeInfo* type, const BindingRegistry& registry) {
  if (!status.ok()) return;
  if (type == nullptr) {
    status.Fail(Msg::kUnregisteredNative);
    return;
  }
  out.MakeStructure();
  const auto* base = static_cast<const unsigned char*>(native);
  for (const BindingFieldInfo& field : type->fields) {
    // Built in place rather than in a separate result and moved in: the
    // outcome is the same and nested values are not copied level by level.
    BindingProperty& slot = out.Member(field.name);
    slot.Clear();
    field.converter->ToBinding(status, slot, base + field.offset, field.type.type, registry);
    if (!status.ok()) return;  // `out` may have gone with the failed value
    if ((field.flags & kFieldOmitWhenDefault) != 0 && IsDefaultValue(slot)) out.EraseMember(field.name);
  }
}

bool Quarn::detail::StartVector(BindingResult& result, const BindingProperty& source, std::string_view name) {
  if (!result.ok()) return false;
  if (source.IsCollection()) return true;
  result.Fail(Format(Msg::kVectorNotCollection, name));
  return false;
}

bool Quarn::detail::StartMap(BindingResult& result, const BindingProperty& source, std::string_view name) {
  if (!result.ok()) return false;
  if (source.IsStructure()) return true;
  result.Fail(Format(Msg::kMapNotStructure, name));
  return false;
}

void Quarn::detail::BlobFromBinding(BindingResult& result, const BindingProperty& source,
                                    std::string_view name, std::vector<uint8_t>& out) {
  out.clear();
  if (!result.ok()) return;
  switch (source.kind()) {
    case BindingPropertyKind::Empty:
      result.Fail(Format(Msg::kRequired, name));
      return;
    case BindingPropertyKind::Blob:
      out.assign(source.GetBlob().begin(), source.GetBlob().end());
      return;
    case BindingPropertyKind::String:
      if (!DecodeBase64(source.GetString(), out)) {
        out.clear();
        result.Fail(
            Format(Msg::kIncorrectFormat, source.GetString(), name, TypeKindName(BindingTypeKind::Blob)));
      }
      return;
    case BindingPropertyKind::Collection:
      out.reserve(source.size());
      for (const BindingProperty& element : source.Elements()) {
        out.push_back(static_cast<uint8_t>(
            ToUnsigned(result, element, name, 255, TypeKindName(BindingTypeKind::UInt8))));
        if (!result.ok()) return;
      }
      return;
    default:
      result.Fail(Format(Msg::kBlobInvalidType, name, KindName(source.kind())));
      return;
  }
}

void Quarn::detail::FailUnregisteredEnum(BindingResult& result, std::string_view name) {
  if (result.ok()) result.Fail(Format(Msg::kUnregisteredEnum, name));
}
