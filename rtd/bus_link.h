#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "client/client_session.h"
#include "rtd/topic_book.h"

namespace orvex::rtd {

// The server's link to the bus: a subscriber that asks for every bus topic of the
// book, feeds what arrives into it, and follows the publisher lists so cells can show
// that a publisher left. It runs on a thread of its own; when the bus goes away (or is
// not there yet) the cells show it and the link tries again until the bus is back,
// then asks for every open topic again.
class RtdBusLink {
 public:
  struct Options {
    std::string bus = "Local\\Vantel";
    std::string client_name = "KelRTD";
    // Pause between two attempts to reach the bus.
    uint32_t retry_ms = 500;
    // Called on the link's thread when the book says Excel must be told.
    std::function<void()> notify;
  };

  RtdBusLink(RtdTopicBook* book, Options options);
  ~RtdBusLink() { Stop(); }
  RtdBusLink(const RtdBusLink&) = delete;
  RtdBusLink& operator=(const RtdBusLink&) = delete;

  // Starts the thread; returns at once (the first connection happens in the
  // background, so Excel's thread never waits for the bus).
  void Start();
  // Says goodbye to the bus and ends the thread. Safe to call twice.
  void Stop();
  // Ask the bus for (or stop asking for) the bus topic `handle` of the book. Any thread.
  void Open(uint32_t handle);
  void Close(uint32_t handle);

  // A link to the bus is up and registered.
  bool connected() const;
  // Links made so far (the first counts), for tests.
  uint32_t connections() const;

  // Handles of the link's own subscriptions (publisher lists); outside the book's range.
  static constexpr uint32_t kPublistHandle = 0xFFFFFFF1u;
  static constexpr uint32_t kDefpubHandle = 0xFFFFFFF2u;

 private:
  struct Command {
    bool open;
    uint32_t handle;
  };
  void Run();
  // Connects, registers and asks for every open topic; false when the bus did not answer.
  bool Link();
  void Unlink();
  void OnMessage(const client::BusReceived& message);
  // Asks the bus for `handle` unless this link did already.
  void Request(uint32_t handle);
  void Unrequest(uint32_t handle);
  void Notify(bool due) {
    if (due && options_.notify) options_.notify();
  }

  RtdTopicBook* book_;
  Options options_;
  std::unique_ptr<client::ClientSession> session_;  // link thread only
  // The handle asked of this link for each slot of the book (0: none).
  std::vector<uint32_t> requested_;  // link thread only
  mutable std::mutex lock_;
  std::condition_variable wake_;
  std::deque<Command> commands_;
  bool stop_ = false;
  bool lost_ = false;
  bool connected_ = false;
  uint32_t connections_ = 0;
  std::thread thread_;
};

}  // namespace orvex::rtd
