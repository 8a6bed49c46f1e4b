// The POSIX window table's socket protocol against a hostile or careless peer, and its
// clean-up of what killed owners leave behind.
#include "window_table.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "platform/window.h"
#include "platform/window_messages.h"

namespace orvex::platform::posix {
namespace {

int calls = 0;
LResult CountingProc(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  ++calls;
  return DefaultWindowProcedure(window, message, wparam, lparam);
}

// Connects to this process's own message socket.
int ConnectToSelf() {
  const std::string path = TableFolder() + "/" + std::to_string(getpid()) + ".sock";
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  return fd;
}

// The request layout of window_table.cpp.
struct Request {
  uint64_t handle;
  uint64_t wparam;
  int64_t lparam;
  uint32_t message;
  uint32_t wait_for_result;
  uint32_t payload_size;
  uint32_t reserved;
};

class WindowTableWireTest : public ::testing::Test {
 protected:
  void SetUp() override {
    calls = 0;
    ASSERT_TRUE(RegisterWindowClass(CurrentModule(), "OrvexWireTest", 0, CountingProc));
    window = CreateTopLevelWindow(CurrentModule(), "OrvexWireTest", "wire test", WS_POPUP);
    ASSERT_NE(window, nullptr);
    calls = 0;
  }
  void TearDown() override { DestroyWindowObject(window); }
  uint64_t handle() const { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(window)); }
  WindowHandle window = nullptr;
};

TEST_F(WindowTableWireTest, AnOversizedPayloadIsNotBelievedAndGetsNoAnswer) {
  const int fd = ConnectToSelf();
  Request request{handle(), 0, 0, WM_SETTEXT, 1, 0x40000000u, 0};
  ASSERT_EQ(write(fd, &request, sizeof request), static_cast<ssize_t>(sizeof request));
  char answer[16];
  EXPECT_EQ(read(fd, answer, sizeof answer), 0);  // closed without reading a gigabyte
  close(fd);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(WindowText(window), "wire test");
}

TEST_F(WindowTableWireTest, PointerMessagesFromOutsideNeverReachTheWindow) {
  for (uint32_t message : {WM_DRAWITEM, WM_NOTIFY, WM_COPYDATA, WM_NCCALCSIZE}) {
    const int fd = ConnectToSelf();
    Request request{handle(), 0, 0x1234, message, 1, 0, 0};
    ASSERT_EQ(write(fd, &request, sizeof request), static_cast<ssize_t>(sizeof request));
    int64_t answer[2] = {-1, -1};
    EXPECT_EQ(read(fd, answer, sizeof answer), static_cast<ssize_t>(sizeof answer));
    EXPECT_EQ(answer[0], 0);
    close(fd);
  }
  EXPECT_EQ(calls, 0);
}

TEST_F(WindowTableWireTest, PostedTextMessagesAreRefused) {
  const int fd = ConnectToSelf();
  Request request{handle(), 0, 0, WM_SETTEXT, 0, 3, 0};
  ASSERT_EQ(write(fd, &request, sizeof request), static_cast<ssize_t>(sizeof request));
  ASSERT_EQ(write(fd, "abc", 3), 3);
  int64_t answer[2] = {-1, -1};
  EXPECT_EQ(read(fd, answer, sizeof answer), static_cast<ssize_t>(sizeof answer));
  EXPECT_EQ(answer[0], 0);
  close(fd);
  EXPECT_EQ(WindowText(window), "wire test");
}

TEST_F(WindowTableWireTest, AnUnterminatedTitleIsEndedByTheOwner) {
  // A loop on another thread answers the sent message.
  std::thread loop([] {
    QueuedMessage message;
    while (GetNextMessage(&message) > 0) DispatchQueuedMessage(message);
  });
  const int fd = ConnectToSelf();
  Request request{handle(), 0, 0, WM_SETTEXT, 1, 3, 0};
  ASSERT_EQ(write(fd, &request, sizeof request), static_cast<ssize_t>(sizeof request));
  ASSERT_EQ(write(fd, "abc", 3), 3);
  int64_t answer[2] = {-1, -1};
  EXPECT_EQ(read(fd, answer, sizeof answer), static_cast<ssize_t>(sizeof answer));
  EXPECT_EQ(answer[0], 1);
  close(fd);
  PostQuit(0);
  loop.join();
  EXPECT_EQ(WindowText(window), "abc");
  EXPECT_EQ(calls, 1);
}

TEST(WindowTableCleanUp, SocketsAndEntriesOfEndedOwnersAreRemoved) {
  std::vector<TableEntry> entries;
  ASSERT_TRUE(ListEntries(&entries));  // creates the folder if needed
  const std::string socket = TableFolder() + "/999999999.sock";
  const std::string entry = TableFolder() + "/999999999-1.win";
  std::ofstream(socket) << "";
  std::ofstream(entry) << "12345\nSomeClass\n1\nA title\n";
  ASSERT_TRUE(ListEntries(&entries));
  for (const auto& each : entries) EXPECT_NE(each.title, "A title");
  EXPECT_NE(access(socket.c_str(), F_OK), 0);
  EXPECT_NE(access(entry.c_str(), F_OK), 0);
}

}  // namespace
}  // namespace orvex::platform::posix
