#pragma once
// Splits rows [0, rows) into contiguous bands, one per core, and runs
// fn(first, last) on each band; returns when all are done. Small jobs run
// on the calling thread, where starting threads would cost more than it saves.
// An exception thrown in any band reaches the caller once all are done.

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

// Plain loops the compiler puts in vector lanes, built twice: for AVX2
// (twice the lanes) and for any x86-64, the machine picking one when the
// program starts. Integer and float steps alike give the same results in
// either (no step is fused).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define KARTO_WIDE_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define KARTO_WIDE_CLONES
#endif

namespace karto {

// The cores the machine offers (at least one), asked once.
inline unsigned Cores() {
  static const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  return cores;
}

// The first exception thrown by work run on several threads, thrown again
// on the calling thread once they have all finished: left on a thread of
// its own, an exception (memory running out, say) would end the program
// instead of reaching the caller, who can say so.
class TThreadErrors {
 public:
  template <class Work>
  void Run(Work&& work) noexcept {
    try {
      work();
    } catch (...) {
      std::lock_guard<std::mutex> lock(m_guard);
      if (!m_first) m_first = std::current_exception();
    }
  }
  void Rethrow() {
    if (m_first) std::rethrow_exception(m_first);
  }

 private:
  std::mutex m_guard;
  std::exception_ptr m_first;
};

template <class Fn>
void ParallelRows(int rows, long long workPerRow, Fn&& fn) {
  if (rows <= 0) return;
  const int cores = int(Cores());
  constexpr long long kMinWorkPerThread = 200000;
  const long long total = (long long)rows * std::max(1LL, workPerRow);
  const int bands = int(std::min<long long>({cores, rows, std::max(1LL, total / kMinWorkPerThread)}));
  if (bands <= 1) {
    fn(0, rows);
    return;
  }
  TThreadErrors errors;
  std::vector<std::thread> threads;
  threads.reserve(size_t(bands - 1));
  std::vector<std::pair<int, int>> unstarted;  // bands no thread could be had for
  const int per = (rows + bands - 1) / bands;
  for (int b = 1; b < bands; ++b) {
    const int first = b * per, last = std::min(rows, first + per);
    if (first >= last) continue;
    try {
      threads.emplace_back([&errors, &fn, first, last] { errors.Run([&] { fn(first, last); }); });
    } catch (...) {
      unstarted.emplace_back(first, last);
    }
  }
  errors.Run([&] {
    fn(0, std::min(rows, per));
    for (const auto& [first, last] : unstarted) fn(first, last);
  });
  for (std::thread& t : threads) t.join();
  errors.Rethrow();
}

// Runs fn(i) for every i in [0, count) on all cores, each core taking the
// next i as it finishes the last: for jobs of uneven size (strokes, filled
// shapes), which bands of equal count would share out unevenly. Give the
// larger jobs the smaller numbers. A single job, or a single core, runs on
// the calling thread. After a job throws, no core starts another.
template <class Fn>
void ParallelEach(size_t count, Fn&& fn) {
  const size_t workers = std::min(size_t(Cores()), count);
  if (workers <= 1) {
    for (size_t i = 0; i < count; ++i) fn(i);
    return;
  }
  std::atomic<size_t> next{0};
  TThreadErrors errors;
  const auto work = [&] {
    errors.Run([&] {
      try {
        for (size_t i = next++; i < count; i = next++) fn(i);
      } catch (...) {
        next = count;
        throw;
      }
    });
  };
  std::vector<std::thread> threads;
  threads.reserve(workers - 1);
  for (size_t t = 1; t < workers; ++t) {
    try {
      threads.emplace_back(work);
    } catch (...) {
      break;  // fewer cores at work; the calling thread takes what is left
    }
  }
  work();
  for (std::thread& t : threads) t.join();
  errors.Rethrow();
}

}  // namespace karto
