#include "transport/smf_acceptor.h"

#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "transport/named_event.h"

namespace orvex {

using namespace smf_acceptor;

namespace {
// How many varied names are tried before a request is refused.
constexpr uint32_t kNameVariants = 64;

// Either ring of the channel `name` exists: some client still holds it.
bool ChannelNameTaken(const std::string& name) {
  return NameExists(name + "_A") || NameExists(name + "_B");
}
}  // namespace

SfSMFAcceptor::SfSMFAcceptor(const std::string& name, bool create) : name_(name) {
  block_.OpenOrCreate(create, name, kBlockSize);
  if (create) {
    request_mutex_.Create(name + "_MTRQ", true);
    response_mutex_.Create(name + "_MTRP", false);
  } else {
    request_mutex_.Open(name + "_MTRQ", false);
    response_mutex_.Open(name + "_MTRP", false);
  }
  request_event_ = MakeNamedEvent(name + "_EVRQ", !create);
  response_event_ = MakeNamedEvent(name + "_EVRP", !create);
  if (create && block_.IsValid()) {
    std::memset(block_.view(), 0, kBlockSize);
    request_mutex_.Release();
  }
}

SfSMFAcceptor::~SfSMFAcceptor() {
  platform::CloseEvent(request_event_);
  platform::CloseEvent(response_event_);
  request_mutex_.Close();
  response_mutex_.Close();
  block_.Close();
}

bool SfSMFAcceptor::IsValid() const {
  return block_.IsValid() && request_mutex_.IsOpen() && response_mutex_.IsOpen() &&
         request_event_ != nullptr && response_event_ != nullptr;
}

bool SfSMFAcceptor::HasRequest() {
  return IsValid() && platform::WaitEvent(request_event_, 0) == platform::WaitResult::kSignalled;
}

std::string SfSMFAcceptor::FreeChannelName(uint32_t word, uint32_t tick) const {
  char name[256];
  std::snprintf(name, sizeof name, "%s_%X_%X", name_.c_str(), word, tick);
  const std::string plain = name;
  // Two clients with the same word accepted within one tick (10-16 ms on Windows) would
  // attach to one pair of rings and read each other's messages: the later one gets a
  // varied name, which it reads from the response like any other.
  std::string candidate = plain;
  for (uint32_t variant = 1; ChannelNameTaken(candidate); ++variant) {
    if (variant > kNameVariants) return std::string();
    std::snprintf(name, sizeof name, "%s_%X", plain.c_str(), variant);
    candidate = name;
  }
  return candidate;
}

std::unique_ptr<SfSMFChannel> SfSMFAcceptor::Accept(uint32_t default_size, uint32_t default_count) {
  if (!HasRequest()) return nullptr;
  // Busy: the request stays posted and the next pass tries again.
  if (!response_mutex_.Acquire(0)) return nullptr;
  uint8_t* block = block_.view();
  platform::ResetEvent(request_event_);
  std::memset(block + kResponseWord, 0, 96);

  const uint32_t word = LoadU32(block + kRequestWord);
  const uint32_t tick = platform::TickCount();
  uint32_t size = std::max(LoadU32(block + kRequestSlotSize), default_size);
  // Raised to a multiple of 8 in 64 bits: a request near 4 GiB must not wrap to a
  // small size.
  uint64_t size64 = (static_cast<uint64_t>(size) + 7) & ~uint64_t{7};
  if (size64 <= 16) size64 = 16;
  uint32_t count = std::max(LoadU32(block + kRequestSlotCount), default_count);
  if (count <= 10) count = 10;
  count = static_cast<uint32_t>(
      std::min<uint64_t>(count, std::max<uint64_t>(10, kMaxRingBytes / size64)));
  // A slot the outgoing queue cannot carry would make a link on which the bus can
  // never answer (not even the registration): refused, as is one near 4 GiB.
  size = size64 > SfSMFQueueInternal::kMaxSlotSize ? 0 : static_cast<uint32_t>(size64);

  const std::string channel_name = size == 0 ? std::string() : FreeChannelName(word, tick);
  auto channel = channel_name.empty()
                     ? nullptr
                     : std::make_unique<SfSMFChannel>(true, count, size, channel_name);
  if (channel != nullptr && channel->IsValid()) {
    const size_t length = std::min(channel_name.size(), kResponseNameMax);
    StoreU32(block + kResponseWord, word);
    StoreU32(block + kResponseSlotSize, size);
    StoreU32(block + kResponseSlotCount, count);
    const uint16_t length16 = static_cast<uint16_t>(length);
    std::memcpy(block + kResponseNameLength, &length16, 2);
    std::memcpy(block + kResponseName, channel_name.data(), length);
    block[kResponseName + length] = 0;
    StoreU32(block + kResponseEnd, 0);
  } else {
    channel.reset();  // the zero response marks the refusal
  }
  platform::SetEvent(response_event_);
  response_mutex_.Release();
  return channel;
}

}  // namespace orvex
