// Publisher and subscriber in one C++ program: the publisher answers each request for
// TIME.SECONDS with a text, the subscriber receives it through a handler, which runs on
// the library's receiving thread.   pubsub [BUS] [classic|v2]
#include <orvex/orvex_client.h>

#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

namespace {

// Closes the client (flushing what it sent) when it goes out of scope.
struct Closer {
  void operator()(orvex_client* client) const { orvex_close(client, "Example done", 5000); }
};
using Client = std::unique_ptr<orvex_client, Closer>;

Client Connect(const char* bus, int link, const char* sid, int roles) {
  orvex_client* raw = nullptr;
  int rc = orvex_connect(bus, link, 10000, &raw);
  Client client(raw);
  if (rc == ORVEX_OK) rc = orvex_register(raw, sid, "C++ example", roles, 10000);
  if (rc != ORVEX_OK) {
    std::fprintf(stderr, "%s: %s\n", sid, orvex_error_text(rc));
    client.reset();
  }
  return client;
}

// What the subscriber's handler hands to the main thread.
struct Inbox {
  std::mutex lock;
  std::condition_variable arrived;
  std::string text;
};

}  // namespace

int main(int argc, char** argv) {
  const char* bus = argc > 1 ? argv[1] : ORVEX_DEFAULT_BUS;
  const int link = argc > 2 && std::string(argv[2]) == "v2" ? ORVEX_LINK_V2 : ORVEX_LINK_CLASSIC;

  Client publisher = Connect(bus, link, "CPP", ORVEX_ROLE_PUBLISHER);
  Client subscriber = Connect(bus, link, "", ORVEX_ROLE_SUBSCRIBER);
  if (!publisher || !subscriber) return 1;

  Inbox inbox;
  orvex_set_handler(
      subscriber.get(),
      [](const orvex_event* event, void* user) {
        auto* box = static_cast<Inbox*>(user);
        if (event->kind != ORVEX_EVENT_VALUE) return;
        std::lock_guard<std::mutex> hold(box->lock);
        box->text = event->value.text;  // copy: the event is gone after the handler
        box->arrived.notify_all();
      },
      &inbox);
  orvex_request_topic(subscriber.get(), 7, "@CPP:TIME.SECONDS");

  // The publisher polls: the bus forwards the request with a topic id of its own.
  orvex_event request;
  int rc = orvex_poll(publisher.get(), &request, 10000);
  if (rc != ORVEX_OK || request.kind != ORVEX_EVENT_TOPIC_REQUEST) return 1;
  std::printf("request %u: %s\n", request.handle, request.text);
  orvex_publish_text(publisher.get(), request.handle, "sixty seconds make a minute");

  std::unique_lock<std::mutex> hold(inbox.lock);
  if (!inbox.arrived.wait_for(hold, std::chrono::seconds(10),
                              [&] { return !inbox.text.empty(); })) {
    return 1;
  }
  std::printf("received: %s\n", inbox.text.c_str());
  hold.unlock();
  orvex_set_handler(subscriber.get(), nullptr, nullptr);
  return 0;
}
