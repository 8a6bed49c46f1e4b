#ifndef ORVEX_CLIENT_H
#define ORVEX_CLIENT_H
/* The Orvex RTD Bus client library: publish values to the bus and subscribe to them,
 * over either link kind, from C or any language that can call C.
 *
 * Texts are 8-bit, NUL-terminated (the ANSI code page on Windows). Every function
 * returns ORVEX_OK (0) or a negative ORVEX_E_* code; orvex_error_text names each.
 * One orvex_client may be used from several threads: calls are serialised inside.
 * Received events are delivered either through orvex_poll or, once a handler is set,
 * to the handler on the library's own receiving thread; never both. */

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(ORVEX_CLIENT_BUILDING)
#define ORVEX_CLIENT_API __declspec(dllexport)
#else
#define ORVEX_CLIENT_API __declspec(dllimport)
#endif
#else
#define ORVEX_CLIENT_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes. */
#define ORVEX_OK 0
#define ORVEX_E_ARGUMENT (-1) /* a null pointer, an unknown kind or a text too long */
#define ORVEX_E_NO_BUS (-2)   /* no bus answered on that name within the time-out */
#define ORVEX_E_REFUSED (-3)  /* the bus refused the registration */
#define ORVEX_E_TIMEOUT (-4)  /* nothing arrived within the time-out */
#define ORVEX_E_SEND (-5)     /* the link took no message (full for too long, or broken) */
#define ORVEX_E_BUS_LOST (-6) /* the bus went away or closed the link */
#define ORVEX_E_STATE (-7)    /* not allowed now (e.g. polling while a handler is set) */
#define ORVEX_E_MEMORY (-8)   /* out of memory */
#define ORVEX_E_TOPIC (-9)    /* publishing to a topic id the bus never asked this client for */

/* Link kinds. */
#define ORVEX_LINK_CLASSIC 0
#define ORVEX_LINK_V2 1

/* Registration roles, combined with |. */
#define ORVEX_ROLE_PUBLISHER 1
#define ORVEX_ROLE_SUBSCRIBER 2

/* Value types, as the bus codes them. */
#define ORVEX_TYPE_EMPTY 0
#define ORVEX_TYPE_INT32 1
#define ORVEX_TYPE_INT64 2
#define ORVEX_TYPE_DOUBLE 3
#define ORVEX_TYPE_BOOL 4
#define ORVEX_TYPE_TEXT 5
#define ORVEX_TYPE_WIDE_TEXT 6
#define ORVEX_TYPE_BYTES 7
#define ORVEX_TYPE_DATE 8
#define ORVEX_TYPE_DATETIME 9

/* What orvex_poll or the handler receives. */
#define ORVEX_EVENT_VALUE 1         /* subscriber: a value under one of its handles */
#define ORVEX_EVENT_TEXT 2          /* subscriber: a text message (A or B) under a handle */
#define ORVEX_EVENT_TOPIC_REQUEST 3 /* publisher: the bus wants topic `handle` (text) */
#define ORVEX_EVENT_TOPIC_CLOSED 4  /* publisher: nobody wants topic `handle` any more */
#define ORVEX_EVENT_REFRESH 5       /* publisher: send these topics' values again */
#define ORVEX_EVENT_DISCONNECT 6    /* the bus ended the link; text is its reason */
#define ORVEX_EVENT_BUS_LOST 7      /* the bus went silent or ended; text says which */

/* The default bus name. */
#define ORVEX_DEFAULT_BUS "Local\\Vantel"

typedef struct orvex_client orvex_client;

/* A received value. `text`/`length`: for texts the characters, for bytes the bytes,
 * for every other type the value rendered as text (numbers in decimal, "true"/"false",
 * dates in UTC). `text` is always NUL-terminated. */
typedef struct orvex_value {
  int type;
  int32_t int32; /* INT32, DATE (days since 1970-01-01) */
  int64_t int64; /* INT64, DATETIME (seconds since 1970-01-01 UTC); INT32 widened */
  double number; /* DOUBLE; INT32 and INT64 converted */
  int boolean;   /* BOOL: 0 or 1 */
  const char* text;
  size_t length;
} orvex_value;

/* One received event. `handle`: the subscriber's handle (VALUE, TEXT) or the bus's
 * topic id (TOPIC_REQUEST, TOPIC_CLOSED). `text`: the topic text, message text or
 * reason. `items`/`item_count`: the topic ids of a REFRESH. Everything it points to
 * stays valid until the next orvex_poll or orvex_poll_batch on the same client (for a handler:
 * until the handler returns). */
typedef struct orvex_event {
  int kind;
  uint32_t handle;
  const char* text;
  orvex_value value;
  const uint32_t* items;
  size_t item_count;
} orvex_event;

/* Called on the library's receiving thread for every event. It may call any function
 * on the same client except orvex_close, which answers ORVEX_E_STATE there (and closes
 * nothing); orvex_poll answers ORVEX_E_STATE too while a handler is set. */
typedef void (*orvex_handler)(const orvex_event* event, void* user);

/* A short English text for `code` (never null; "unknown error" for unknown codes). */
ORVEX_CLIENT_API const char* orvex_error_text(int code);

/* Connects to the bus named `bus` (null: ORVEX_DEFAULT_BUS) over `link_kind`, waiting
 * up to `timeout_ms`, also for a bus that is not there yet (the library looks again
 * every 20 ms; ORVEX_E_NO_BUS once the time is up). On success stores a new client in
 * *out (release it with orvex_close) and returns ORVEX_OK; on failure stores null.
 * Keep-alive messages are sent by the library from now on. */
ORVEX_CLIENT_API int orvex_connect(const char* bus, int link_kind, uint32_t timeout_ms,
                                   orvex_client** out);

