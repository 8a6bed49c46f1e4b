#pragma once
// The fields of bus messages, as readers return them and writers take them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/rtd_value.h"

namespace orvex {

// MSG_REGISTER: who the client is and what it does.
struct RegisterRequest {
  std::string sid;
  std::string client_name;
  uint8_t publisher = 0;
  uint8_t subscriber = 0;
  // The client holds its link's liveness mutex for the link's life (see
  // transport/smf_liveness.h).
  bool holds_liveness = false;
};

// MSG_REGISTER_REPLY.
struct RegisterReply {
  uint8_t result = 0;  // 1 accepted, 0 refused
  std::string status;
  uint32_t version_word = 0;
  std::string version_tag;  // the 16 bytes at +80
  uint32_t build = 0;
};

// Messages that carry a handle or topic id and a text: MSG_TOPIC, MSG_TEXT_A,
// MSG_TEXT_B, MSG_TOPIC_ADDED, their part forms and their V2 forms.
struct HandleText {
  uint32_t handle = 0;
  std::string text;
};

// Messages that carry a handle or topic id and a value: MSG_VALUE, MSG_TOPIC_VALUE,
// their part forms and their V2 forms.
struct HandleValue {
  uint32_t handle = 0;
  RtdValue value;
  bool starts = false;  // classic: the first part of a split value (kValueStartsFlag)
};

// MSG_MONITOR: the six flags in message order.
struct MonitorRequest {
  uint8_t send_topics = 0;
  uint8_t follow_topics = 0;
  uint8_t send_values = 0;
  uint8_t follow_values = 0;
  uint8_t send_clients = 0;
  uint8_t follow_clients = 0;
};

// MSG_MONITOR_REPLY.
struct MonitorReply {
  uint32_t topic_count = 0;
  uint32_t client_count = 0;
};

// MSG_CLIENT_ADDED.
struct ClientAdded {
  uint16_t client_id = 0;
  uint8_t publisher = 0;
  uint8_t subscriber = 0;
  std::string sid;
  std::string client_name;
};

// MSG_CLIENT_REMOVED.
struct ClientRemoved {
  uint16_t client_id = 0;
  std::string reason;
};

// The most items one classic MSG_REFRESH carries.
inline constexpr size_t kClassicRefreshMaxItems = 29;

// MSG_REFRESH and MSG_REFRESH_V2: subscriber handles or bus topic ids.
using RefreshItems = std::vector<uint32_t>;

}  // namespace orvex
