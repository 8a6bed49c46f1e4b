#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "threading/critical_section.h"

namespace orvex {

// Trace levels and their names in a line: 1 "ERR", 2 "DBG", 3 "INF"; others "???".
enum TraceLevel : int32_t { kTraceErr = 1, kTraceDbg = 2, kTraceInf = 3 };

// The process-wide record of the last line written with TraceLine.
struct TraceRecord {
  int32_t level = 0;
  std::string text;  // the record's own copy of the line text
  int64_t time = 0;  // seconds since 1970, UTC
  int32_t reserved = 0;
};

// Created on first use (level 0, no text, the creation time); never freed.
TraceRecord& TheTraceRecord();

// Writes one line of `level` to the debugger output as four pieces: the level name,
// ": ", `text` and "\n"; records level, text and time in the trace record.
void TraceLine(int32_t level, const char* text);

// A line stream bound to one level. Append writes a line at once, unless Begin has
// started a composed line: then pieces accumulate until Flush writes them as one line.
// The streams may be used from several threads: a composed line holds the stream
// from Begin to Flush, so lines of two threads never mix.
class TraceStream {
 public:
  explicit TraceStream(int32_t level) : level_(level) {}
  TraceStream(const TraceStream&) = delete;
  TraceStream& operator=(const TraceStream&) = delete;

  void Append(std::string_view text);
  void Begin();
  void Flush();

  int32_t level() const { return level_; }

 private:
  const int32_t level_;
  // Forsaken, like every such lock, when a thread stopped by force held it: the bus
  // log must not hang the shutdown that follows.
  SfCriticalSection lock_;
  std::string text_;
  bool in_progress_ = false;
};

// The three process-wide streams.
TraceStream& TraceErr();
TraceStream& TraceDbg();
TraceStream& TraceInf();

// The bus's own "DBG" stream.
inline TraceStream& BusLog() {
  return TraceDbg();
}

}  // namespace orvex
