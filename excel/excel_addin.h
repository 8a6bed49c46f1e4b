#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "registry/reg_value.h"

// Excel's per-user add-in lists: load entries ("OPEN", OPEN1 ... in the Options key,
// data /R "path") and known add-ins (value names of the Add-in Manager key). Every
// operation makes sure its key exists first. When no Excel version is registered the
// keys cannot be named; every operation then fails without writing or deleting.
namespace orvex::SfExcelUtil {

// First of "OPEN", OPEN1 ... OPEN999 not present in the Options key.
bool FindFreeOpenValueName(std::string* name);
// Load entries (REG_SZ, data beginning with /R ") whose data ends with the quoted full
// path (full_path) or with "\" + file name + quote; in enumeration order.
bool FindOpenEntries(std::string_view path, bool full_path, std::vector<SfRegValue>* entries);
// Writes a load entry for `path` under the first free name. A bare file name is
// made absolute first (without a folder it could not be found by file name again).
bool AddOpenEntry(std::string_view path);
// Deletes the load entries of the file name of `path` in any folder; returns how many.
int RemoveOpenEntries(std::string_view path);
// Renames the OPEN<n> values to OPEN, OPEN1, OPEN2 ... keeping their order and data.
bool RenumberOpenValues();

// Add-in Manager value names ending with "\" + file name of `path`.
bool FindAddInManagerEntries(std::string_view path, std::vector<std::string>* names);
int RemoveAddInManagerEntries(std::string_view path);
// Writes the known-add-in entry: value named by the path (a bare name made absolute), empty REG_SZ.
bool WriteAddInManagerEntry(std::string_view path);
// True when exactly that entry exists; otherwise replaces entries of the same file
// name by it.
bool EnsureAddInManagerEntry(std::string_view path);
// 1 when the Add-in Manager key exists (after creating it), -1 otherwise.
int EnsureAddInManagerKey();

// User-facing operations: 1 success, 0 a negative answer, -1 failure; each appends
// exactly one message naming the argument as typed to *output.
int RegisterAddIn(const std::string& path, std::string* output);
int UnregisterAddIn(const std::string& path, std::string* output);
int IsAddInRegistered(const std::string& arg, std::string* output);
int EnableAddIn(const std::string& path, std::string* output);
int DisableAddIn(const std::string& arg, std::string* output);
int IsAddInEnabled(const std::string& arg, std::string* output);

// For the bus's own add-in: known entry plus load entry (no file check, no message).
bool InstallAddIn(std::string_view path);
// Removes known and load entries of the file name of `name`; true when any was removed.
bool UninstallAddIn(std::string_view name);
// True when "/regXLL" occurs anywhere in the command line, in any case.
bool HasRegXllSwitch(std::string_view command_line);

}  // namespace orvex::SfExcelUtil
