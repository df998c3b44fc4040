// detail::HandlerAdapter: wraps a native callable as a BindingHandler. The
// callable's parameter types give the arguments' binding types; its result
// type Maybe<T> gives the function's result type.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "api/binding_function.h"
#include "binding/binding_registry.h"
#include "binding/maybe_type.h"
#include "binding/native_conversion.h"
#include "binding/static_type.h"

namespace Quarn::detail {

// What registration needs beyond BindingHandler: the argument and result
// types of the callable.
class HandlerBase : public BindingHandler {
 public:
  // One entry per native parameter (the RequestContext& excluded).
  virtual void DescribeArguments(const BindingRegistry& registry,
                                 std::vector<BindingArgument>& arguments) const = 0;
  virtual BindingTypeRef ResultTypeRef(const BindingRegistry& registry) const = 0;
};

template <class T>
struct OptionalTraits {
  using Value = T;
  static constexpr bool kOptional = false;
};
template <class T>
struct OptionalTraits<std::optional<T>> {
  using Value = T;
  static constexpr bool kOptional = true;
};

template <class T>
struct MaybeTraits {
  static constexpr bool kIsMaybe = false;
  using Value = void;
};
template <class T>
struct MaybeTraits<MaybeType<Failure, T>> {
  static constexpr bool kIsMaybe = true;
  using Value = T;
};

template <class F>
struct CallableTraits : CallableTraits<decltype(&F::operator())> {};
template <class R, class... A>
struct CallableTraits<R (*)(A...)> {
  using Result = R;
  using Params = std::tuple<A...>;
};
template <class R, class... A>
struct CallableTraits<R(A...)> : CallableTraits<R (*)(A...)> {};
template <class C, class R, class... A>
struct CallableTraits<R (C::*)(A...)> : CallableTraits<R (*)(A...)> {};
template <class C, class R, class... A>
struct CallableTraits<R (C::*)(A...) const> : CallableTraits<R (*)(A...)> {};
template <class C, class R, class... A>
struct CallableTraits<R (C::*)(A...) noexcept> : CallableTraits<R (*)(A...)> {};
template <class C, class R, class... A>
struct CallableTraits<R (C::*)(A...) const noexcept> : CallableTraits<R (*)(A...)> {};
template <class R, class... A>
struct CallableTraits<R (*)(A...) noexcept> : CallableTraits<R (*)(A...)> {};

// The native parameter list without a leading RequestContext&.
template <class Tuple>
struct SplitContext {
  static constexpr bool kHasContext = false;
  using Native = Tuple;
};
template <class... Rest>
struct SplitContext<std::tuple<RequestContext&, Rest...>> {
  static constexpr bool kHasContext = true;
  using Native = std::tuple<Rest...>;
};

template <class T>
using Storage = std::remove_cvref_t<T>;

template <class Tuple>
struct StoredTuple;
template <class... A>
struct StoredTuple<std::tuple<A...>> {
  using Type = std::tuple<Storage<A>...>;
};

// Native parameter i converted from its binding value; an Empty value
// leaves an optional parameter empty.
template <class T>
void ArgumentFromBinding(BindingResult& result, const BindingProperty& value, std::string_view name, T& out,
                         const BindingRegistry& registry) {
  using Traits = OptionalTraits<T>;
  if constexpr (Traits::kOptional) {
    if (value.IsEmpty()) return;
    out.emplace();
    FromBindingValue(result, value, name, *out, registry);
  } else {
    FromBindingValue(result, value, name, out, registry);
  }
}

template <class F>
class HandlerAdapter final : public HandlerBase {
  using Traits = CallableTraits<F>;
  using Split = SplitContext<typename Traits::Params>;
  using Native = typename StoredTuple<typename Split::Native>::Type;
  using ResultTraits = MaybeTraits<std::remove_cvref_t<typename Traits::Result>>;
  using ResultValue = typename ResultTraits::Value;
  static constexpr size_t kCount = std::tuple_size_v<Native>;
  static_assert(ResultTraits::kIsMaybe, "a handler returns Quarn::Maybe<T> or Quarn::Maybe<void>");

  template <size_t I>
  using Param = Storage<std::tuple_element_t<I, Native>>;

 public:
  explicit HandlerAdapter(F callable) : callable_(std::move(callable)) {}

  void DescribeArguments(const BindingRegistry& registry,
                         std::vector<BindingArgument>& arguments) const override {
    arguments.resize(kCount);
    Describe(registry, arguments, std::make_index_sequence<kCount>());
  }

