#pragma once
// Files and folders addressed by path. Windows: the "A" file functions. POSIX: the
// same operations on the native file system. Results, never exceptions; any thread.
#include <string>
#include <vector>

namespace orvex::platform {

// The separator of the native paths: '\\' on Windows, '/' on POSIX.
char PathSeparator();

// `name` appended to `folder` with one separator between them; an absolute name is the
// result by itself, "." and ".." segments are resolved (PathCombineA). Empty when the
// result would not fit 259 characters or both are empty.
std::string CombinePath(const std::string& folder, const std::string& name);

// Creates one folder level with default security (POSIX: mode 0777 less the umask).
// False when it exists already or cannot be created.
bool CreateOneFolder(const std::string& path);

// Deletes a file (never a directory). False when it cannot be deleted.
bool DeleteFileEntry(const std::string& path);

// Creates `path` exclusively (fails when anything of that name exists), for writing
// and shared for reading, and writes `bytes` with one call. True when it was created
// and the write succeeded; a created file is left in place after a failed write.
bool WriteFileExclusive(const std::string& path, const std::string& bytes);

// Copies a file over `to` (replacing a file there); POSIX keeps the source's mode.
bool CopyFileReplacing(const std::string& from, const std::string& to);

// Names of the direct subdirectories of `folder` in the order the system lists them,
// "." and ".." excluded. False when the folder cannot be listed.
bool ListSubfolderNames(const std::string& folder, std::vector<std::string>* names);

// The temporary folder with a trailing separator (GetTempPathA with 260 bytes; POSIX
// $TMPDIR, else /tmp). False when it cannot be obtained.
bool TempFolderPath(std::string* path);

// Where temporary files go when the temporary folder is unknown: "C:\\temp" on
// Windows, "/tmp" on POSIX.
std::string FallbackTempFolder();

// The file names under which a program named `name` (for example "Corvane.exe") is
// looked up, in order: Windows the name itself; POSIX also the lowercase stem when the
// name ends with ".exe" (`corvane`).
std::vector<std::string> ProgramFileCandidates(const std::string& name);

}  // namespace orvex::platform
