#include "tools/vantel_commands.h"

#include <atomic>
#include <csignal>
#include <deque>
#include <iostream>
#include <map>
#include <mutex>
#include <thread>

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/named_mapping.h"
#include "platform/stale_objects.h"
#include "protocol/message_codes.h"
#include "tools/vantel_monitor.h"
#include "tools/vantel_source.h"

namespace orvex::vantel {

namespace {

volatile std::sig_atomic_t g_stop = 0;

// The bus drops links silent for 15 s; a tool that only listens says so more often.
constexpr uint32_t kKeepAliveMs = 3000;

void Line(const LinkOptions& link, const std::string& text) {
  std::FILE* out = link.out != nullptr ? link.out : stdout;
  std::fputs(text.c_str(), out);
  std::fputc('\n', out);
  std::fflush(out);
}

void Error(const std::string& text) {
  std::fputs(("vantel: " + text + "\n").c_str(), stderr);
  std::fflush(stderr);
}

// Connects and registers; answers 0 or the exit code of the failure.
int Open(const LinkOptions& link, client::BusClient* bus, const std::string& sid,
         const std::string& name, bool publisher, bool subscriber) {
  const auto kind = link.v2 ? client::LinkKind::kV2 : client::LinkKind::kClassic;
  client::BusWatchOptions watch;
  watch.silence_limit_ms = link.silence_limit_ms;
  bus->SetWatchOptions(watch);
  if (!bus->Connect(link.bus, kind, link.connect_timeout_ms)) {
    if (bus->name_lock_held()) {
      Error("could not reach the bus on " + link.bus + ": another process holds " +
            platform::NameLockPath() + ", the lock of this user's shared objects");
    } else if (!bus->held_mutex().empty()) {
      Error("could not reach the bus on " + link.bus + ": another process holds its mutex " +
            bus->held_mutex() + " (a client stopped while it connected?)");
    } else {
      const std::string problem = platform::SharedObjectsProblem();
      Error("no bus answered on " + link.bus + (problem.empty() ? "" : " (" + problem + ")"));
    }
    return kExitNoBus;
  }
  RegisterReply reply;
  if (!bus->RegisterAndWait(sid, name, publisher, subscriber, &reply, link.connect_timeout_ms)) {
    Error("registration refused: " + (reply.status.empty() ? "no reply" : reply.status));
    return kExitRefused;
  }
  return 0;
}

void Leave(client::BusClient* bus, std::string_view reason) {
  // A gone bus reads nothing: do not wait for it to take the farewell.
  if (bus->bus_loss() == client::BusLoss::kNone) {
    bus->SendDisconnect(reason);
    bus->Flush(1000);
  }
  bus->Close();
}

// True, with the message printed, when the bus is gone.
bool ReportLoss(const LinkOptions& link, const client::BusClient& bus) {
  const client::BusLoss loss = bus.bus_loss();
  if (loss == client::BusLoss::kNone) return false;
  std::string why = client::BusLossText(loss);
  if (loss == client::BusLoss::kSilent) {
    why = "nothing heard from it for " + std::to_string(link.silence_limit_ms) + " ms";
  }
  Error("lost the bus on " + link.bus + ": " + why);
  return true;
}

// With --reconnect: waits for a bus on the same name and links to it again, with the
// same registration and topics. False when reconnecting is off or a stop came first.
bool Relink(const LinkOptions& link, client::BusClient* bus) {
  if (!link.reconnect) return false;
  bus->Close();
  Error("waiting for a bus on " + link.bus);
  while (g_stop == 0) {
    if (bus->Reconnect(link.connect_timeout_ms)) {
      Error("linked again to the bus on " + link.bus);
      return true;
    }
    // A missing bus answers at once; do not spin.
    platform::SleepMs(500);
  }
  return false;
}

// Time keeping shared by the loops: the end of --duration and the keep-alive.
class Clock {
 public:
  explicit Clock(uint32_t duration_ms) : start_(platform::TickCount()), duration_(duration_ms) {}
  bool Expired() const { return duration_ != 0 && platform::TickCount() - start_ >= duration_; }
  void KeepAlive(client::BusClient* bus) {
    if (platform::TickCount() - last_alive_ >= kKeepAliveMs) {
      bus->KeepAlive();
      last_alive_ = platform::TickCount();
    }
  }

