#pragma once
// Files and folders addressed by path. Windows: the "A" file functions. POSIX: the
// same operations on the native file system. Results, never exceptions; any thread.
#include <functional>
#include <string>
#include <vector>

namespace orvex::platform {

// The separator of the native paths: '\\' on Windows, '/' on POSIX.
char PathSeparator();

// `name` appended to `folder` with one separator between them; an absolute name is the
// result by itself, "." and ".." segments are resolved (PathCombineA). Empty when the
// result would not fit 259 characters or both are empty.
std::string CombinePath(const std::string& folder, const std::string& name);

// `path` made absolute against the current directory, "." and ".." resolved, a
// trailing separator kept (Windows: GetFullPathNameA; POSIX: no link is resolved).
// Empty when it cannot be made or would not fit 259 characters.
std::string AbsolutePath(const std::string& path);

// Creates one folder level with default security (POSIX: mode 0777 less the umask).
// False when it exists already or cannot be created.
bool CreateOneFolder(const std::string& path);

// Deletes a file (never a directory). False when it cannot be deleted.
bool DeleteFileEntry(const std::string& path);

// Creates `path` exclusively (fails when anything of that name exists), for writing
// and shared for reading, and writes `bytes` with one call. True when it was created
// and the write succeeded; a created file is left in place after a failed write.
bool WriteFileExclusive(const std::string& path, const std::string& bytes);

// Creates a new file named `prefix` + an unpredictable part + `suffix` that no one
// else can have planted (created exclusively, never through a link; POSIX mode 0600),
// writes what `bytes_for` answers for its path and stores the path. False when none could be
// created or the write failed (the file is then removed again).
bool CreateUniqueFile(const std::string& prefix, const std::string& suffix,
                      const std::function<std::string(const std::string&)>& bytes_for,
                      std::string* path);

// A folder that files written by administrators go into: created when missing (POSIX
// mode 0755, or 01777 when `shared`: anyone may add a file, only its owner removes
// it), else accepted only when it is a directory reached through no link, owned by
// root or this process's user and writable by no one else (a `shared` one may be
// sticky and writable by all; one of ours is made so). Windows: created with default
// security, an existing directory accepted.
bool EnsureGuardedFolder(const std::string& path, bool shared);

// Replaces the file at `path` by a new one holding `bytes`, never writing through a
// link or an existing file. POSIX: mode 0644 whatever the umask; a file there that
// another user owns is refused, unless this process is root (it is then replaced).
// Windows: Everyone then gets full access to the new file (a failure of that grant is
// ignored). False when the file cannot be written whole.
bool WriteGuardedFile(const std::string& path, const std::string& bytes);

// Copies a file over `to` (replacing a file there); POSIX keeps the source's mode.
bool CopyFileReplacing(const std::string& from, const std::string& to);

// Names of the direct subdirectories of `folder` in the order the system lists them,
// "." and ".." excluded. False when the folder cannot be listed.
bool ListSubfolderNames(const std::string& folder, std::vector<std::string>* names);

// The temporary folder with a trailing separator (GetTempPathA with 260 bytes; POSIX
// $TMPDIR when it is an absolute path, else /tmp). False when it cannot be obtained.
bool TempFolderPath(std::string* path);

// Where temporary files go when the temporary folder is unknown: "C:\\temp" on
// Windows, "/tmp" on POSIX.
std::string FallbackTempFolder();

// The file names under which a program named `name` (for example "Corvane.exe") is
// looked up, in order: Windows the name itself; POSIX also the lowercase stem when the
// name ends with ".exe" (`corvane`).
std::vector<std::string> ProgramFileCandidates(const std::string& name);

}  // namespace orvex::platform
