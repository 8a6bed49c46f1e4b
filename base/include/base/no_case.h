#pragma once
// Comparisons without regard to case, as the registry and Windows file and class names
// compare: ASCII letters fold, every other byte compares as it is (no locale).
#include <string>
#include <string_view>

namespace orvex {

constexpr char FoldUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr char FoldLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// `text` with its ASCII letters in upper (lower) case: a key under which names that
// differ only in case meet.
inline std::string ToUpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = FoldUpper(c);
  return out;
}

inline std::string ToLowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = FoldLower(c);
  return out;
}

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldUpper(a[i]) != FoldUpper(b[i])) return false;
  }
  return true;
}

inline bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

inline bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

// Position of the first occurrence of `needle` in `text`, or npos.
inline size_t FindNoCase(std::string_view text, std::string_view needle) {
  if (needle.size() > text.size()) return std::string_view::npos;
  for (size_t at = 0; at + needle.size() <= text.size(); ++at) {
    if (EqualsNoCase(text.substr(at, needle.size()), needle)) return at;
  }
  return std::string_view::npos;
}

}  // namespace orvex
