#include "binding/detail/document_arena.h"

#include <algorithm>
#include <iterator>
#include <new>

namespace {

constexpr size_t kMaxChunk = size_t{64} << 10;

size_t RoundUp8(size_t bytes) { return (bytes + 7) & ~size_t{7}; }

}  // namespace

Quarn::detail::DocumentArena::~DocumentArena() { Release(); }

// Classes 0-31 step by 8 bytes up to 256; classes 32-61 by 128 up to 4096.
size_t Quarn::detail::DocumentArena::ClassOf(size_t bytes) {
  const size_t rounded = RoundUp8(bytes == 0 ? 1 : bytes);
  if (rounded <= 256) return rounded / 8 - 1;
  return 31 + (rounded - 256 + 127) / 128;
}

size_t Quarn::detail::DocumentArena::ClassSize(size_t size_class) {
  return size_class < 32 ? (size_class + 1) * 8 : 256 + (size_class - 31) * 128;
}

void* Quarn::detail::DocumentArena::Allocate(size_t bytes) {
  if (bytes > kLargeBlock) return AllocateLarge(bytes);
  const size_t size_class = ClassOf(bytes);
  if (void* block = free_[size_class]) {
    free_[size_class] = *static_cast<void**>(block);
    return block;
  }
  const size_t size = ClassSize(size_class);
  if (static_cast<size_t>(limit_ - cursor_) < size) return AllocateChunk(size);
  void* block = cursor_;
  cursor_ += size;
  return block;
}

void* Quarn::detail::DocumentArena::AllocateChunk(size_t bytes) {
  const size_t size = std::max(next_chunk_, bytes);
  auto* chunk = static_cast<Chunk*>(::operator new(sizeof(Chunk) + size));
  chunk->next = chunks_;
  chunk->size = size;
  chunks_ = chunk;
  next_chunk_ = std::min(next_chunk_ * 2, kMaxChunk);
  char* base = reinterpret_cast<char*>(chunk + 1);
  cursor_ = base + bytes;
  limit_ = base + size;
  return base;
}

void* Quarn::detail::DocumentArena::AllocateLarge(size_t bytes) {
  auto* block = static_cast<Large*>(::operator new(sizeof(Large) + bytes));
  block->prev = nullptr;
  block->next = large_;
  if (large_ != nullptr) large_->prev = block;
  large_ = block;
  return block + 1;
}

void Quarn::detail::DocumentArena::Free(void* block, size_t bytes) noexcept {
  if (block == nullptr) return;
  if (bytes > kLargeBlock) {
    Large* large = static_cast<Large*>(block) - 1;
    if (large->prev != nullptr) {
      large->prev->next = large->next;
    } else {
      large_ = large->next;
    }
    if (large->next != nullptr) large->next->prev = large->prev;
    ::operator delete(large);
    return;
  }
  const size_t size_class = ClassOf(bytes);
  *static_cast<void**>(block) = free_[size_class];
  free_[size_class] = block;
}

void Quarn::detail::DocumentArena::Release() noexcept {
  while (chunks_ != nullptr) {
    Chunk* next = chunks_->next;
    ::operator delete(chunks_);
    chunks_ = next;
  }
  while (large_ != nullptr) {
    Large* next = large_->next;
    ::operator delete(large_);
    large_ = next;
  }
  cursor_ = limit_ = nullptr;
  next_chunk_ = 1024;
  std::fill(std::begin(free_), std::end(free_), nullptr);
}
