// ScratchPool: reusable scratch objects (builders, buffers) leased for the
// length of one call. A thread-local object per thread would keep one per
// thread that ever read a document; leasing keeps only as many as ran at
// once, and at most kKept of them after they return.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace Quarn::detail {

template <typename T>
class ScratchPool {
 public:
  static constexpr size_t kKept = 4;

  class Lease {
   public:
    explicit Lease(ScratchPool& pool) : pool_(pool), object_(pool.Take()) {}
    ~Lease() { pool_.Give(std::move(object_)); }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;

    T& operator*() const { return *object_; }
    T* operator->() const { return object_.get(); }

   private:
    ScratchPool& pool_;
    std::unique_ptr<T> object_;
  };

  // Objects waiting for the next lease.
  size_t kept() const {
    std::lock_guard lock(mutex_);
    return free_.size();
  }

 private:
  std::unique_ptr<T> Take() {
    {
      std::lock_guard lock(mutex_);
      if (!free_.empty()) {
        std::unique_ptr<T> object = std::move(free_.back());
        free_.pop_back();
        return object;
      }
    }
    return std::make_unique<T>();
  }

  void Give(std::unique_ptr<T> object) {
    std::lock_guard lock(mutex_);
    if (free_.size() < kKept) free_.push_back(std::move(object));
  }

  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<T>> free_;
};

}  // namespace Quarn::detail
