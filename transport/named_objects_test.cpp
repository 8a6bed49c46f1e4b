// Named mappings, mutexes and events across real processes: lifetime (also when a
// holder is killed), abandonment, open-without-create and the created-new report.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/clock.h"
#include "platform/event.h"
#include "platform/security.h"
#include "tests/support/child_process.h"
#include "transport/named_event.h"
#include "transport/sf_mutex.h"
#include "transport/sf_shared_memory.h"

namespace orvex {
namespace {

using test::UniqueName;

// Child roles. Each announces readiness through the event named in args[1] (after
// taking its object) and then waits to be killed or for args[2] to be set.
ORVEX_CHILD_ROLE(hold_mutex) {
  SfMutex mutex;
  if (!mutex.Create(args[0], true)) return 2;
  platform::EventObject* ready = MakeNamedEvent(args[1], true);
  if (ready == nullptr) return 3;
  platform::SetEvent(ready);
  platform::SleepMs(60000);
  return 0;
}

ORVEX_CHILD_ROLE(hold_mapping) {
  SfSharedMemory memory;
  if (!memory.Create4096(args[0])) return 2;
  std::strcpy(reinterpret_cast<char*>(memory.view()), "child was here");
  platform::EventObject* ready = MakeNamedEvent(args[1], true);
  if (ready == nullptr) return 3;
  platform::SetEvent(ready);
  platform::SleepMs(60000);
  return 0;
}

ORVEX_CHILD_ROLE(hold_event) {
  platform::EventObject* event = MakeNamedEvent(args[0], false);
  platform::EventObject* ready = MakeNamedEvent(args[1], true);
  if (event == nullptr || ready == nullptr) return 3;
  platform::SetEvent(event);  // left signalled: a new object would not be
  platform::SetEvent(ready);
  platform::SleepMs(60000);
  return 0;
}

ORVEX_CHILD_ROLE(set_event_later) {
  platform::EventObject* event = MakeNamedEvent(args[0], true);
  if (event == nullptr) return 3;
  platform::SleepMs(100);
  platform::SetEvent(event);
  platform::CloseEvent(event);
  return 0;
}

ORVEX_CHILD_ROLE(probe_mapping) {
  SfSharedMemory memory;
  if (!memory.OpenOrCreate(false, args[0], 4096)) return 1;
  return std::strcmp(reinterpret_cast<char*>(memory.view()), args[1].c_str()) == 0 ? 0 : 4;
}

// Starts `role` holding `name`, waits until it is ready and returns it.
platform::ProcessObject* StartHolder(const char* role, const std::string& name) {
  const std::string ready_name = UniqueName("Local\\OrvexTestReady");
  platform::EventObject* ready = MakeNamedEvent(ready_name, false);
  platform::ProcessObject* child = test::SpawnChild(role, {name, ready_name});
  const bool ok =
      child != nullptr && platform::WaitEvent(ready, 20000) == platform::WaitResult::kSignalled;
  platform::CloseEvent(ready);
  if (!ok && child != nullptr) {
    platform::KillProcess(child);
    platform::CloseProcess(child);
    return nullptr;
  }
  return child;
}

void KillAndClose(platform::ProcessObject* child) {
  EXPECT_TRUE(platform::KillProcess(child));
  platform::CloseProcess(child);
}

TEST(SfMutexCrossProcessTest, KilledHolderLeavesTheMutexAbandoned) {
  const std::string name = UniqueName("Local\\OrvexTestMutex");
  platform::ProcessObject* child = StartHolder("hold_mutex", name);
  ASSERT_NE(child, nullptr);
  SfMutex mutex;
  ASSERT_TRUE(mutex.Open(name, false));
  EXPECT_FALSE(mutex.Acquire(50));  // held by the child
  EXPECT_EQ(mutex.count(), 0u);
  KillAndClose(child);
  ASSERT_TRUE(mutex.Acquire(5000));
  EXPECT_TRUE(mutex.was_abandoned());
  EXPECT_EQ(mutex.count(), 1u);
  mutex.Release();
  // Consistent again: the next acquisition is an ordinary one.
  ASSERT_TRUE(mutex.Acquire(0));
  EXPECT_FALSE(mutex.was_abandoned());
}

TEST(SfMutexCrossProcessTest, ObjectsDisappearWithTheirLastHolderEvenWhenKilled) {
  const std::string mutex_name = UniqueName("Local\\OrvexTestMutex");
  platform::ProcessObject* child = StartHolder("hold_mutex", mutex_name);
  ASSERT_NE(child, nullptr);
  KillAndClose(child);
  SfMutex probe;
  EXPECT_FALSE(probe.Open(mutex_name, false));
  SfMutex fresh(mutex_name);
  ASSERT_TRUE(fresh.CreateNew());
  EXPECT_EQ(fresh.created_new(), 1);  // a new object, not the dead child's

  const std::string map_name = UniqueName("Local\\OrvexTestMap");
  child = StartHolder("hold_mapping", map_name);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(test::RunChild("probe_mapping", {map_name, "child was here"}), 0);
  KillAndClose(child);
  EXPECT_FALSE(NameExists(map_name));
  SfSharedMemory memory;
  ASSERT_TRUE(memory.Create4096(map_name));
  EXPECT_EQ(memory.view()[0], 0);  // zero-filled: a new mapping

  const std::string event_name = UniqueName("Local\\OrvexTestEvent");
  child = StartHolder("hold_event", event_name);
  ASSERT_NE(child, nullptr);
  platform::EventObject* live = MakeNamedEvent(event_name, true);
  ASSERT_NE(live, nullptr);
  EXPECT_EQ(platform::WaitEvent(live, 0), platform::WaitResult::kSignalled);
  platform::CloseEvent(live);
  KillAndClose(child);
  EXPECT_EQ(MakeNamedEvent(event_name, true), nullptr);
  platform::EventObject* renewed = MakeNamedEvent(event_name, false);
  ASSERT_NE(renewed, nullptr);
  EXPECT_EQ(platform::WaitEvent(renewed, 0), platform::WaitResult::kTimedOut);
  platform::CloseEvent(renewed);
}

TEST(SfMutexCrossProcessTest, NormalExitAlsoRemovesTheObject) {
  const std::string name = UniqueName("Local\\OrvexTestMap");
  {
    SfSharedMemory memory;
    ASSERT_TRUE(memory.Create4096(name));
    EXPECT_TRUE(NameExists(name));
  }
  EXPECT_FALSE(NameExists(name));
  EXPECT_NE(test::RunChild("probe_mapping", {name, ""}), 0);
}

TEST(NamedEventCrossProcessTest, AWaiterIsWokenByAnotherProcess) {
  const std::string name = UniqueName("Local\\OrvexTestEvent");
  platform::EventObject* event = MakeNamedEvent(name, false);
  ASSERT_NE(event, nullptr);
  platform::ProcessObject* child = test::SpawnChild("set_event_later", {name});
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(platform::WaitEvent(event, 20000), platform::WaitResult::kSignalled);
  int code = -1;
  EXPECT_TRUE(platform::WaitProcess(child, 20000, &code));
  EXPECT_EQ(code, 0);
  platform::CloseProcess(child);
  platform::CloseEvent(event);
}

TEST(SfMutexTest, CountsRecursionPerObjectAndReleasesOnClose) {
  const std::string name = UniqueName("Local\\OrvexTestMutex");
  SfMutex a(name);
  ASSERT_TRUE(a.CreateNew());
  EXPECT_EQ(a.created_new(), 1);
  SfMutex b(name);
  ASSERT_TRUE(b.CreateNew());
  EXPECT_EQ(b.created_new(), 0);  // an existing name
  ASSERT_TRUE(a.Acquire());
  ASSERT_TRUE(a.Acquire(0));  // counts up without waiting
  EXPECT_EQ(a.count(), 2u);
  a.Release();
  EXPECT_EQ(a.count(), 1u);
  a.Close();  // releases the held mutex exactly once
  EXPECT_EQ(a.count(), 0u);
  EXPECT_EQ(a.created_new(), 0);
  EXPECT_EQ(test::RunChild("probe_free_mutex", {name}), 0);
  a.Release();                 // count 0: nothing happens
  EXPECT_FALSE(a.Acquire(0));  // no handle
}

ORVEX_CHILD_ROLE(probe_free_mutex) {
  SfMutex mutex;
  if (!mutex.Open(args[0], false)) return 1;
  return mutex.Acquire(2000) ? 0 : 2;
}

TEST(SfMutexTest, CreateNewWithoutNameFailsAndOpenOfMissingCreatesNothing) {
  SfMutex unnamed;
  EXPECT_FALSE(unnamed.CreateNew());
  const std::string name = UniqueName("Local\\OrvexTestMissing");
  SfMutex mutex;
  EXPECT_FALSE(mutex.Open(name, true));
  EXPECT_FALSE(mutex.Open(name, false));
  SfMutex creator(name);
  ASSERT_TRUE(creator.CreateNew());
  EXPECT_EQ(creator.created_new(), 1);  // the failed opens left nothing behind
}

TEST(SfSharedMemoryTest, OpenCreateRemapAndClose) {
  const std::string name = UniqueName("Local\\OrvexTestMap");
  SfSharedMemory missing;
  EXPECT_FALSE(missing.OpenOrCreate(false, name, 512));
  EXPECT_FALSE(missing.IsValid());
  EXPECT_FALSE(NameExists(name));  // the failed open created nothing
  EXPECT_FALSE(missing.OpenOrCreate(true, "", 512));

  SfSharedMemory server;
  ASSERT_TRUE(server.OpenOrCreate(true, name, 512));
  EXPECT_EQ(server.created(), 1);
  EXPECT_EQ(server.size(), 512u);
  server.view()[511] = 0x5A;

  SfSharedMemory client;
  ASSERT_TRUE(client.OpenOrCreate(false, name, 512));
  EXPECT_EQ(client.created(), 0);
  EXPECT_EQ(client.view()[511], 0x5A);
  // A second creator attaches; the size stays the creator's.
  SfSharedMemory attacher;
  ASSERT_TRUE(attacher.OpenOrCreate(true, name, 256));
  EXPECT_EQ(attacher.view()[0], 0);
  ASSERT_TRUE(attacher.Remap(0));
  EXPECT_GE(attacher.mapped_length(), 512u);
  // A view larger than the object fails and leaves the wrapper closed.
  SfSharedMemory too_big;
  EXPECT_FALSE(too_big.OpenOrCreate(false, name, 1 << 20));
  EXPECT_FALSE(too_big.IsValid());
  EXPECT_TRUE(too_big.name().empty());

  server.Close();
  EXPECT_FALSE(server.IsValid());
  EXPECT_TRUE(server.name().empty());
  EXPECT_EQ(server.size(), 0u);
  EXPECT_TRUE(NameExists(name));  // still held by the others
}

TEST(SfSharedMemoryTest, OpenElseCreateAndNameExistsIgnoresOtherKinds) {
  const std::string name = UniqueName("Local\\OrvexTestAcc");
  SfSharedMemory first;
  ASSERT_TRUE(first.OpenElseCreate4096(name));
  first.view()[0] = 7;
  SfSharedMemory second;
  ASSERT_TRUE(second.OpenElseCreate4096(name));
  EXPECT_EQ(second.view()[0], 7);

  const std::string mutex_name = UniqueName("Local\\OrvexTestOnlyMutex");
  SfMutex mutex;
  ASSERT_TRUE(mutex.Create(mutex_name, false));
  EXPECT_FALSE(NameExists(mutex_name));
  // Names longer than 63 characters are used whole.
  const std::string long_name = UniqueName("Local\\" + std::string(80, 'L'));
  SfSharedMemory long_mapping;
  ASSERT_TRUE(long_mapping.Create4096(long_name));
  EXPECT_TRUE(NameExists(long_name));
  EXPECT_FALSE(NameExists(long_name.substr(0, 63)));
}

TEST(SharedSecurityTest, SharedObjectsUseTheSharedDescriptor) {
  const std::string described = platform::DescribeSecurity(platform::SharedSecurityAttributes());
#ifdef _WIN32
  EXPECT_EQ(described, "D:(A;OICI;GA;;;BG)(A;OICI;GA;;;AN)(A;OICI;GA;;;AU)(A;OICI;GA;;;BA)");
#else
  EXPECT_EQ(described, "owner-only");
#endif
  EXPECT_EQ(platform::SharedSecurityAttributes(), platform::SharedSecurityAttributes());
}

}  // namespace
}  // namespace orvex
