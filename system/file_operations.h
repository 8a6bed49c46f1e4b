#pragma once
// Path and file helpers of the registration framework. Paths use the native
// separator ('\\' on Windows, '/' on POSIX). Results, never exceptions; any thread.
#include <string>
#include <vector>

namespace orvex::system {

// Full path of the running executable; empty on failure.
std::string GetModulePath();

// GetModulePath without the file name, trailing separator kept; empty on failure.
std::string GetModuleFolder();

// The temporary folder with a trailing separator (GetTempPathA; POSIX $TMPDIR or
// /tmp); "C:\\temp" (POSIX "/tmp") when it cannot be obtained.
std::string GetTempFolder();

// The user's local application-data folder (created when missing) joined with
// `name`; empty when the folder cannot be obtained.
std::string GetLocalAppDataFolder(const std::string& name);

// `name` appended to `folder` with one separator between them (PathCombineA: an
// absolute name is the result by itself, "." and ".." are resolved); empty when the
// result would not fit 259 characters.
std::string JoinPath(const std::string& folder, const std::string& name);

// `path` made absolute against the current directory ("." and ".." resolved); empty
// when it cannot be.
std::string AbsolutePathOf(const std::string& path);

// Replaces the file at `path` (a directory there is left alone and makes it fail) by
// one holding exactly `bytes`, created exclusively with one write. True when written.
bool WriteNewFile(const std::string& path, const std::string& bytes);

// Copies `from` to `to`, replacing an existing file. True when copied.
bool CopyFileOver(const std::string& from, const std::string& to);

// Deletes the file at `path`. False when it cannot be deleted (or is missing).
bool DeleteFileAt(const std::string& path);

// Creates one folder level; true when created or already a directory.
bool CreateFolder(const std::string& path);

// Names of the direct subfolders of `folder` ("." and ".." excluded) in the order the
// system lists them; empty when there are none or the folder cannot be read.
std::vector<std::string> ListSubfolders(const std::string& folder);

// `folder` joined with `file_name` when that is a file (not a directory); otherwise
// the first hit of the same search in each subfolder, depth first; empty when none.
// Sub-folders reached through a link are never searched. In a guarded search (an
// elevated process, or after GuardFoundFiles(true)) a file is taken only when neither
// it nor a folder from `folder` down to it can be written by anyone but administrators
// and the owner of `folder`; a refused file is remembered (TakeRefusedFiles) and the
// search goes on.
std::string FindFileInTree(const std::string& file_name, const std::string& folder);

// Makes every later search guarded (true) or guarded only when the process token is
// elevated (false, the start).
void GuardFoundFiles(bool guard);

// The files guarded searches refused since the last call, each once, in the order met.
std::vector<std::string> TakeRefusedFiles();

}  // namespace orvex::system