 private:
  uint32_t start_;
  uint32_t duration_;
  uint32_t last_alive_ = platform::TickCount();
};

// Lines of standard input, read on their own thread so the bus loop never blocks.
class LineReader {
 public:
  LineReader() {
    thread_ = std::thread([this] {
      std::string line;
      while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::lock_guard<std::mutex> hold(lock_);
        lines_.push_back(line);
      }
    });
    // Standard input may never end; the process exit ends the thread.
    thread_.detach();
  }
  bool Take(std::string* line) {
    std::lock_guard<std::mutex> hold(lock_);
    if (lines_.empty()) return false;
    *line = std::move(lines_.front());
    lines_.pop_front();
    return true;
  }

 private:
  std::thread thread_;
  std::mutex lock_;
  std::deque<std::string> lines_;
};

}  // namespace

void RequestStop() {
  g_stop = 1;
}

int RunPub(const LinkOptions& link, const PubOptions& options) {
  std::unique_ptr<ValueSource> source;
  std::unique_ptr<LineReader> reader;
  if (options.source == "lines") {
    reader = std::make_unique<LineReader>();
  } else {
    source = MakeSource(options.source, options.value, options.force_text, options.start,
                        options.step, options.seed);
    if (source == nullptr) {
      Error("unknown source " + options.source);
      return kExitFailed;
    }
  }
  client::BusClient bus;
  if (int rc = Open(link, &bus, options.sid, options.name, true, false); rc != 0) return rc;

  std::map<uint32_t, std::string> topics;  // bus topic id -> text
  RtdValue current;
  bool have_value = false;
  if (source != nullptr) have_value = source->Next(&current);
  uint64_t steps = have_value ? 1 : 0;
  bool send_failed = false;
  auto publish = [&](uint32_t id) {
    // Sends fail once the bus is gone; the loop then reports the loss itself.
    if (have_value && !bus.Publish(id, current) && bus.bus_loss() == client::BusLoss::kNone) {
      send_failed = true;
    }
  };
  Clock clock(options.duration_ms);
  uint32_t last_step = platform::TickCount();
  int rc = kExitOk;
  while (g_stop == 0 && !clock.Expired() && !send_failed) {
    if (options.count != 0 && steps >= options.count && source != nullptr) break;
    client::BusReceived m;
    const uint32_t since = platform::TickCount() - last_step;
    const uint32_t wait =
        reader != nullptr ? 20 : (since >= options.interval_ms ? 0 : options.interval_ms - since);
    if (bus.Receive(&m, std::min<uint32_t>(wait, 200))) {
      const uint16_t code = client::ClassicCodeOf(m.code);
      if (code == MSG_TOPIC) {
        topics[m.handle] = m.text;
        Line(link, "topic " + std::to_string(m.handle) + " " + m.text);
        publish(m.handle);
      } else if (code == MSG_TOPIC_CLOSE) {
        topics.erase(m.handle);
        Line(link, "close " + std::to_string(m.handle));
      } else if (code == MSG_REFRESH) {
        for (uint32_t id : m.items) {
          if (topics.count(id) != 0) publish(id);
        }
      } else if (code == MSG_DISCONNECT) {
        Error("bus closed the link: " + m.text);
        rc = kExitClosed;
        break;
      }
    } else if (ReportLoss(link, bus)) {
      if (Relink(link, &bus)) {
        // The new bus numbers its topics afresh and sends them again.
        topics.clear();
        continue;
      }
      rc = kExitClosed;
      break;
    }
    clock.KeepAlive(&bus);
    std::string line;
    if (reader != nullptr) {
      while (reader->Take(&line)) {
        current = ParseValueText(line, options.force_text);
        have_value = true;
        for (const auto& [id, text] : topics) publish(id);
      }
    } else if (platform::TickCount() - last_step >= options.interval_ms) {
      last_step = platform::TickCount();
      if (source->Next(&current)) {
        ++steps;
        for (const auto& [id, text] : topics) publish(id);
      }
    }
  }
  if (send_failed) {
    Error("the link refused a value");
    rc = kExitFailed;
  }
  Leave(&bus, "vantel pub done");
  return rc;
}

