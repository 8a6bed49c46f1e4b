#include "threading/trace.h"

#include <ctime>
#include <mutex>

#include "platform/debug_output.h"

namespace orvex {
namespace {

const char* LevelName(int32_t level) {
  switch (level) {
    case kTraceErr:
      return "ERR";
    case kTraceDbg:
      return "DBG";
    case kTraceInf:
      return "INF";
    default:
      return "???";
  }
}

// One line is four separate writes; a process-wide lock keeps lines whole when
// several threads trace at once.
void EmitLine(int32_t level, const char* text) {
  static std::mutex* emit_lock = new std::mutex;
  std::lock_guard<std::mutex> guard(*emit_lock);
  platform::DebugOutput(LevelName(level));
  platform::DebugOutput(": ");
  platform::DebugOutput(text);
  platform::DebugOutput("\n");
}

}  // namespace

TraceRecord& TheTraceRecord() {
  static TraceRecord* record = [] {
    auto* r = new TraceRecord;
    r->time = static_cast<int64_t>(std::time(nullptr));
    return r;
  }();
  return *record;
}

void TraceLine(int32_t level, const char* text) {
  TraceRecord& record = TheTraceRecord();
  record.level = level;
  record.text = text;
  record.time = static_cast<int64_t>(std::time(nullptr));
  EmitLine(level, text);
}

void TraceStream::Append(std::string_view text) {
  SfScopedLock guard(&lock_);
  if (in_progress_) {
    text_.append(text);
    return;
  }
  const std::string line(text);
  TraceLine(level_, line.c_str());
}

void TraceStream::Begin() {
  lock_.Enter();  // held until Flush
  if (in_progress_) {
    lock_.Leave();  // nested Begin of the same thread: one hold is enough
    return;
  }
  in_progress_ = true;
}

void TraceStream::Flush() {
  SfScopedLock guard(&lock_);
  if (!in_progress_) {
    return;
  }
  const std::string line = std::move(text_);
  text_.clear();
  in_progress_ = false;
  TraceLine(level_, line.c_str());
  lock_.Leave();  // the hold taken by Begin
}

TraceStream& TraceErr() {
  static TraceStream* stream = new TraceStream(kTraceErr);
  return *stream;
}

TraceStream& TraceDbg() {
  static TraceStream* stream = new TraceStream(kTraceDbg);
  return *stream;
}

TraceStream& TraceInf() {
  static TraceStream* stream = new TraceStream(kTraceInf);
  return *stream;
}

}  // namespace orvex
