#pragma once
// Where `vantel pub` takes its values from: a constant, a counter, a random walk, or
// lines of text. Each source hands out the value of the current step and moves on.
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <string_view>

#include "protocol/rtd_value.h"

namespace orvex::vantel {

// Reads a value the way a person types it: "true"/"false" as a boolean, a whole number
// as int32 (int64 when it does not fit), a decimal number as a double, "" as an empty
// value, and anything else as text. With `force_text` every input is text.
RtdValue ParseValueText(std::string_view text, bool force_text = false);

// The short name of a value's type as the tools print it ("int32", "text", ...);
// "type<N>" for codes without a name.
std::string TypeName(const RtdValue& value);

// A stream of values for a publisher. Next() answers the value of the next step, or
// false when the source has nothing (yet).
class ValueSource {
 public:
  virtual ~ValueSource() = default;
  virtual bool Next(RtdValue* out) = 0;
};

// The same value at every step.
class ConstantSource : public ValueSource {
 public:
  explicit ConstantSource(RtdValue value) : value_(std::move(value)) {}
  bool Next(RtdValue* out) override;

 private:
  RtdValue value_;
};

// start, start + step, start + 2 * step, ... as int32, wrapping like the int32 counter
// of the bus (two's complement) rather than overflowing.
class CounterSource : public ValueSource {
 public:
  CounterSource(int32_t start, int32_t step) : next_(start), step_(step) {}
  bool Next(RtdValue* out) override;

 private:
  int32_t next_;
  int32_t step_;
};

// A double that starts at `start` and moves by a uniform step in [-step, +step] each
// time; the same seed gives the same walk.
class RandomWalkSource : public ValueSource {
 public:
  RandomWalkSource(double start, double step, uint32_t seed);
  bool Next(RtdValue* out) override;

 private:
  double current_;
  bool first_ = true;
  std::mt19937 engine_;
  std::uniform_real_distribution<double> move_;
};

// Builds a source from its command-line name ("const", "counter", "walk"); null for
// other names. `value` is the constant's text, `start`/`step` the numbers of the
// counter and the walk.
std::unique_ptr<ValueSource> MakeSource(std::string_view kind, const std::string& value,
                                        bool force_text, double start, double step, uint32_t seed);

}  // namespace orvex::vantel
