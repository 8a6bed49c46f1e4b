// vantel: a command-line companion for the bus. Publishes, subscribes, monitors and
// sets the default publisher, for people at a terminal and for scripts.
#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <string>

#include "tools/vantel_commands.h"

namespace {

void OnSignal(int) {
  orvex::vantel::RequestStop();
}

// Adds the options every subcommand shares.
void AddLinkOptions(CLI::App* cmd, orvex::vantel::LinkOptions* link, std::string* output) {
  cmd->add_option("--bus", link->bus, "Base name of the bus's acceptors")->capture_default_str();
  cmd->add_flag("--v2", link->v2, "Connect through the V2 acceptor (variable-size records)");
  cmd->add_option("--connect-timeout", link->connect_timeout_ms,
                  "Milliseconds to wait for the bus to answer")
      ->capture_default_str();
  cmd->add_option("--silence-limit", link->silence_limit_ms,
                  "Milliseconds without a message after which the bus counts as gone")
      ->check(CLI::Range(1000u, 3600000u))
      ->capture_default_str();
  cmd->add_flag("--reconnect", link->reconnect,
                "When the bus is lost, wait for a new bus on the same name and carry on");
  cmd->add_option("-o,--output", *output, "Write the lines to this file instead of stdout");
}

}  // namespace

int main(int argc, char** argv) {
  using namespace orvex::vantel;
  CLI::App app{"vantel: publish, subscribe to and monitor the Orvex RTD Bus"};
  app.require_subcommand(1);

  LinkOptions link;
  std::string output;

  PubOptions pub;
  CLI::App* pub_cmd = app.add_subcommand("pub", "Register as a publisher and answer topics");
  AddLinkOptions(pub_cmd, &link, &output);
  pub_cmd
      ->add_option("--sid", pub.sid,
                   "Publisher identifier (SID), registered trimmed and upper-cased")
      ->required();
  pub_cmd->add_option("--name", pub.name, "Client name shown to monitors")->capture_default_str();
  pub_cmd->add_option("--source", pub.source, "Where values come from")
      ->check(CLI::IsMember({"const", "counter", "walk", "lines"}))
      ->capture_default_str();
  pub_cmd->add_option("--value", pub.value,
                      "The constant (numbers, true/false and texts are recognised)");
  pub_cmd->add_flag("--text", pub.force_text, "Publish the constant or the lines as text");
  pub_cmd->add_option("--start", pub.start, "First value of a counter or walk")
      ->capture_default_str();
  pub_cmd->add_option("--step", pub.step, "Counter increment, or the walk's largest move")
      ->capture_default_str();
  pub_cmd->add_option("--seed", pub.seed, "Seed of the random walk")->capture_default_str();
  pub_cmd->add_option("--interval", pub.interval_ms, "Milliseconds between steps (0: flat out)")
      ->capture_default_str();
  pub_cmd->add_option("--count", pub.count, "Exit after this many steps");
  pub_cmd->add_option("--duration", pub.duration_ms, "Exit after this many milliseconds");

  SubOptions sub;
  CLI::App* sub_cmd = app.add_subcommand("sub", "Subscribe to topics and print their values");
  AddLinkOptions(sub_cmd, &link, &output);
  sub_cmd->add_option("topics", sub.topics, "Topic texts, e.g. @ABC:ACME.LAST or @BUS:TICKER")
      ->required();
  sub_cmd->add_option("--sid", sub.sid, "Identifier to register under (optional)");
  sub_cmd->add_option("--name", sub.name, "Client name shown to monitors")->capture_default_str();
  sub_cmd->add_option("--count", sub.count, "Exit after this many values");
  sub_cmd->add_option("--duration", sub.duration_ms, "Exit after this many milliseconds");

  MonOptions mon;
  CLI::App* mon_cmd = app.add_subcommand("mon", "Follow topics, values and clients");
  AddLinkOptions(mon_cmd, &link, &output);
  mon_cmd->add_flag("--lines", mon.lines, "Print lines even on a terminal");
  mon_cmd->add_option("--name", mon.name, "Client name shown to monitors")->capture_default_str();
  mon_cmd->add_option("--count", mon.count, "Exit after this many values");
  mon_cmd->add_option("--duration", mon.duration_ms, "Exit after this many milliseconds");

  std::string default_sid;
  CLI::App* default_cmd =
      app.add_subcommand("default", "Make a publisher the default one (MSG_SET_DEFAULT_PUBLISHER)");
  AddLinkOptions(default_cmd, &link, &output);
  default_cmd->add_option("sid", default_sid, "The publisher's SID")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }

  if (pub.source == "const" && pub.value.empty() && !pub.force_text) {
    std::fputs("vantel: --source const needs --value\n", stderr);
    return kExitFailed;
  }
  if (pub.source == "counter" && (pub.start < -2147483648.0 || pub.start > 2147483647.0 ||
                                  pub.step < -2147483648.0 || pub.step > 2147483647.0)) {
    std::fputs("vantel: counter start and step must fit in 32 bits\n", stderr);
    return kExitFailed;
  }
  std::FILE* file = nullptr;
  if (!output.empty()) {
    // Binary: lines end in a line feed on every system, as scripts expect.
    file = std::fopen(output.c_str(), "wb");
    if (file == nullptr) {
      std::fputs(("vantel: cannot write " + output + "\n").c_str(), stderr);
      return kExitFailed;
    }
    link.out = file;
  }
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);

  int rc = kExitFailed;
  if (*pub_cmd) rc = RunPub(link, pub);
  if (*sub_cmd) rc = RunSub(link, sub);
  if (*mon_cmd) rc = RunMon(link, mon);
  if (*default_cmd) rc = RunDefault(link, default_sid);
  if (file != nullptr) std::fclose(file);
  return rc;
}
