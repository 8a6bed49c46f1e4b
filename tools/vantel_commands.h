#pragma once
// The subcommands of the vantel tool, each run against a bus until it is done or told
// to stop. They answer the process's exit code: 0 success, 2 no bus answered, 3 the
// bus refused the registration, 4 the bus closed the link or is gone, 5 bad arguments
// or a failed send.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "client/bus_client.h"

namespace orvex::vantel {

// What every subcommand needs to reach the bus.
struct LinkOptions {
  std::string bus = "Local\\Vantel";
  bool v2 = false;
  uint32_t connect_timeout_ms = 5000;
  // Nothing from the bus for this long means it is gone (it sends a heartbeat every 5 s).
  uint32_t silence_limit_ms = 15000;
  // When the bus is lost, wait for a new one on the same name and carry on there.
  bool reconnect = false;
  // Where lines go; null is standard output.
  std::FILE* out = nullptr;
};

struct PubOptions {
  std::string sid;
  std::string name = "vantel pub";
  std::string source = "counter";  // const, counter, walk or lines
  std::string value;               // the constant
  bool force_text = false;
  double start = 0;
  double step = 1;
  uint32_t seed = 1;
  uint32_t interval_ms = 1000;  // 0: as fast as the link takes them
  uint64_t count = 0;           // steps before exiting; 0: until stopped
  uint32_t duration_ms = 0;     // 0: until stopped
};

struct SubOptions {
  std::vector<std::string> topics;
  std::string sid;
  std::string name = "vantel sub";
  uint64_t count = 0;        // values before exiting; 0: until stopped
  uint32_t duration_ms = 0;  // 0: until stopped
};

struct MonOptions {
  std::string name = "vantel mon";
  bool lines = false;  // plain lines even on a terminal
  uint64_t count = 0;  // values before exiting; 0: until stopped
  uint32_t duration_ms = 0;
};

inline constexpr int kExitOk = 0;
inline constexpr int kExitNoBus = 2;
inline constexpr int kExitRefused = 3;
inline constexpr int kExitClosed = 4;
inline constexpr int kExitFailed = 5;

// Registers as a publisher under `sid`, answers every topic the bus sends with the
// source's current value and publishes each new step to every open topic. Prints one
// line per topic opened or closed.
int RunPub(const LinkOptions& link, const PubOptions& options);
// Subscribes to each topic text and prints "TEXT<TAB>TYPE<TAB>VALUE" per value.
int RunSub(const LinkOptions& link, const SubOptions& options);
// Follows topics, values and clients; a redrawn table on a terminal, else lines.
int RunMon(const LinkOptions& link, const MonOptions& options);
// Sends MSG_SET_DEFAULT_PUBLISHER with `sid`.
int RunDefault(const LinkOptions& link, const std::string& sid);

// Makes the running subcommand finish soon; safe from a signal handler.
void RequestStop();

}  // namespace orvex::vantel
