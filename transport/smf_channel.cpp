#include "transport/smf_channel.h"

namespace orvex {

SfSMFChannel::SfSMFChannel(bool create, uint32_t slot_count, uint32_t slot_size,
                           const std::string& name)
    : slot_size_(slot_size), slot_count_(slot_count), side_(create ? 1 : 0), name_(name) {
  incoming_.Open(name + (create ? "_B" : "_A"), slot_size, slot_count, create);
  queue_ = std::make_unique<SfSMFQueueInternal>(name + (create ? "_A" : "_B"), slot_size,
                                                slot_count, create);
}

SfSMFChannel::~SfSMFChannel() {
  queue_.reset();
  incoming_.Close();
}

}  // namespace orvex
