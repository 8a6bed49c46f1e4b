/* A subscriber: asks for @DEMO:COUNTER, prints COUNT values as they arrive and checks
 * that each is one more than the one before (exit code 1 if not).
 *   subscriber [BUS] [classic|v2] [COUNT] */
#include <orvex/orvex_client.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
  const char* bus = argc > 1 ? argv[1] : ORVEX_DEFAULT_BUS;
  int link = argc > 2 && strcmp(argv[2], "v2") == 0 ? ORVEX_LINK_V2 : ORVEX_LINK_CLASSIC;
  int count = argc > 3 ? atoi(argv[3]) : 100;

  orvex_client* client = NULL;
  int rc = orvex_connect(bus, link, 10000, &client);
  if (rc == ORVEX_OK) rc = orvex_register(client, "", "C subscriber", ORVEX_ROLE_SUBSCRIBER, 10000);
  if (rc == ORVEX_OK) rc = orvex_request_topic(client, 1, "@DEMO:COUNTER");
  if (rc != ORVEX_OK) {
    fprintf(stderr, "set-up: %s\n", orvex_error_text(rc));
    orvex_close(client, NULL, 1000);
    return 1;
  }

  int received = 0;
  int32_t previous = 0;
  int in_order = 1;
  while (received < count) {
    orvex_event event;
    rc = orvex_poll(client, &event, 30000);
    if (rc != ORVEX_OK) {
      fprintf(stderr, "poll: %s %s\n", orvex_error_text(rc), orvex_disconnect_reason(client));
      break;
    }
    if (event.kind != ORVEX_EVENT_VALUE || event.handle != 1) continue;
    printf("%s\n", event.value.text);
    if (event.value.type != ORVEX_TYPE_INT32 || event.value.int32 != previous + 1) in_order = 0;
    previous = event.value.int32;
    ++received;
  }
  orvex_close(client, "Subscriber done", 1000);
  return received == count && in_order ? 0 : 1;
}
