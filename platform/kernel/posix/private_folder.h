#pragma once
// Folders and files that only the effective user may use: the home of the shared
// objects and of the window table. What another user made, or may write to, could be
// planted or watched by them, so it is refused rather than used.
#include <string>

namespace orvex::platform::posix {

// Creates `path` with mode 0700 when it is missing, then opens it. An existing folder
// is used only when it is a real folder (not a link) owned by the effective user that
// neither group nor others may write; one that they may still read or enter is
// narrowed to 0700. Returns a descriptor of the folder (the caller closes it), or -1
// when the folder is refused or cannot be made. Any thread.
int OpenPrivateFolder(const std::string& path);

// True when `fd` is a regular file owned by the effective user with mode exactly 0600.
bool IsPrivateFile(int fd);

// Opens `name` inside the folder `folder_fd` for reading and writing, never through a
// link; with `create`, makes it (mode 0600) when it is missing and sets *created.
// The file must pass IsPrivateFile, else it is refused (closed, -1, errno EPERM). -1
// with errno ENOENT when it is missing and `create` is false.
int OpenPrivateFile(int folder_fd, const std::string& name, bool create, bool* created);

}  // namespace orvex::platform::posix
