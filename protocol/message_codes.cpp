#include "protocol/message_codes.h"

namespace orvex {

size_t FixedMessageSize(uint16_t code) {
  switch (code) {
    case MSG_REGISTER:
      return 86;
    case MSG_REGISTER_REPLY:
      return 100;
    case MSG_HEARTBEAT:
    case MSG_TOPIC_CLOSE:
    case MSG_TOPIC_REMOVED:
      return 12;
    case MSG_CLOSE_ALL:
    case MSG_ACCEPTED:
    case MSG_DROPPED:
      return 8;
    case MSG_SET_DEFAULT_PUBLISHER:
      return 11;
    case MSG_MONITOR:
      return 14;
    case MSG_MONITOR_REPLY:
      return 16;
    case MSG_DISCONNECT:
    case MSG_TOPIC:
    case MSG_REFRESH:
    case MSG_VALUE:
    case MSG_TEXT_A:
    case MSG_TEXT_B:
    case MSG_TOPIC_ADDED:
    case MSG_TOPIC_VALUE:
    case MSG_CLIENT_ADDED:
    case MSG_CLIENT_REMOVED:
    case MSG_TOPIC_PART:
    case MSG_TOPIC_LAST:
    case MSG_VALUE_PART:
    case MSG_VALUE_LAST:
    case MSG_TOPIC_ADDED_PART:
    case MSG_TOPIC_ADDED_LAST:
    case MSG_TOPIC_VALUE_PART:
    case MSG_TOPIC_VALUE_LAST:
      return kClassicSlotSize;
    default:
      return 0;
  }
}

}  // namespace orvex
