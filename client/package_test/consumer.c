/* Connects to the bus named on the command line, reads one value of @BUS:TICKER and
 * prints it: proof that the installed header and library work from outside. */
#include <orvex/orvex_client.h>
#include <stdio.h>

int main(int argc, char** argv) {
  orvex_client* client = NULL;
  int rc = orvex_connect(argc > 1 ? argv[1] : NULL, ORVEX_LINK_CLASSIC, 10000, &client);
  if (rc == ORVEX_OK) rc = orvex_register(client, "", "consumer", ORVEX_ROLE_SUBSCRIBER, 10000);
  if (rc == ORVEX_OK) rc = orvex_request_topic(client, 1, "@BUS:TICKER");
  orvex_event event;
  while (rc == ORVEX_OK) {
    rc = orvex_poll(client, &event, 10000);
    if (rc == ORVEX_OK && event.kind == ORVEX_EVENT_VALUE) {
      printf("ticker %s\n", event.value.text);
      break;
    }
  }
  if (rc != ORVEX_OK) fprintf(stderr, "consumer: %s\n", orvex_error_text(rc));
  orvex_close(client, NULL, 1000);
  return rc == ORVEX_OK ? 0 : 1;
}
