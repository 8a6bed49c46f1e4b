#pragma once
// The publisher, subscriber and hub roles of each system the benchmark compares. Each
// answers the process's exit code.
#include <string>

#include "bench/peer_common.h"

namespace orvex::bench {

int OrvexPublisher(const Plan& plan);
int OrvexSubscriber(const Plan& plan);

int ZmqHub(const Plan& plan);
int ZmqPublisher(const Plan& plan);
int ZmqSubscriber(const Plan& plan);

int IceoryxPublisher(const Plan& plan);
int IceoryxSubscriber(const Plan& plan);

}  // namespace orvex::bench
