#pragma once
// The per-user table of top-level windows of the POSIX backend.
//
// A folder ($XDG_RUNTIME_DIR/orvex-windows, else /tmp/orvex-<euid>/windows, mode 0700,
// each level owned by the effective user and closed to others) holds one file per window,
// "<pid>-<serial>.win", with the owner's start time, the class, the title and the visibility, and
// one Unix stream socket per owning process,
// "<pid>.sock", on which the owner accepts messages for its windows. Files are replaced
// by rename, so readers never see half an entry. An entry whose owner has ended (or
// whose pid now belongs to another process) is stale: readers skip and remove it.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orvex::platform::posix {

// The table folder, made when missing; empty when a folder on the way belongs to
// another user or others may write to it: every table operation then fails.
std::string TableFolder();

struct TableEntry {
  uint64_t handle = 0;  // owner pid in the high 32 bits, serial in the low ones
  std::string window_class;
  std::string title;
  bool visible = false;
};

// Writes or replaces the entry of a window of this process.
bool PublishEntry(const TableEntry& entry);
void WithdrawEntry(uint64_t handle);

// Live entries of all processes, ordered by owner pid and serial; stale ones removed.
bool ListEntries(std::vector<TableEntry>* entries);
bool ReadEntry(uint64_t handle, TableEntry* entry);

// What arrives on this process's socket: a message for one of its windows. The handler
// runs on the socket's thread and returns the message's result (for posts: whether it
// was queued).
using IncomingHandler = std::function<int64_t(uint64_t handle, uint32_t message, uint64_t wparam,
                                              int64_t lparam, bool wait_for_result)>;

// Starts the socket of this process (once); later calls only replace nothing.
bool StartMessageSocket(const IncomingHandler& handler);

// Delivers a message to another process's window through its owner's socket. With
// `wait_for_result` the call returns after the owner's loop answered. False when the
// owner cannot be reached or went away before answering.
bool DeliverRemote(uint64_t handle, uint32_t message, uint64_t wparam, int64_t lparam,
                   bool wait_for_result, int64_t* result);

}  // namespace orvex::platform::posix
