// Fan-out: one value, encoded once by the bus, reaches subscribers of both link kinds,
// each under its own handle, in order; values too long for one classic message are
// split for classic subscribers only.
#include <gtest/gtest.h>

#include <string>

#include "tests/bus_fixture.h"

namespace orvex::test {
namespace {

TEST_F(BusFixture, OneValueReachesEverySubscriberUnderItsOwnHandle) {
  StartBus();
  const std::string long_text(300, 'q');
  const std::string ready = EventName("ready");
  auto* publisher = Spawn({"connect|v2", "register|ABC|pub|1|0", "expect|2|h=1",
                           "expect|7|t=X|save=T", "wait|" + ready, "value|$T|int:1",
                           "value|$T|text:" + long_text, "value|$T|int:3", "expect|9|h=$T"});
  ASSERT_TRUE(WaitLine("Client connected :1 ABC; Publisher"));
  struct Sub {
    const char* kind;
    const char* handle;
  };
  std::vector<platform::ProcessObject*> subs;
  int n = 0;
  for (Sub s : {Sub{"classic", "11"}, Sub{"v2", "22"}, Sub{"classic", "33"}, Sub{"v2", "44"}}) {
    const std::string h = s.handle;
    const std::string name = "S" + std::to_string(++n);
    subs.push_back(
        Spawn({std::string("connect|") + s.kind, "register|" + name + "|s|0|1", "expect|2|h=1",
               "topic|" + h + "|@ABC:X", "signal|" + EventName(name), "until|13|h=" + h + "|v=1",
               "expect|13|h=" + h + "|v=" + long_text, "expect|13|h=" + h + "|v=3", "close|" + h}));
    ASSERT_TRUE(WaitSignal(EventName(name)));
  }
  Signal(ready);
  for (auto* s : subs) EXPECT_EQ(FinishChild(s), 0);
  EXPECT_EQ(FinishChild(publisher), 0);
}

}  // namespace
}  // namespace orvex::test
