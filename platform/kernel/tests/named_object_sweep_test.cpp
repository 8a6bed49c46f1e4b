// Objects of holders killed with SIGKILL stay behind as files; the sweep at bus start
// removes them, and only them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "named_object.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "platform/named_mapping.h"
#include "platform/named_mutex.h"
#include "platform/process.h"
#include "platform/stale_objects.h"
#include "tests/support/child_process.h"

namespace orvex::platform::posix {
namespace {

bool FileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

std::string PathOf(ObjectKind kind, const std::string& name) {
  return ObjectFolder() + "/" + ObjectFileName(kind, name);
}

// Holds one object of each kind under args[0] until it is killed; args[1] is a file
// made once they exist.
ORVEX_CHILD_ROLE(sweep_holder) {
  bool existed = false;
  if (CreateMapping(args[0], 4096, nullptr, &existed) == nullptr) return 2;
  if (CreateNamedMutex(args[0], nullptr, &existed) == nullptr) return 3;
  if (CreateNamedEvent(args[0], nullptr, &existed) == nullptr) return 4;
  const int ready = open(args[1].c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (ready >= 0) close(ready);
  SleepMs(60000);
  return 0;
}

TEST(StaleObjectSweepTest, RemovesWhatKilledHoldersLeftAndNothingElse) {
  const std::string stale = test::UniqueName("SweepStale");
  const std::string ready = "/tmp/" + test::UniqueName("sweep-ready");
  ProcessObject* holder = test::SpawnChild("sweep_holder", {stale, ready});
  ASSERT_NE(holder, nullptr);
  const uint32_t start = TickCount();
  while (!FileExists(ready) && TickCount() - start < 15000) SleepMs(20);
  ASSERT_TRUE(FileExists(ready));
  ASSERT_TRUE(KillProcess(holder));
  ASSERT_TRUE(WaitProcess(holder, 10000, nullptr));
  CloseProcess(holder);
  unlink(ready.c_str());
  for (ObjectKind kind : {ObjectKind::kMapping, ObjectKind::kMutex, ObjectKind::kEvent}) {
    ASSERT_TRUE(FileExists(PathOf(kind, stale))) << static_cast<char>(kind);
  }

  // A live object of ours, and a file the checks refuse (not mode 0600), must stay.
  const std::string live = test::UniqueName("SweepLive");
  bool existed = false;
  MappingObject* held = CreateMapping(live, 4096, nullptr, &existed);
  ASSERT_NE(held, nullptr);
  const std::string refused = PathOf(ObjectKind::kMapping, test::UniqueName("SweepLoose"));
  const int loose = open(refused.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  ASSERT_GE(loose, 0);
  ASSERT_EQ(fchmod(loose, 0644), 0);
  close(loose);

  EXPECT_GE(SweepStaleObjects(), 3u);
  for (ObjectKind kind : {ObjectKind::kMapping, ObjectKind::kMutex, ObjectKind::kEvent}) {
    EXPECT_FALSE(FileExists(PathOf(kind, stale))) << static_cast<char>(kind);
  }
  EXPECT_TRUE(FileExists(PathOf(ObjectKind::kMapping, live)));
  EXPECT_TRUE(FileExists(refused));
  MappingObject* again = OpenMapping(live);  // the live object is still usable
  EXPECT_NE(again, nullptr);
  CloseMapping(again);
  CloseMapping(held);
  unlink(refused.c_str());
}

}  // namespace
}  // namespace orvex::platform::posix
