// Quarn::MaybeType<Failure, T>: either a T or a Failure. Every operation
// that can fail returns one; nothing throws across a component boundary.
//
// Access has a precondition: value() REQUIRES !HasFailure(), failure()
// REQUIRES HasFailure(); both are asserted in debug builds.
#pragma once

#include <cassert>
#include <future>
#include <new>
#include <type_traits>
#include <utility>

#include "binding/failure.h"

namespace Quarn {

template <class F, class T>
class [[nodiscard]] MaybeType {
 public:
  // Success costs nothing beyond T itself: the failure is only constructed
  // on the failure side.
  MaybeType() requires std::is_default_constructible_v<T> : failed_(false) { new (&value_) T(); }
  MaybeType(const T& value) : failed_(false) { new (&value_) T(value); }
  MaybeType(T&& value) : failed_(false) { new (&value_) T(std::move(value)); }
  MaybeType(const F& failure) : failed_(true) { new (&failure_) F(failure); }
  MaybeType(F&& failure) : failed_(true) { new (&failure_) F(std::move(failure)); }

  MaybeType(const MaybeType& other) : failed_(other.failed_) {
    if (failed_) new (&failure_) F(other.failure_);
    else new (&value_) T(other.value_);
  }
  MaybeType(MaybeType&& other) noexcept : failed_(other.failed_) {
    if (failed_) new (&failure_) F(std::move(other.failure_));
    else new (&value_) T(std::move(other.value_));
  }
  MaybeType& operator=(const MaybeType& other) {
    if (this != &other) {
      Destroy();
      failed_ = other.failed_;
      if (failed_) new (&failure_) F(other.failure_);
      else new (&value_) T(other.value_);
    }
    return *this;
  }
  MaybeType& operator=(MaybeType&& other) noexcept {
    if (this != &other) {
      Destroy();
      failed_ = other.failed_;
      if (failed_) new (&failure_) F(std::move(other.failure_));
      else new (&value_) T(std::move(other.value_));
    }
    return *this;
  }
  ~MaybeType() { Destroy(); }

  bool HasFailure() const { return failed_; }
  bool ok() const { return !failed_; }
  explicit operator bool() const { return !failed_; }

  // REQUIRES: ok().
  T& value() & { assert(!failed_); return value_; }
  const T& value() const& { assert(!failed_); return value_; }
  T&& value() && { assert(!failed_); return std::move(value_); }
  T TakeValue() { assert(!failed_); return std::move(value_); }
  T* operator->() { assert(!failed_); return &value_; }
  const T* operator->() const { assert(!failed_); return &value_; }
  T& operator*() & { assert(!failed_); return value_; }
  const T& operator*() const& { assert(!failed_); return value_; }

  // REQUIRES: HasFailure().
  const F& failure() const& { assert(failed_); return failure_; }
  F TakeFailure() { assert(failed_); return std::move(failure_); }
  // The failure's message, or "" on success.
  std::string_view FailureMessage() const {
    return failed_ ? std::string_view(failure_.message()) : std::string_view();
  }

 private:
  void Destroy() {
    if (failed_) failure_.~F();
    else value_.~T();
  }

  union {
    T value_;
    F failure_;
  };
  bool failed_;  // one byte: set when the object holds a failure
};

// T = void: the value side holds nothing.
template <class F>
class [[nodiscard]] MaybeType<F, void> {
 public:
  MaybeType() = default;
  MaybeType(const F& failure) : failure_(failure), failed_(true) {}
  MaybeType(F&& failure) : failure_(std::move(failure)), failed_(true) {}

  bool HasFailure() const { return failed_; }
  bool ok() const { return !failed_; }
  explicit operator bool() const { return !failed_; }
  void value() const { assert(!failed_); }
  const F& failure() const& { assert(failed_); return failure_; }
  F TakeFailure() { assert(failed_); return std::move(failure_); }
  std::string_view FailureMessage() const {
    return failed_ ? std::string_view(failure_.message()) : std::string_view();
  }

 private:
  F failure_;
  bool failed_ = false;
};

template <class T>
using Maybe = MaybeType<Failure, T>;

// A one-shot result delivered later (service-proxy answers); the promise is
// the producer's end. Dropping an unset promise breaks the future.
template <class T>
using Future = std::future<Maybe<T>>;
template <class T>
using Promise = std::promise<Maybe<T>>;

// A future that is already satisfied with `result`.
template <class T>
Future<T> ReadyFuture(Maybe<T> result) {
  Promise<T> promise;
  promise.set_value(std::move(result));
  return promise.get_future();
}

// For a call that provably cannot fail; the caller's comment says why.
template <class T>
T CantFail(Maybe<T> result) {
  assert(result.ok());
  return std::move(result).value();
}

}  // namespace Quarn

#define QUARN_CONCAT_INNER_(a, b) a##b
#define QUARN_CONCAT_(a, b) QUARN_CONCAT_INNER_(a, b)

// Returns the failure of `expr` (a MaybeType) from the enclosing function.
#define QUARN_RETURN_IF_FAILED(expr)                                      \
  do {                                                                    \
    auto quarn_result_ = (expr);                                          \
    if (quarn_result_.HasFailure()) return quarn_result_.TakeFailure();   \
  } while (0)

// Declares or assigns `lhs` from the value of `expr`, or returns its failure.
#define QUARN_ASSIGN_OR_RETURN(lhs, expr) \
  QUARN_ASSIGN_OR_RETURN_IMPL_(QUARN_CONCAT_(quarn_maybe_, __LINE__), lhs, expr)
#define QUARN_ASSIGN_OR_RETURN_IMPL_(tmp, lhs, expr)  \
  auto tmp = (expr);                                  \
  if (tmp.HasFailure()) return tmp.TakeFailure();     \
  lhs = std::move(tmp).value()
