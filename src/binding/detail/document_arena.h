// DocumentArena: the memory of one binding document.
//
// Small blocks are carved from chunks that grow from 1 KiB to 64 KiB; a
// freed small block goes to the free list of its size class and serves the
// next request of that class, so a tree edited for a long time reuses its
// space. Blocks above 4 KiB are allocated one by one and linked, so they
// can be freed at once too. Destroying the arena frees everything without
// looking at what the blocks held.
//
// Internal to the binding layer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Quarn::detail {

class DocumentArena {
 public:
  DocumentArena() noexcept = default;
  ~DocumentArena();
  DocumentArena(const DocumentArena&) = delete;
  DocumentArena& operator=(const DocumentArena&) = delete;

  // 8-byte aligned, uninitialised. Throws std::bad_alloc.
  void* Allocate(size_t bytes);
  // `bytes` is the size given to Allocate. Null is ignored.
  void Free(void* block, size_t bytes) noexcept;
  // Frees every block; the arena is as new.
  void Release() noexcept;

  static constexpr size_t kLargeBlock = 4096;

 private:
  struct Chunk {
    Chunk* next;
    size_t size;  // bytes after this header
  };
  struct Large {
    Large* prev;
    Large* next;
  };
  static constexpr size_t kClassCount = 64;
  static size_t ClassOf(size_t bytes);
  static size_t ClassSize(size_t size_class);
  void* AllocateLarge(size_t bytes);
  void* AllocateChunk(size_t bytes);

  Chunk* chunks_ = nullptr;
  char* cursor_ = nullptr;
  char* limit_ = nullptr;
  Large* large_ = nullptr;
  size_t next_chunk_ = 1024;
  void* free_[kClassCount] = {};
};

}  // namespace Quarn::detail
