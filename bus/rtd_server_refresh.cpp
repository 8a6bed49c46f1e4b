// Refresh requests: a subscriber's handles become bus topic ids, forwarded to the
// publishers that serve them in runs that keep the request's order.
#include <vector>

#include "bus/bus_send.h"
#include "bus/rtd_server.h"
#include "protocol/message_reader.h"
#include "threading/trace.h"

namespace orvex {

void RtdServer::ProcRefreshRq(const BusMessage& m) {
  TraceLine(kTraceDbg, "RtdServer::ProcRefreshRq");
  RefreshItems items;
  if (ReadClassicRefresh(m.bytes, &items)) ForwardRefresh(m.id, items);
}

void RtdServer::ProcRefreshRq_V2(const BusMessage& m) {
  TraceLine(kTraceDbg, "RtdServer::ProcRefreshRq_V2");
  RefreshItems items;
  if (ReadV2Refresh(m.bytes, &items)) ForwardRefresh(m.id, items);
}

void RtdServer::ForwardRefresh(uint16_t client_id, std::span<const uint32_t> handles) {
  RtdClient* client = FindClient(client_id);
  if (client == nullptr) return;
  if (handles.empty()) {
    // Everything: every primary publisher, in SID order; standbys serve nothing.
    for (const auto& [sid, publisher] : sid_map_) SendRefresh(FindConnection(publisher->id), {});
    return;
  }
  std::vector<uint32_t> batch;
  uint16_t current = 0;
  for (uint32_t handle : handles) {
    auto it = client->handles.find(handle);
    RtdTopic* topic = it == client->handles.end() ? nullptr : topics_.Find(it->second);
    if (topic == nullptr || topic->publisher_id == 0) continue;
    // A run ends at a change of publisher or when the batch is full.
    if (!batch.empty() &&
        (topic->publisher_id != current || batch.size() == kClassicRefreshMaxItems)) {
      SendRefresh(FindConnection(current), batch);
      batch.clear();
    }
    batch.push_back(topic->id);
    current = topic->publisher_id;
  }
  if (!batch.empty()) SendRefresh(FindConnection(current), batch);
}

}  // namespace orvex
