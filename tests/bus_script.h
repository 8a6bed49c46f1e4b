#pragma once
// Bus clients in child processes, driven by a script of steps given on the command
// line. A step is fields separated by '|':
//   connect|classic, connect|v2 or connect|v2-polled (no wake-ups)
//   register|SID|NAME|P|S (flags 0/1)
//   connect|classic|SLOT_SIZE|SLOT_COUNT   a classic link of other slots
//   noconnect|KIND|MS   no bus accepts a link within MS
//   rawregister|SID|NAME|P|S  as register, the SID sent exactly as given
//   rawpart|CODE|H|TEXT one classic message of code 7, 48 or 49 (topic text) or 13, 50
//                       or 51 (text value) with this handle and text (under 112 chars)
//   topic|HANDLE|TEXT   close|HANDLE   closeall   value|ID|int:N or text:T
//   valuetimesout|ID|text:T  as value, but the publish must fail as timed out
//   trickle|MS|EVENT    takes one message every MS until EVENT is set
//   untiltext|H|TEXT    receives until handle H gets the text value TEXT; a value that
//                       ends with TEXT but has more in front fails (a torn value)
//   wakebus|MS          (V2) sets the bus's wake-up of its own link in a loop for MS
//   spoilpublish|ID|N|MS  (V2) clears the bus's "waiting" word on its own link every
//                       millisecond for MS, as a hostile peer might, and publishes the
//                       number N for topic ID half-way
//   texta|ID|TEXT   textb|ID|TEXT   refresh|H,H,...   default|SID   monitor|FLAGS(6 digits)
//   disconnect|REASON   keepalive   sleep|MS   signal|EVENT   wait|EVENT
//   expect|CODE|k=v...  the next message (heartbeats aside) has this code and fields
//   await|CODE|k=v...   skips messages until one of CODE, whose fields must then match
//   until|CODE|k=v...   skips messages until one matches the code and every field
//   quiet|MS            no message (heartbeats aside) for MS
//   heartbeat|TICK      waits for a heartbeat, which must carry TICK
//   flood|ID|N[|PACE[|LEN]]  publishes N values 0..N-1 for topic ID as fast as it can
//                       (pausing 1 ms every PACE values); with LEN, texts of LEN
//                       characters that begin with the number and ":"
//   limit|BYTES[|MS]    caps what this client holds of messages the bus has not taken
//                       (BusClient::SetLinkLimit), and the send time-out
//   held|MAX            no flood so far made this client hold more than MAX bytes
//   floodfull|ID|N      floods as flood, but a publish must fail for want of room
//                       within the send time-out before N values are sent
//   allinorder|LAST|H,H,...  receives values until every handle got LAST; each handle
//                       must get every number from 0 in order
//   newest|LAST|H,H,...  the same, but numbers may be skipped, never repeated or older
//   serve|ACTIVE_EVENT|STOP_EVENT  publisher loop: answers every topic with its text
//                       as value "pub:<text>" until STOP_EVENT is set
// Fields: h=N (handle, id or result), t=TEXT, v=TEXT (the value rendered as text),
// vt=TYPE, items=N,N, parts=N, save=VAR (keeps h). Anywhere a number goes, $VAR reads
// a saved one; a text "~N" stands for N generated characters.
// The child's exit code is 0 on success, else 1 + the failing step's index.
#include <string>
#include <vector>

#include "platform/process.h"

namespace orvex::test {

// The generated text "~N" stands for.
std::string GeneratedText(size_t length);

// Starts a script child against the bus `base`.
platform::ProcessObject* SpawnBusScript(const std::string& base,
                                        const std::vector<std::string>& steps);

// Waits for a child's end (killing it after `timeout_ms`) and returns its exit code,
// -1 when it had to be killed.
int FinishChild(platform::ProcessObject* child, uint32_t timeout_ms = 30000);

}  // namespace orvex::test
