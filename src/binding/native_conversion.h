// Native conversion: native values to and from binding values.
//
//   ToBindingValue(result, native, registry)         native -> result.value
//   FromBindingValue(result, value, name, native, registry)
//   TypeRefOf<T>(registry)                          describes T
//
// Supported native types: bool, every integer width, float, double,
// std::string, Quarn::BindingProperty ("object"), std::vector<uint8_t>
// ("blob"), std::vector<X>, std::map / std::unordered_map<std::string, X>,
// std::optional<X> (Empty <-> nullopt), registered enumerations and
// registered structures (looked up by StaticTypeOf<T>()).
//
// Structures and enumerations are registered with member pointers:
//
//   registry.Structure<PageDto>("PageDto")
//       .Field("id", &PageDto::id)                       // converter from the member's type
//       .Field("name", &PageDto::name, "Page name", kFieldRequired);
//   registry.Enumeration<Kind>("Kind").Value("summoner-icon", Kind::kSummonerIcon);
//
// Nested structures and enumerations should be registered before the types
// that use them (their BindingTypeInfo is resolved at registration; a type
// registered later is looked up at conversion time instead).
//
// Every rule does nothing once the result has failed; the first failure
// wins and its message follows binding/conversion_messages.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "binding/binding_property.h"
#include "binding/binding_registry.h"
#include "binding/numeric_conversion.h"
#include "binding/static_type.h"

