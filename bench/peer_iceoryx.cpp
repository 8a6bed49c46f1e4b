// iceoryx in the benchmark: its RouDi daemon (started by the harness) as the hub, an
// untyped publisher loaning chunks, untyped subscribers woken by a wait set. Both ends
// block rather than drop, as our bus does.
#include "iceoryx_posh/popo/untyped_publisher.hpp"
#include "iceoryx_posh/popo/untyped_subscriber.hpp"
#include "iceoryx_posh/popo/wait_set.hpp"
#include "iceoryx_posh/runtime/posh_runtime.hpp"

#include <cstring>

#include "bench/peer_systems.h"

namespace orvex::bench {

namespace {

void InitRuntime(const std::string& name) {
  iox::runtime::PoshRuntime::initRuntime(
      iox::RuntimeName_t(iox::cxx::TruncateToCapacity, name.c_str()));
}

iox::capro::ServiceDescription Service(const Plan& plan) {
  return {"Bench", "Values",
          iox::capro::IdString_t(iox::cxx::TruncateToCapacity, plan.run.c_str())};
}

}  // namespace

int IceoryxPublisher(const Plan& plan) {
  InitRuntime("bench_pub_" + plan.run);
  iox::popo::PublisherOptions options;
  options.subscriberTooSlowPolicy = iox::popo::ConsumerTooSlowPolicy::WAIT_FOR_CONSUMER;
  iox::popo::UntypedPublisher publisher(Service(plan), options);
  RunEvents events(plan);
  auto send = [&](const uint8_t* payload, uint32_t size) {
    bool sent = false;
    publisher.loan(size)
        .and_then([&](void* chunk) {
          std::memcpy(chunk, payload, size);
          publisher.publish(chunk);
          sent = true;
        })
        .or_else([](auto&) {});
    return sent;
  };
  const PubResult result = RunPublisherLoop(plan, events, send);
  return WritePubResult(plan.ResultPath("pub"), result) ? 0 : 1;
}

int IceoryxSubscriber(const Plan& plan) {
  InitRuntime("bench_sub_" + plan.run + "_" + std::to_string(plan.index));
  iox::popo::SubscriberOptions options;
  options.queueFullPolicy = iox::popo::QueueFullPolicy::BLOCK_PRODUCER;
  iox::popo::UntypedSubscriber subscriber(Service(plan), options);
  iox::popo::WaitSet<> waitset;
  waitset.attachState(subscriber, iox::popo::SubscriberState::HAS_DATA).or_else([](auto&) {});
  RunEvents events(plan);
  SubscriberLoop loop(plan, events);
  const uint64_t give_up = NowNs() + 120000000000ull;
  bool more = true;
  while (more && NowNs() < give_up) {
    waitset.timedWait(iox::units::Duration::fromMilliseconds(100));
    for (;;) {
      bool got = false;
      subscriber.take()
          .and_then([&](const void* chunk) {
            got = true;
            const auto* header = iox::mepoo::ChunkHeader::fromUserPayload(chunk);
            more = loop.Take(static_cast<const uint8_t*>(chunk), header->userPayloadSize()) && more;
            subscriber.release(chunk);
          })
          .or_else([](auto&) {});
      if (!got) break;
    }
  }
  return loop.Finish();
}

}  // namespace orvex::bench
