// Replaces the global allocation functions inside the plug-in library so
// that every allocation and free the library makes is counted by the module
// allocator.
//
// The replacements are local to the library (the version script hides
// them) and do not allocate themselves: they forward to the process's own
// allocation functions, found by name. Memory crosses between this library
// and the C++ runtime library in both directions (a std::string built by
// the runtime library's stream or error-category code is freed here), so
// both sides must keep using one allocator; a header prefix of our own
// would turn every such crossing into a free of an invalid pointer.
// The size counted is the allocator's usable size of the block, taken on
// allocation and on free alike, so the counters always balance.
#include <dlfcn.h>
#include <malloc.h>

#include <cstddef>
#include <cstdlib>
#include <new>

#include "runtime/module_allocator.h"

namespace {

#if __SIZEOF_SIZE_T__ == 8
#define KIV_SIZE_T "m"
#else
#define KIV_SIZE_T "j"
#endif

using NewFn = void* (*)(std::size_t);
using AlignedNewFn = void* (*)(std::size_t, std::align_val_t);
using DeleteFn = void (*)(void*);
using AlignedDeleteFn = void (*)(void*, std::align_val_t);

// Fallbacks for a process without a C++ runtime's allocation functions in
// its global scope (not expected: this library links that runtime).
void* MallocNew(std::size_t size) {
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* MallocAlignedNew(std::size_t size, std::align_val_t alignment) {
  void* p = nullptr;
  const std::size_t align = static_cast<std::size_t>(alignment);
  if (posix_memalign(&p, align < sizeof(void*) ? sizeof(void*) : align, size == 0 ? 1 : size) != 0) {
    throw std::bad_alloc();
  }
  return p;
}
void MallocDelete(void* p) { std::free(p); }
void MallocAlignedDelete(void* p, std::align_val_t) { std::free(p); }

template <class Fn>
Fn Resolve(const char* symbol, Fn fallback) {
  // Our own definitions are not in the dynamic symbol table, so the global
  // scope yields the runtime library's (or a sanitizer's) functions.
  void* address = dlsym(RTLD_DEFAULT, symbol);
  return address != nullptr ? reinterpret_cast<Fn>(address) : fallback;
}

struct Targets {
  NewFn new_scalar;
  NewFn new_array;
  AlignedNewFn new_aligned_scalar;
  AlignedNewFn new_aligned_array;
  DeleteFn delete_scalar;
  DeleteFn delete_array;
  AlignedDeleteFn delete_aligned_scalar;
  AlignedDeleteFn delete_aligned_array;
};

const Targets& Forward() {
  static const Targets targets{
      Resolve<NewFn>("_Znw" KIV_SIZE_T, &MallocNew),
      Resolve<NewFn>("_Zna" KIV_SIZE_T, &MallocNew),
      Resolve<AlignedNewFn>("_Znw" KIV_SIZE_T "St11align_val_t", &MallocAlignedNew),
      Resolve<AlignedNewFn>("_Zna" KIV_SIZE_T "St11align_val_t", &MallocAlignedNew),
      Resolve<DeleteFn>("_ZdlPv", &MallocDelete),
      Resolve<DeleteFn>("_ZdaPv", &MallocDelete),
      Resolve<AlignedDeleteFn>("_ZdlPvSt11align_val_t", &MallocAlignedDelete),
      Resolve<AlignedDeleteFn>("_ZdaPvSt11align_val_t", &MallocAlignedDelete),
  };
  return targets;
}

void* Counted(void* p) {
  Quarn::ModuleAllocationCounters().OnAllocate(malloc_usable_size(p));
  return p;
}

bool CountFree(void* p) {
  if (p == nullptr) return false;
  Quarn::ModuleAllocationCounters().OnFree(malloc_usable_size(p));
  return true;
}

}  // namespace

void* operator new(std::size_t size) { return Counted(Forward().new_scalar(size)); }
void* operator new[](std::size_t size) { return Counted(Forward().new_array(size)); }
void* operator new(std::size_t size, std::align_val_t alignment) {
  return Counted(Forward().new_aligned_scalar(size, alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return Counted(Forward().new_aligned_array(size, alignment));
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return operator new(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return operator new[](size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  try {
    return operator new(size, alignment);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  try {
    return operator new[](size, alignment);
  } catch (...) {
    return nullptr;
  }
}

void operator delete(void* p) noexcept {
  if (CountFree(p)) Forward().delete_scalar(p);
}
void operator delete[](void* p) noexcept {
  if (CountFree(p)) Forward().delete_array(p);
}
void operator delete(void* p, std::align_val_t alignment) noexcept {
  if (CountFree(p)) Forward().delete_aligned_scalar(p, alignment);
}
void operator delete[](void* p, std::align_val_t alignment) noexcept {
  if (CountFree(p)) Forward().delete_aligned_array(p, alignment);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete[](p); }
void operator delete(void* p, std::size_t, std::align_val_t alignment) noexcept {
  operator delete(p, alignment);
}
void operator delete[](void* p, std::size_t, std::align_val_t alignment) noexcept {
  operator delete[](p, alignment);
}
void operator delete(void* p, const std::nothrow_t&) noexcept { operator delete(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { operator delete[](p); }
void operator delete(void* p, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  operator delete(p, alignment);
}
void operator delete[](void* p, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  operator delete[](p, alignment);
}
