#pragma once
// Work on an archive's members shared out among a few threads (this one among them), for the
// members of one archive are independent: encoding them, decoding them again. What comes out
// does not depend on how the work was shared.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <system_error>
#include <thread>
#include <vector>

namespace platform::archive {

inline constexpr unsigned kMaxArchiveThreads = 4;

// How many threads `items` independent pieces of work are worth: one per core, a few at most.
inline unsigned ArchiveThreads(std::size_t items) {
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  return static_cast<unsigned>(std::max<std::size_t>(1, std::min<std::size_t>({items, cores, kMaxArchiveThreads})));
}

// Runs `work(t)` for t = 0 .. threads - 1, t = 0 on this thread; all have returned when this
// does. A thread that cannot be started leaves its share to the others.
template <typename Work>
void RunOnThreads(unsigned threads, Work work) {
  std::vector<std::thread> started;
  for (unsigned t = 1; t < threads; ++t) {
    try {
      started.emplace_back(work, t);
    } catch (const std::system_error&) {
      break;
    }
  }
  work(0u);
  for (std::thread& thread : started) thread.join();
}

// Runs `work(i)` for every i below `count`, each i once, the threads taking the next one free.
template <typename Work>
void ForEachIndexShared(std::size_t count, Work work) {
  std::atomic<std::size_t> next{0};
  RunOnThreads(ArchiveThreads(count), [&](unsigned) {
    for (std::size_t i; (i = next.fetch_add(1)) < count;) work(i);
  });
}

}  // namespace platform::archive
