/* A publisher: serves the topic COUNTER under the SID DEMO with the numbers 1, 2, 3...,
 * one every 10 ms from the moment a subscriber asks for it, then leaves.
 *   publisher [BUS] [classic|v2] [COUNT] */
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
  if (rc != ORVEX_OK) {
    fprintf(stderr, "connect: %s\n", orvex_error_text(rc));
    return 1;
  }
  rc = orvex_register(client, "DEMO", "C publisher", ORVEX_ROLE_PUBLISHER, 10000);
  if (rc != ORVEX_OK) {
    fprintf(stderr, "register: %s (%s)\n", orvex_error_text(rc), orvex_last_status(client));
    orvex_close(client, NULL, 1000);
    return 1;
  }

  uint32_t topic = 0; /* the bus's id of COUNTER; 0 until someone asks for it */
  int next = 1;
  while (next <= count) {
    orvex_event event;
    rc = orvex_poll(client, &event, 10);
    if (rc == ORVEX_OK && event.kind == ORVEX_EVENT_TOPIC_REQUEST &&
        strcmp(event.text, "COUNTER") == 0) {
      topic = event.handle;
    } else if (rc == ORVEX_OK && event.kind == ORVEX_EVENT_REFRESH && topic != 0 && next > 1) {
      orvex_publish_int32(client, topic, next - 1); /* the current value, again */
    } else if (rc == ORVEX_OK && event.kind == ORVEX_EVENT_TOPIC_CLOSED && event.handle == topic) {
      topic = 0;
    } else if (rc != ORVEX_OK && rc != ORVEX_E_TIMEOUT) {
      fprintf(stderr, "poll: %s %s\n", orvex_error_text(rc), orvex_disconnect_reason(client));
      orvex_close(client, NULL, 1000);
      return 1;
    } else if (rc == ORVEX_E_TIMEOUT && topic != 0) {
      rc = orvex_publish_int32(client, topic, next);
      if (rc != ORVEX_OK) {
        fprintf(stderr, "publish: %s\n", orvex_error_text(rc));
        break;
      }
      ++next;
    }
  }
  /* Waits until the bus has every value before the link goes. */
  rc = orvex_close(client, "Publisher done", 5000);
  printf("published %d values\n", next - 1);
  return rc == ORVEX_OK ? 0 : 1;
}
