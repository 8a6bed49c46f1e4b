#include "threading/critical_section.h"

#include <cstdio>

#include "platform/thread.h"

namespace orvex {

void SfCriticalSection::Enter() {
  section_.lock();
  owner_.store(platform::CurrentThreadId(), std::memory_order_relaxed);
  count_.fetch_add(1, std::memory_order_relaxed);
}

void SfCriticalSection::Leave() {
  count_.fetch_sub(1, std::memory_order_relaxed);
  section_.unlock();
}

bool SfCriticalSection::ReleaseAll() {
  if (count() == 0) {
    // A windowed program has no standard error: the diagnostic is then lost.
    std::fputs("\nNot locked\n", stderr);
    std::fflush(stderr);
    return false;
  }
  if (owner() != platform::CurrentThreadId()) return false;
  while (count() > 0) Leave();
  return true;
}

}  // namespace orvex