namespace Quarn {

// Assigns the native structure at `native` from `source`, field by field in
// registration order. `type` null means unregistered (fails). Members that
// match no field are ignored; missing optional fields keep their value.
void FromBindingStruct(BindingResult& result, void* native, const BindingProperty& source,
                       std::string_view name, const BindingTypeInfo* type, const BindingRegistry& registry,
                       void* context = nullptr);

// Builds the Structure of the native structure at `native` into `out`
// (which may lie inside status.value; not used after a failure).
void ToBindingStruct(BindingResult& status, BindingProperty& out, const void* native,
                     const BindingTypeInfo* type, const BindingRegistry& registry);
// The same into result.value.
inline void ToBindingStruct(BindingResult& result, const void* native, const BindingTypeInfo* type,
                            const BindingRegistry& registry) {
  ToBindingStruct(result, result.value, native, type, registry);
}

// The omit-when-default test: Empty; Bool false; Signed/Unsigned 0; Float
// exactly 0.0; String, Blob, Collection, Structure of size 0; Enum value 0.
bool IsDefaultValue(const BindingProperty& value);

namespace detail {

// Shared, non-template parts of the rules (native_conversion.cpp).
bool StartVector(BindingResult& result, const BindingProperty& source, std::string_view name);
bool StartMap(BindingResult& result, const BindingProperty& source, std::string_view name);
void BlobFromBinding(BindingResult& result, const BindingProperty& source, std::string_view name,
                     std::vector<uint8_t>& out);
void FailUnregisteredEnum(BindingResult& result, std::string_view name);

template <class T>
struct IsVectorOf : std::false_type {};
template <class X, class A>
struct IsVectorOf<std::vector<X, A>> : std::true_type {};
template <class T>
struct IsTextMap : std::false_type {};
template <class X, class C, class A>
struct IsTextMap<std::map<std::string, X, C, A>> : std::true_type {};
template <class X, class H, class E, class A>
struct IsTextMap<std::unordered_map<std::string, X, H, E, A>> : std::true_type {};
template <class T>
struct IsOptional : std::false_type {};
template <class X>
struct IsOptional<std::optional<X>> : std::true_type {};

template <class T>
concept Integer = std::is_integral_v<T> && !std::is_same_v<T, bool>;
template <class T>
concept RegisteredStruct =
    std::is_class_v<T> && !std::is_same_v<T, std::string> && !std::is_same_v<T, BindingProperty> &&
    !IsVectorOf<T>::value && !IsTextMap<T>::value && !IsOptional<T>::value;

// One codec per native type:
//   kKind; From(result, source, name, out, registry, hint);
//   To(status, out, value, registry, hint); Ref(registry); Info(registry).
// `hint` is the BindingTypeInfo a registered field carries for the struct
// or enum at the bottom of the type (may be null: then it is looked up).
template <class T>
struct Codec;

template <>
struct Codec<bool> {
  static constexpr BindingTypeKind kKind = BindingTypeKind::Bool;
  static void From(BindingResult& result, const BindingProperty& source, std::string_view name, bool& out,
                   const BindingRegistry&, const BindingTypeInfo*) {
    out = ToBool(result, source, name);
  }
  static void To(BindingResult& status, BindingProperty& out, bool value, const BindingRegistry&,
                 const BindingTypeInfo*) {
    if (status.ok()) out.SetBool(value);
  }
  static const BindingTypeInfo* Info(const BindingRegistry&) { return nullptr; }
};

template <Integer T>
struct Codec<T> {
  static constexpr BindingTypeKind kKind =
      sizeof(T) == 1   ? (std::is_signed_v<T> ? BindingTypeKind::Int8 : BindingTypeKind::UInt8)
      : sizeof(T) == 2 ? (std::is_signed_v<T> ? BindingTypeKind::Int16 : BindingTypeKind::UInt16)
      : sizeof(T) == 4 ? (std::is_signed_v<T> ? BindingTypeKind::Int32 : BindingTypeKind::UInt32)
                       : (std::is_signed_v<T> ? BindingTypeKind::Int64 : BindingTypeKind::UInt64);
  static void From(BindingResult& result, const BindingProperty& source, std::string_view name, T& out,
                   const BindingRegistry&, const BindingTypeInfo*) {
    if constexpr (std::is_signed_v<T>) {
      out = static_cast<T>(ToSigned(result, source, name, std::numeric_limits<T>::min(),
                                    std::numeric_limits<T>::max(), TypeKindName(kKind)));
    } else {
      out = static_cast<T>(
          ToUnsigned(result, source, name, std::numeric_limits<T>::max(), TypeKindName(kKind)));
    }
  }
  static void To(BindingResult& status, BindingProperty& out, T value, const BindingRegistry&,
                 const BindingTypeInfo*) {
    if (!status.ok()) return;
    if constexpr (std::is_signed_v<T>) {
      out.SetSigned(value);
    } else {
      out.SetUnsigned(value);
    }
  }
  static const BindingTypeInfo* Info(const BindingRegistry&) { return nullptr; }
};

template <class T>
requires std::is_floating_point_v<T>
struct Codec<T> {
  static constexpr BindingTypeKind kKind = sizeof(T) == 4 ? BindingTypeKind::Float : BindingTypeKind::Double;
  static void From(BindingResult& result, const BindingProperty& source, std::string_view name, T& out,
                   const BindingRegistry&, const BindingTypeInfo*) {
    out = static_cast<T>(ToDouble(result, source, name, static_cast<double>(std::numeric_limits<T>::lowest()),
                                  static_cast<double>(std::numeric_limits<T>::max()), TypeKindName(kKind)));
  }
  static void To(BindingResult& status, BindingProperty& out, T value, const BindingRegistry&,
                 const BindingTypeInfo*) {
    if (status.ok()) out.SetDouble(value);
  }
  static const BindingTypeInfo* Info(const BindingRegistry&) { return nullptr; }
};

template <>
struct Codec<std::string> {
  static constexpr BindingTypeKind kKind = BindingTypeKind::String;
  static void From(BindingResult& result, const BindingProperty& source, std::string_view name,
                   std::string& out, const BindingRegistry& registry, const BindingTypeInfo*) {
    out = ToText(result, source, name, &registry);
  }
  static void To(BindingResult& status, BindingProperty& out, const std::string& value,
                 const BindingRegistry&, const BindingTypeInfo*) {
    if (status.ok()) out.SetString(value);
  }
  static const BindingTypeInfo* Info(const BindingRegistry&) { return nullptr; }
};

template <>
struct Codec<BindingProperty> {
  static constexpr BindingTypeKind kKind = BindingTypeKind::Object;
  static void From(BindingResult& result, const BindingProperty& source, std::string_view,
                   BindingProperty& out, const BindingRegistry&, const BindingTypeInfo*) {
    if (result.ok()) out = source;
  }
  static void To(BindingResult& status, BindingProperty& out, const BindingProperty& value,
                 const BindingRegistry&, const BindingTypeInfo*) {
    if (status.ok()) out = value;
  }
  static const BindingTypeInfo* Info(const BindingRegistry&) { return nullptr; }
};

template <class E>
requires std::is_enum_v<E>
struct Codec<E> {
  static constexpr BindingTypeKind kKind = BindingTypeKind::Enum;
  static void From(BindingResult& result, const BindingProperty& source, std::string_view name, E& out,
                   const BindingRegistry& registry, const BindingTypeInfo* hint) {
    const BindingTypeInfo* info = hint != nullptr ? hint : Info(registry);
    if (info == nullptr) {
      FailUnregisteredEnum(result, name);
      out = E{};
      return;
    }
    out = static_cast<E>(ToEnum(result, source, name, *info));
  }
  static void To(BindingResult& status, BindingProperty& out, E value, const BindingRegistry&,
                 const BindingTypeInfo*) {
    if (status.ok()) out.SetEnum(static_cast<int32_t>(value), StaticTypeOf<E>());
  }
  static const BindingTypeInfo* Info(const BindingRegistry& registry) {
    return registry.FindById(StaticTypeOf<E>());
  }
};

template <RegisteredStruct T>
struct Codec<T> {
  static constexpr BindingTypeKind kKind = BindingTypeKind::Struct;
  static void From(BindingResult& result, const BindingProperty& source, std::string_view name, T& out,
                   const BindingRegistry& registry, const BindingTypeInfo* hint) {
    FromBindingStruct(result, &out, source, name, hint != nullptr ? hint : Info(registry), registry);
  }
  static void To(BindingResult& status, BindingProperty& out, const T& value, const BindingRegistry& registry,
                 const BindingTypeInfo* hint) {
    ToBindingStruct(status, out, &value, hint != nullptr ? hint : Info(registry), registry);
  }
  static const BindingTypeInfo* Info(const BindingRegistry& registry) {
    return registry.FindById(StaticTypeOf<T>());
  }
};

template <class A>
struct Codec<std::vector<uint8_t, A>> {
  static constexpr BindingTypeKind kKind = BindingTypeKind::Blob;
  static void From(BindingResult& result, const BindingProperty& source, std::string_view name,
                   std::vector<uint8_t, A>& out, const BindingRegistry&, const BindingTypeInfo*) {
    std::vector<uint8_t> bytes;
    BlobFromBinding(result, source, name, bytes);
    out.assign(bytes.begin(), bytes.end());
  }
  static void To(BindingResult& status, BindingProperty& out, const std::vector<uint8_t, A>& value,
                 const BindingRegistry&, const BindingTypeInfo*) {
    if (status.ok()) out.SetBlob(std::span<const uint8_t>(value.data(), value.size()));
  }
  static const BindingTypeInfo* Info(const BindingRegistry&) { return nullptr; }
};

template <class X, class A>
requires(!std::is_same_v<X, uint8_t>) struct Codec<std::vector<X, A>> {
  static constexpr BindingTypeKind kKind = BindingTypeKind::Vector;
  static void From(BindingResult& result, const BindingProperty& source, std::string_view name,
                   std::vector<X, A>& out, const BindingRegistry& registry, const BindingTypeInfo* hint) {
    out.clear();
    if (!StartVector(result, source, name)) return;
    const auto elements = source.Elements();
    out.resize(elements.size());
    for (size_t i = 0; i < elements.size() && result.ok(); ++i) {
      if (elements[i].IsEmpty()) continue;  // the element keeps its default
      if constexpr (std::is_same_v<X, bool>) {
        bool flag = false;
        Codec<bool>::From(result, elements[i], name, flag, registry, hint);
        out[i] = flag;
      } else {
        Codec<X>::From(result, elements[i], name, out[i], registry, hint);
      }
    }
  }
  static void To(BindingResult& status, BindingProperty& out, const std::vector<X, A>& value,
                 const BindingRegistry& registry, const BindingTypeInfo* hint) {
    if (!status.ok()) return;
    out.MakeCollection();
    out.Reserve(out.size() + value.size());
    for (const auto& element : value) {
      Codec<X>::To(status, out.Append(), element, registry, hint);
      if (!status.ok()) return;  // `out` may be gone with the failed value
    }
  }
  static const BindingTypeInfo* Info(const BindingRegistry&) { return nullptr; }
};

template <class M>
requires IsTextMap<M>::value struct Codec<M> {
  using Element = typename M::mapped_type;
  static constexpr BindingTypeKind kKind = BindingTypeKind::Map;
  static void From(BindingResult& result, const BindingProperty& source, std::string_view name, M& out,
                   const BindingRegistry& registry, const BindingTypeInfo* hint) {
    out.clear();
    if (!StartMap(result, source, name)) return;
    if constexpr (requires { out.reserve(size_t{}); }) out.reserve(source.size());
    for (const BindingMember& member : source.Members()) {
      if (member.value().IsEmpty()) continue;
      Element element{};
      Codec<Element>::From(result, member.value(), name, element, registry, hint);
      out.insert_or_assign(std::string(member.name()), std::move(element));
      if (!result.ok()) return;
    }
  }
  static void To(BindingResult& status, BindingProperty& out, const M& value, const BindingRegistry& registry,
                 const BindingTypeInfo* hint) {
    if (!status.ok()) return;
    out.MakeStructure();
    for (const auto& [key, element] : value) {
      Codec<Element>::To(status, out.Member(key), element, registry, hint);
      if (!status.ok()) return;
    }
  }
  static const BindingTypeInfo* Info(const BindingRegistry&) { return nullptr; }
};

template <class X>
struct Codec<std::optional<X>> {
  static constexpr BindingTypeKind kKind = Codec<X>::kKind;
  static void From(BindingResult& result, const BindingProperty& source, std::string_view name,
                   std::optional<X>& out, const BindingRegistry& registry, const BindingTypeInfo* hint) {
    if (!result.ok()) return;
    if (source.IsEmpty()) {
      out.reset();
      return;
    }
    Codec<X>::From(result, source, name, out.emplace(), registry, hint);
  }
  static void To(BindingResult& status, BindingProperty& out, const std::optional<X>& value,
                 const BindingRegistry& registry, const BindingTypeInfo* hint) {
    if (!status.ok()) return;
    if (!value.has_value()) {
      out.Clear();
      return;
    }
    Codec<X>::To(status, out, *value, registry, hint);
  }
  static const BindingTypeInfo* Info(const BindingRegistry& registry) { return Codec<X>::Info(registry); }
};

template <class T>
BindingTypeRef RefOf(const BindingRegistry& registry) {
  using C = Codec<T>;
  if constexpr (IsOptional<T>::value) {
    return RefOf<typename T::value_type>(registry);
  } else if constexpr (C::kKind == BindingTypeKind::Vector) {
    using X = typename T::value_type;
    return {C::kKind, Codec<X>::kKind, Codec<X>::Info(registry)};
  } else if constexpr (C::kKind == BindingTypeKind::Map) {
    using X = typename T::mapped_type;
    return {C::kKind, Codec<X>::kKind, Codec<X>::Info(registry)};
  } else {
    return {C::kKind, BindingTypeKind::None, C::Info(registry)};
  }
}

// The converter a typed field owns.
template <class F>
class FieldConverter final : public BindingFieldConverter {
 public:
  void FromBinding(BindingResult& result, void* field, const BindingProperty& source, std::string_view name,
                   const BindingTypeInfo* element_type, const BindingRegistry& registry,
                   void*) const override {
    Codec<F>::From(result, source, name, *static_cast<F*>(field), registry, element_type);
  }
  void ToBinding(BindingResult& status, BindingProperty& out, const void* field,
                 const BindingTypeInfo* element_type, const BindingRegistry& registry) const override {
    Codec<F>::To(status, out, *static_cast<const F*>(field), registry, element_type);
  }
};

// Byte offset of `member` in T, computed without a T object.
template <class T, class F>
size_t MemberOffset(F T::*member) {
  alignas(T) static const unsigned char storage[sizeof(T)] = {};
  const T* object = reinterpret_cast<const T*>(storage);
  return static_cast<size_t>(reinterpret_cast<const unsigned char*>(&(object->*member)) - storage);
}

}  // namespace detail

// Converts `value` into result.value. Does nothing when result has failed.
template <class T>
void ToBindingValue(BindingResult& result, const T& value, const BindingRegistry& registry) {
  detail::Codec<std::remove_cv_t<T>>::To(result, result.value, value, registry, nullptr);
}

// Assigns `out` from `source`, reporting failures into `result` under `name`.
template <class T>
void FromBindingValue(BindingResult& result, const BindingProperty& source, std::string_view name, T& out,
                      const BindingRegistry& registry) {
  detail::Codec<std::remove_cv_t<T>>::From(result, source, name, out, registry, nullptr);
}

// Describes T (std::optional<X> is described as X).
template <class T>
BindingTypeRef TypeRefOf(const BindingRegistry& registry) {
  return detail::RefOf<std::remove_cvref_t<T>>(registry);
}

// Typed registration of a structure; every call is a no-op when a type of
// that name was registered before.
template <class T>
class StructureBuilder {
 public:
  explicit StructureBuilder(BindingTypeBuilder builder) : builder_(builder) {}

