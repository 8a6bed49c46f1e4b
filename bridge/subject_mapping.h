#pragma once
// Which NATS subject a bus topic travels on: the subject prefix followed by the topic's
// item text (the topic without its "@SID:" address).
#include <string>
#include <string_view>

namespace orvex::bridge {

// A literal subject: 1 to kMaxSubjectBytes bytes of UTF-8, tokens separated by '.',
// none empty, no spaces or control characters, no wildcards ('*', '>').
inline constexpr size_t kMaxSubjectBytes = 1024;
bool IsValidSubject(std::string_view subject);
// A key of a key-value bucket: letters, digits and - / _ = . only, not starting or
// ending with '.'.
bool IsValidBucketKey(std::string_view key);
// A bucket name: letters, digits, - and _.
bool IsValidBucketName(std::string_view name);

// The topic text without its address: "@ABC:PX.1" -> "PX.1"; a text without '@' is
// returned as it is.
std::string_view ItemOfTopic(std::string_view topic);

// prefix + item when that is a valid subject; else false with *why.
bool SubjectForItem(std::string_view prefix, std::string_view item, std::string* subject,
                    std::string* why);

// One exported topic and its subject.
struct ExportEntry {
  std::string topic;
  std::string subject;
};

// An export line: "TOPIC" (subject from the prefix and the item) or
// "TOPIC => SUBJECT" (the subject as given, no prefix). False with *why.
bool ParseExportLine(std::string_view line, std::string_view prefix, ExportEntry* out,
                     std::string* why);

}  // namespace orvex::bridge
