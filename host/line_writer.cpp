#include "host/line_writer.h"

kiv::host::LineWriter::LineWriter(std::FILE* out) : out_(out), thread_([this] { Run(); }) {}

kiv::host::LineWriter::~LineWriter() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void kiv::host::LineWriter::Append(std::string_view line) {
  bool was_empty;
  {
    std::lock_guard lock(mutex_);
    was_empty = pending_.empty();
    pending_.append(line);
    pending_.push_back('\n');
    ++appended_;
  }
  // A busy writer finds the line on its next round without a wake-up.
  if (was_empty) wake_.notify_one();
}

void kiv::host::LineWriter::Flush() {
  std::unique_lock lock(mutex_);
  const uint64_t target = appended_;
  wake_.notify_one();
  written_.wait(lock, [&] { return flushed_ >= target; });
}

void kiv::host::LineWriter::Run() {
  std::string batch;
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stopping_ || !pending_.empty(); });
    if (pending_.empty() && stopping_) return;
    batch.clear();
    batch.swap(pending_);
    const uint64_t lines = appended_;
    lock.unlock();
    std::fwrite(batch.data(), 1, batch.size(), out_);
    std::fflush(out_);
    lock.lock();
    flushed_ = lines;
    written_.notify_all();
  }
}
