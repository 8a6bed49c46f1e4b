#pragma once
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "platform/event.h"
#include "transport/sf_mutex.h"
#include "transport/sf_shared_memory.h"
#include "transport/smf_channel.h"

namespace orvex {

// Layout of the classic acceptor block (512 bytes): a client posts a request at 0 and
// the server answers at 256.
namespace smf_acceptor {
inline constexpr uint32_t kBlockSize = 512;
inline constexpr size_t kRequestWord = 0;
inline constexpr size_t kRequestSlotSize = 4;
inline constexpr size_t kRequestSlotCount = 8;
inline constexpr size_t kResponseWord = 256;
inline constexpr size_t kResponseSlotSize = 260;
inline constexpr size_t kResponseSlotCount = 264;
inline constexpr size_t kResponseNameLength = 268;
inline constexpr size_t kResponseName = 270;
inline constexpr size_t kResponseNameMax = 77;
inline constexpr size_t kResponseEnd = 348;

// Block words are read and written by copy: the block is shared with other processes
// and its fields are not guaranteed aligned for every field width.
inline uint32_t LoadU32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void StoreU32(uint8_t* p, uint32_t v) {
  std::memcpy(p, &v, 4);
}
}  // namespace smf_acceptor

// The classic acceptor: hands each requesting client a private channel. The server
// creates the block with its "_MTRQ"/"_MTRP" mutexes and "_EVRQ"/"_EVRP" events; a
// client opens them (see client/classic_client.h for the client's side).
class SfSMFAcceptor {
 public:
  // Create side: builds every object, holding "_MTRQ" until the block is zeroed, so
  // queued clients wait for a clean block. Open side: opens the existing objects.
  SfSMFAcceptor(const std::string& name, bool create);
  ~SfSMFAcceptor();
  SfSMFAcceptor(const SfSMFAcceptor&) = delete;
  SfSMFAcceptor& operator=(const SfSMFAcceptor&) = delete;

  bool IsValid() const;
  // A request is posted (the request event is set).
  bool HasRequest();
  // The request event: signalled while a request waits (a server may sleep on it; only
  // Accept and a client that gives up reset it).
  platform::EventObject* request_event() const { return request_event_; }
  // Serves one pending request: a channel sized from the request (never below the
  // defaults, except that a ring never takes more than kMaxRingBytes unless that leaves
  // fewer than 10 slots), or null when nothing could be served now (no request, "_MTRP" busy) or
  // the channel could not be built (the client then reads a name length of 0).
  // The channel is named base_WORD_TICK (hexadecimal), with a further _N when a channel
  // of that name still exists.
  std::unique_ptr<SfSMFChannel> Accept(uint32_t default_size, uint32_t default_count);
  // The most bytes of slots one ring may take: each ring is mapped in the bus for the
  // link's life, so a client must not make it map gigabytes by asking for them.
  static constexpr uint64_t kMaxRingBytes = 4ull << 20;

  const std::string& name() const { return name_; }

 private:
  // A channel name no existing channel uses; empty when none was found.
  std::string FreeChannelName(uint32_t word, uint32_t tick) const;

  std::string name_;
  SfSharedMemory block_;
  SfMutex request_mutex_;
  SfMutex response_mutex_;
  platform::EventObject* request_event_ = nullptr;
  platform::EventObject* response_event_ = nullptr;
};

}  // namespace orvex