  // Adds a field; its converter and type come from the member's type.
  // `flags`: kFieldOmitWhenDefault, kFieldRequired.
  template <class F>
  StructureBuilder& Field(std::string_view name, F T::*member, std::string_view description = {},
                          uint8_t flags = 0) {
    if (builder_.already_registered()) return *this;
    builder_.AddField(name, description, detail::MemberOffset(member), StaticTypeOf<F>(),
                      TypeRefOf<F>(builder_.registry()), BindingTypeRef{}, flags,
                      std::make_unique<detail::FieldConverter<F>>());
    return *this;
  }
  template <class F>
  StructureBuilder& Field(std::string_view name, F T::*member, uint8_t flags) {
    return Field(name, member, std::string_view(), flags);
  }
  StructureBuilder& Description(std::string_view text) {
    builder_.SetDescription(text);
    return *this;
  }
  StructureBuilder& Tag(std::string_view tag) {
    builder_.AddTag(tag);
    return *this;
  }
  StructureBuilder& Tags(std::initializer_list<std::string_view> tags) {
    builder_.AddTags(tags);
    return *this;
  }

  const BindingTypeInfo* type() const { return builder_.type(); }
  BindingTypeBuilder& builder() { return builder_; }

 private:
  BindingTypeBuilder builder_;
};

// Typed registration of an enumeration.
template <class E>
class EnumerationBuilder {
 public:
  explicit EnumerationBuilder(BindingTypeBuilder builder) : builder_(builder) {}

  EnumerationBuilder& Value(std::string_view name, E value, std::string_view description = {}) {
    builder_.AddEnumerator(name, static_cast<int32_t>(value), description);
    return *this;
  }
  EnumerationBuilder& Description(std::string_view text) {
    builder_.SetDescription(text);
    return *this;
  }
  EnumerationBuilder& Tag(std::string_view tag) {
    builder_.AddTag(tag);
    return *this;
  }

  const BindingTypeInfo* type() const { return builder_.type(); }
  BindingTypeBuilder& builder() { return builder_; }

 private:
  BindingTypeBuilder builder_;
};

template <class T>
StructureBuilder<T> BindingRegistry::Structure(std::string_view name) {
  static_assert(std::is_class_v<T>, "Structure<T> registers a class type");
  return StructureBuilder<T>(RegisterType(sizeof(T), name, StaticTypeOf<T>(), /*is_enum=*/false));
}

template <class E>
EnumerationBuilder<E> BindingRegistry::Enumeration(std::string_view name) {
  static_assert(std::is_enum_v<E>, "Enumeration<E> registers an enum type");
  return EnumerationBuilder<E>(RegisterType(sizeof(E), name, StaticTypeOf<E>(), /*is_enum=*/true));
}

}  // namespace Quarn
