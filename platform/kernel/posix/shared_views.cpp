#include "shared_views.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>

namespace orvex::platform::posix {
namespace {

// One recorded view. `base` publishes the entry: 0 is a free entry, kClaimed one being
// filled or emptied; the handler only looks at entries with a real base.
struct ViewEntry {
  std::atomic<uintptr_t> base{0};
  std::atomic<size_t> length{0};
  std::atomic<bool> lost{false};
};

constexpr uintptr_t kClaimed = 1;  // never a page address
// Far above what a bus holds (30 links with up to 32 segments and a few mutex and
// event words each); the handler scans it, so it stays a plain array.
constexpr size_t kEntries = 8192;

ViewEntry g_entries[kEntries];
// Views lost and not yet unmapped: SharedViewLost scans only while this is above 0.
std::atomic<int> g_lost_views{0};
struct sigaction g_previous;

static_assert(std::atomic<uintptr_t>::is_always_lock_free);
static_assert(std::atomic<size_t>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

size_t PageRounded(size_t length) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  return (length + page - 1) / page * page;
}

// Only async-signal-safe work here: atomic loads and stores, mmap, sigaction, raise.
void OnSigbus(int signal_number, siginfo_t* info, void* context) {
  const int saved_errno = errno;
  const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
  for (ViewEntry& entry : g_entries) {
    const uintptr_t base = entry.base.load(std::memory_order_acquire);
    if (base <= kClaimed || address < base) continue;
    const size_t length = entry.length.load(std::memory_order_acquire);
    if (address - base >= length) continue;
    // The access that faulted is retried on return and then finds memory.
    void* zero = mmap(reinterpret_cast<void*>(base), length, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
    if (zero == MAP_FAILED) break;
    if (!entry.lost.exchange(true, std::memory_order_acq_rel)) {
      g_lost_views.fetch_add(1, std::memory_order_acq_rel);
    }
    errno = saved_errno;
    return;
  }
  errno = saved_errno;
  if ((g_previous.sa_flags & SA_SIGINFO) != 0 && g_previous.sa_sigaction != nullptr) {
    g_previous.sa_sigaction(signal_number, info, context);
    return;
  }
  if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
    g_previous.sa_handler(signal_number);
    return;
  }
  // Not ours and nobody else's: end the process as the default action would. The
  // signal is blocked in here, so it arrives as soon as the handler returns.
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(SIGBUS, &fallback, nullptr);
  raise(SIGBUS);
}

void InstallHandler() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_sigaction = OnSigbus;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &g_previous);
  });
}

void Record(void* view, size_t length) {
  for (ViewEntry& entry : g_entries) {
    uintptr_t expected = 0;
    if (!entry.base.compare_exchange_strong(expected, kClaimed, std::memory_order_acq_rel)) {
      continue;
    }
    entry.lost.store(false, std::memory_order_relaxed);
    entry.length.store(PageRounded(length), std::memory_order_relaxed);
    entry.base.store(reinterpret_cast<uintptr_t>(view), std::memory_order_release);
    return;
  }
}

ViewEntry* Find(const void* view) {
  const auto base = reinterpret_cast<uintptr_t>(view);
  for (ViewEntry& entry : g_entries) {
    if (entry.base.load(std::memory_order_acquire) == base) return &entry;
  }
  return nullptr;
}

}  // namespace

void* MapSharedView(int fd, size_t length) {
  InstallHandler();
  void* view = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (view == MAP_FAILED) return nullptr;
  Record(view, length);
  return view;
}

void UnmapSharedView(void* base, size_t length) {
  if (base == nullptr) return;
  // Forget first: a fault after the unmap must not find the entry and map over
  // whatever lands at that address next.
  if (ViewEntry* entry = Find(base)) {
    entry->base.store(kClaimed, std::memory_order_release);
    if (entry->lost.exchange(false, std::memory_order_acq_rel)) {
      g_lost_views.fetch_sub(1, std::memory_order_acq_rel);
    }
    entry->length.store(0, std::memory_order_relaxed);
    entry->base.store(0, std::memory_order_release);
  }
  munmap(base, length);
}

bool SharedViewLost(const void* base) {
  if (base == nullptr || g_lost_views.load(std::memory_order_acquire) == 0) return false;
  const ViewEntry* entry = Find(base);
  return entry != nullptr && entry->lost.load(std::memory_order_acquire);
}

}  // namespace orvex::platform::posix
