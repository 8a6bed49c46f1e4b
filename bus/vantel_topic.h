#pragma once
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "protocol/rtd_value.h"

namespace orvex {

class RtdServer;

namespace VantelTopic {

// A topic the bus publishes itself, reached as "@BUS:" + name. Keeps the ids of the bus
// topics it feeds and its current value. Server thread only.
class CBase {
 public:
  CBase(RtdServer* server, std::string name) : server_(server), name_(std::move(name)) {}
  virtual ~CBase() = default;
  CBase(const CBase&) = delete;
  CBase& operator=(const CBase&) = delete;

  // True when `text` equals the name, compared without regard to case.
  virtual bool Matches(std::string_view text) const;
  // Refreshes *value; true when subscribers should receive it.
  virtual bool Update(RtdValue* value) = 0;

  const std::string& name() const { return name_; }
  std::set<uint32_t>& attached() { return attached_; }
  const std::set<uint32_t>& attached() const { return attached_; }
  RtdValue& value() { return value_; }

 protected:
  RtdServer* server() const { return server_; }

 private:
  RtdServer* server_;
  std::string name_;
  std::set<uint32_t> attached_;
  RtdValue value_;
};

// A constant text.
class CConst : public CBase {
 public:
  CConst(RtdServer* server, std::string name, std::string_view text);
  bool Update(RtdValue* value) override;
};

// Matches every text: the answer for names the bus does not know.
class CDefault : public CConst {
 public:
  using CConst::CConst;
  bool Matches(std::string_view text) const override;
  bool Update(RtdValue* value) override;
};

// A counter (type 1) or the current time (type 9, seconds since 1970 UTC) that
// advances at most once per period.
class CIntervalCounter : public CBase {
 public:
  enum class Mode { kCount, kTime };
  CIntervalCounter(RtdServer* server, std::string name, uint32_t period_ms, Mode mode);
  bool Update(RtdValue* value) override;
  int32_t counter() const { return counter_; }
  // Milliseconds from `now` until Update has a new value (0: it has one now).
  uint32_t DueInMs(uint32_t now) const;

 private:
  uint32_t last_update_ = 0;
  uint32_t period_ms_;
  int32_t counter_ = 0;
  Mode mode_;
};

// The SIDs of the primary publishers in ascending order, joined by ",".
class CPubSidList : public CBase {
 public:
  using CBase::CBase;
  bool Update(RtdValue* value) override;
};

// The default publisher's SID (the head of the publisher list), or the empty text.
class CDefPubSid : public CBase {
 public:
  using CBase::CBase;
  bool Update(RtdValue* value) override;
};

// Values the bus replaced for readers that fell behind (64-bit count since the bus
// started); published when it changed, at most once per period.
class CConflatedCount : public CBase {
 public:
  CConflatedCount(RtdServer* server, std::string name, uint32_t period_ms)
      : CBase(server, std::move(name)), period_ms_(period_ms) {}
  bool Update(RtdValue* value) override;
  // Milliseconds until Update would publish a changed count; kInfinite while unchanged.
  uint32_t DueInMs(uint32_t now) const;

 private:
  uint32_t last_update_ = 0;
  uint32_t period_ms_;
  bool published_ = false;
  uint64_t count_ = 0;
};

}  // namespace VantelTopic
}  // namespace orvex
