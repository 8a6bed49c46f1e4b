#pragma once
// The publisher, subscriber and hub roles of each system the benchmark compares. Each
// answers the process's exit code.
#include <cstdint>
#include <string>

#include "bench/peer_common.h"

namespace orvex::bench {

// What our bus may hold per link (bus_host --backlog) and what the publisher holds of
// values the bus has not read (BusClient::SetLinkLimit): flat out, a value waits behind
// about this many bytes in each, so the bound sets the queueing delay (64 KiB is the
// least bus_host takes).
inline constexpr uint64_t kOrvexLinkBytes = 64 * 1024;

int OrvexPublisher(const Plan& plan);
int OrvexSubscriber(const Plan& plan);
// The subscribe storm's roles (Plan::topics requests from one subscriber).
int OrvexStormPublisher(const Plan& plan);
int OrvexStormSubscriber(const Plan& plan);

int ZmqHub(const Plan& plan);
int ZmqPublisher(const Plan& plan);
int ZmqSubscriber(const Plan& plan);

int IceoryxPublisher(const Plan& plan);
int IceoryxSubscriber(const Plan& plan);

}  // namespace orvex::bench