  BindingTypeRef ResultTypeRef(const BindingRegistry& registry) const override {
    if constexpr (std::is_void_v<ResultValue>) {
      return BindingTypeRef{};
    } else {
      return TypeRefOf<ResultValue>(registry);
    }
  }

  const StaticType& ResultType() const override { return StaticTypeOf<ResultValue>(); }

  void AssignText(size_t index, BindingResult& result, BindingProperty& slot, std::string_view text,
                  std::string_view name, const BindingRegistry& registry) const override {
    AssignAt(index, result, slot, text, name, registry, std::make_index_sequence<kCount>());
  }

  void Invoke(CallResult& call, std::span<BindingProperty> arguments, const BindingRegistry& registry,
              RequestContext& context) const override {
    if (!call.ok()) return;
    if (arguments.size() != kCount) {
      // Registration sizes the arguments from this handler; anything else
      // is a broken function record, never a reason to call the handler.
      const Failure failure = InternalError();
      call.Fail(failure.message());
      call.status = failure.code();
      return;
    }
    Native params;
    if (!Convert(call.value, arguments, params, registry, context, std::make_index_sequence<kCount>()))
      return;
    auto outcome = Call(context, params, std::make_index_sequence<kCount>());
    if (outcome.HasFailure()) {
      const Failure failure = outcome.TakeFailure();
      call.Fail(failure.message());
      call.status = failure.code();
      return;
    }
    if constexpr (!std::is_void_v<ResultValue>) {
      call.value.Reset();
      ToBindingValue(call.value, outcome.value(), registry);
    }
  }

 private:
  template <size_t... I>
  void Describe([[maybe_unused]] const BindingRegistry& registry,
                [[maybe_unused]] std::vector<BindingArgument>& arguments, std::index_sequence<I...>) const {
    ((arguments[I].type = TypeRefOf<typename OptionalTraits<Param<I>>::Value>(registry),
      arguments[I].optional = OptionalTraits<Param<I>>::kOptional),
     ...);
  }

  // Parses the text as the parameter's native type, then stores that value.
  template <size_t I>
  static void AssignOne(BindingResult& result, BindingProperty& slot, std::string_view text,
                        std::string_view name, const BindingRegistry& registry) {
    using Value = typename OptionalTraits<Param<I>>::Value;
    BindingProperty source;
    source.SetString(text);
    Value native{};
    FromBindingValue(result, source, name, native, registry);
    if (!result.ok()) return;
    BindingResult built;
    ToBindingValue(built, native, registry);
    if (!built.ok()) {
      result.Fail(built.ErrorMessage());
      return;
    }
    slot = std::move(built.value);
  }

  template <size_t... I>
  static void AssignAt([[maybe_unused]] size_t index, [[maybe_unused]] BindingResult& result,
                       [[maybe_unused]] BindingProperty& slot, [[maybe_unused]] std::string_view text,
                       [[maybe_unused]] std::string_view name,
                       [[maybe_unused]] const BindingRegistry& registry, std::index_sequence<I...>) {
    ((index == I ? AssignOne<I>(result, slot, text, name, registry) : void()), ...);
  }

  template <size_t... I>
  static bool Convert(BindingResult& result, [[maybe_unused]] std::span<BindingProperty> arguments,
                      [[maybe_unused]] Native& params, [[maybe_unused]] const BindingRegistry& registry,
                      [[maybe_unused]] const RequestContext& context, std::index_sequence<I...>) {
    // Stops at the first failure: later parameters are not converted.
    ((result.ok()
          ? ArgumentFromBinding(result, arguments[I], ArgumentName(context, I), std::get<I>(params), registry)
          : void()),
     ...);
    return result.ok();
  }

  static std::string_view ArgumentName(const RequestContext& context, size_t i) {
    if (context.function == nullptr || i >= context.function->arguments().size()) return {};
    return context.function->arguments()[i].name;
  }

  template <size_t... I>
  auto Call(RequestContext& context, [[maybe_unused]] Native& params, std::index_sequence<I...>) const {
    if constexpr (Split::kHasContext) {
      return std::invoke(callable_, context, std::move(std::get<I>(params))...);
    } else {
      (void)context;
      return std::invoke(callable_, std::move(std::get<I>(params))...);
    }
  }

  mutable F callable_;
};

}  // namespace Quarn::detail