/* Registers as publisher and/or subscriber (`roles`) under `sid` (a publisher's SID is
 * sent trimmed and upper-cased; at most 9 characters) and `name` (at most 61; null:
 * "orvex client"), and waits up to `timeout_ms` for the bus's answer. ORVEX_E_REFUSED
 * when the bus said no (see orvex_last_status). */
ORVEX_CLIENT_API int orvex_register(orvex_client* client, const char* sid, const char* name,
                                    int roles, uint32_t timeout_ms);

/* The bus's last registration status text ("Connected", or why it refused), or "".
 * The text stays valid until the next call of this function on the same client. */
ORVEX_CLIENT_API const char* orvex_last_status(orvex_client* client);

/* Subscriber: asks for `topic` (e.g. "@DEMO:COUNTER") under `handle`, a number of the
 * caller's choosing that its values will carry. Long texts are split as needed. */
ORVEX_CLIENT_API int orvex_request_topic(orvex_client* client, uint32_t handle, const char* topic);
/* Subscriber: no more values under `handle`. */
ORVEX_CLIENT_API int orvex_close_topic(orvex_client* client, uint32_t handle);
/* Subscriber: asks for the current values of `count` handles again. */
ORVEX_CLIENT_API int orvex_refresh(orvex_client* client, const uint32_t* handles, size_t count);

/* Publisher: sends a value for the bus's topic `topic_id` (from a TOPIC_REQUEST;
 * ORVEX_E_TOPIC for an id no TOPIC_REQUEST on this link carried; an id whose topic the
 * bus closed is still accepted, and the bus drops the value). Texts and bytes are split
 * for the caller on classic links; on either link kind a value whose payload passes
 * 16,777,215 bytes (a text's characters and its NUL) fails with ORVEX_E_SEND, nothing
 * of it sent. Dates are days
 * since 1970-01-01 (negative: -1); date-times are seconds since 1970-01-01 UTC. */
ORVEX_CLIENT_API int orvex_publish_int32(orvex_client* client, uint32_t topic_id, int32_t value);
ORVEX_CLIENT_API int orvex_publish_int64(orvex_client* client, uint32_t topic_id, int64_t value);
ORVEX_CLIENT_API int orvex_publish_double(orvex_client* client, uint32_t topic_id, double value);
ORVEX_CLIENT_API int orvex_publish_bool(orvex_client* client, uint32_t topic_id, int value);
ORVEX_CLIENT_API int orvex_publish_text(orvex_client* client, uint32_t topic_id, const char* text);
ORVEX_CLIENT_API int orvex_publish_bytes(orvex_client* client, uint32_t topic_id, const void* bytes,
                                         size_t length);
ORVEX_CLIENT_API int orvex_publish_date(orvex_client* client, uint32_t topic_id, int32_t days);
ORVEX_CLIENT_API int orvex_publish_datetime(orvex_client* client, uint32_t topic_id,
                                            int64_t seconds);

/* Takes the next event, waiting up to `timeout_ms`: ORVEX_OK with *event filled,
 * ORVEX_E_TIMEOUT when none came, ORVEX_E_BUS_LOST once the link is gone and every
 * event before was taken, ORVEX_E_STATE while a handler is set. One thread at a time. */
ORVEX_CLIENT_API int orvex_poll(orvex_client* client, orvex_event* event, uint32_t timeout_ms);

/* As orvex_poll, for up to `capacity` events at once: waits up to `timeout_ms` for the
 * first, then takes every event already received behind it, in order, without waiting
 * more; those beyond `capacity` stay for the next call. ORVEX_OK with events[0] to
 * events[*count - 1] filled (*count at least 1); otherwise *count is 0 and the result
 * is orvex_poll's. What the events point to stays valid until the next orvex_poll or
 * orvex_poll_batch on the same client. Null `events` or `count`, or a capacity of 0:
 * ORVEX_E_ARGUMENT. */
ORVEX_CLIENT_API int orvex_poll_batch(orvex_client* client, orvex_event* events, size_t capacity,
                                      size_t* count, uint32_t timeout_ms);

/* Sets (or with null clears) the handler; events already waiting for orvex_poll go to
 * it first, in order, on the receiving thread. Once a clearing call returns, the old
 * handler is not running and will not be called again (unless the call came from the
 * handler itself), so what `user` points to may be freed. */
ORVEX_CLIENT_API int orvex_set_handler(orvex_client* client, orvex_handler handler, void* user);

/* Caps the bytes of received events waiting for orvex_poll (default 4 MiB, the link's
 * own bound; one event is always taken, however large). Further messages stay in the
 * link until the caller polls again; a caller that falls too far behind is then
 * treated by the bus as any slow reader (it may drop the link). 0 is refused. */
ORVEX_CLIENT_API int orvex_set_receive_limit(orvex_client* client, uint64_t bytes);

/* Why the bus ended the link (its MSG_DISCONNECT text or the kind of loss), or "" while
 * the link is up. The text stays valid until the next call of this function on the
 * same client. */
ORVEX_CLIENT_API const char* orvex_disconnect_reason(orvex_client* client);

/* Sends a farewell with `reason` (null: "Client closed"), waits up to `timeout_ms` for
 * the bus to take every message sent, closes the link and frees the client. Returns
 * ORVEX_E_TIMEOUT when the bus did not take everything in time (the client is freed
 * all the same). Null is accepted and ignored. As with free, a closed client must not
 * be used again (closing it twice is undefined), and orvex_close must not overlap any
 * other call on the same client from another thread. Inside the handler it answers
 * ORVEX_E_STATE and closes nothing: close from another thread. */
ORVEX_CLIENT_API int orvex_close(orvex_client* client, const char* reason, uint32_t timeout_ms);

#ifdef __cplusplus
}
#endif

#endif /* ORVEX_CLIENT_H */