int RunSub(const LinkOptions& link, const SubOptions& options) {
  client::BusClient bus;
  if (int rc = Open(link, &bus, options.sid, options.name, false, true); rc != 0) return rc;
  // Handles are positions in the list plus one, so a value names its text directly.
  for (size_t i = 0; i < options.topics.size(); ++i) {
    if (!bus.RequestTopic(static_cast<uint32_t>(i + 1), options.topics[i])) {
      Error("could not request " + options.topics[i]);
      Leave(&bus, "vantel sub failed");
      return kExitFailed;
    }
  }
  Clock clock(options.duration_ms);
  uint64_t seen = 0;
  int rc = kExitOk;
  while (g_stop == 0 && !clock.Expired()) {
    if (options.count != 0 && seen >= options.count) break;
    client::BusReceived m;
    if (bus.Receive(&m, 100)) {
      const uint16_t code = client::ClassicCodeOf(m.code);
      const bool known = m.handle >= 1 && m.handle <= options.topics.size();
      // Appended rather than "#" + to_string(): gcc 12 at -O3 on i686 warns falsely
      // (-Wrestrict) about the operator+ of a literal and a temporary.
      std::string text = known ? options.topics[m.handle - 1] : std::string(1, '#');
      if (!known) text.append(std::to_string(m.handle));
      if (code == MSG_VALUE) {
        ++seen;
        Line(link, text + "\t" + TypeName(m.value) + "\t" + m.value.ToText());
      } else if (code == MSG_TEXT_A || code == MSG_TEXT_B) {
        ++seen;
        Line(link, text + "\t" + (code == MSG_TEXT_A ? "text-a" : "text-b") + "\t" + m.text);
      } else if (code == MSG_DISCONNECT) {
        Error("bus closed the link: " + m.text);
        rc = kExitClosed;
        break;
      }
    } else if (ReportLoss(link, bus)) {
      if (Relink(link, &bus)) continue;
      rc = kExitClosed;
      break;
    }
    clock.KeepAlive(&bus);
  }
  if (bus.bus_loss() == client::BusLoss::kNone) bus.CloseAll();
  Leave(&bus, "vantel sub done");
  return rc;
}

int RunMon(const LinkOptions& link, const MonOptions& options) {
  client::BusClient bus;
  if (int rc = Open(link, &bus, "", options.name, false, true); rc != 0) return rc;
  MonitorRequest request;
  request.send_topics = request.follow_topics = 1;
  request.send_values = request.follow_values = 1;
  request.send_clients = request.follow_clients = 1;
  if (!bus.Monitor(request)) {
    Leave(&bus, "vantel mon failed");
    return kExitFailed;
  }
  const bool table = !options.lines && link.out == nullptr && platform::StdoutIsTerminal() &&
                     platform::EnableTerminalEscapes();
  MonitorView view;
  Clock clock(options.duration_ms);
  uint64_t values = 0;
  uint32_t last_draw = 0;
  bool dirty = true;
  int rc = kExitOk;
  while (g_stop == 0 && !clock.Expired()) {
    if (options.count != 0 && values >= options.count) break;
    client::BusReceived m;
    if (bus.Receive(&m, 50)) {
      const std::string line = view.Apply(m);
      if (client::ClassicCodeOf(m.code) == MSG_TOPIC_VALUE) ++values;
      if (!table && !line.empty()) Line(link, line);
      dirty = true;
      if (client::ClassicCodeOf(m.code) == MSG_DISCONNECT) {
        // Said on the error stream too: the table view would draw over the line.
        Error("bus closed the link: " + m.text);
        rc = kExitClosed;
        break;
      }
    } else if (ReportLoss(link, bus)) {
      if (Relink(link, &bus)) {
        view = MonitorView();  // the new bus lists its topics and clients again
        dirty = true;
        continue;
      }
      rc = kExitClosed;
      break;
    }
    // Redraw at most five times a second; a busy bus would otherwise flood the terminal.
    if (table && dirty && platform::TickCount() - last_draw >= 200) {
      last_draw = platform::TickCount();
      dirty = false;
      std::fputs(("\x1b[H\x1b[2J" + view.RenderTable(100)).c_str(), stdout);
      std::fflush(stdout);
    }
    clock.KeepAlive(&bus);
  }
  Leave(&bus, "vantel mon done");
  return rc;
}

int RunDefault(const LinkOptions& link, const std::string& sid) {
  client::BusClient bus;
  if (int rc = Open(link, &bus, "", "vantel default", false, true); rc != 0) return rc;
  const bool sent = bus.SetDefaultPublisher(sid) && bus.Flush(link.connect_timeout_ms);
  if (sent) Line(link, "default publisher " + sid);
  Leave(&bus, "vantel default done");
  return sent ? kExitOk : kExitFailed;
}

}  // namespace orvex::vantel
