#include "bridge/subject_mapping.h"

#include "base/trim_space.h"
#include "bridge/wire_text.h"

namespace orvex::bridge {
namespace {

bool IsAlnum(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

}  // namespace

bool IsValidSubject(std::string_view subject) {
  if (subject.empty() || subject.size() > kMaxSubjectBytes || !IsValidUtf8(subject)) return false;
  if (subject.front() == '.' || subject.back() == '.') return false;
  for (size_t i = 0; i < subject.size(); ++i) {
    const auto c = static_cast<unsigned char>(subject[i]);
    if (c <= ' ' || c == 0x7F || c == '*' || c == '>') return false;
    if (c == '.' && subject[i + 1] == '.') return false;
  }
  return true;
}

bool IsValidBucketKey(std::string_view key) {
  if (key.empty() || key.front() == '.' || key.back() == '.') return false;
  for (const char c : key) {
    if (!IsAlnum(c) && c != '-' && c != '/' && c != '_' && c != '=' && c != '.') return false;
  }
  return true;
}

bool IsValidBucketName(std::string_view name) {
  if (name.empty()) return false;
  for (const char c : name) {
    if (!IsAlnum(c) && c != '-' && c != '_') return false;
  }
  return true;
}

std::string_view ItemOfTopic(std::string_view topic) {
  if (topic.empty() || topic.front() != '@') return topic;
  const size_t colon = topic.find(':');
  return colon == std::string_view::npos ? topic : topic.substr(colon + 1);
}

bool SubjectForItem(std::string_view prefix, std::string_view item, std::string* subject,
                    std::string* why) {
  *subject = std::string(prefix) + std::string(item);
  if (IsValidSubject(*subject)) return true;
  *why = "'" + subject->substr(0, 80) + "' is not a valid NATS subject";
  return false;
}

bool ParseExportLine(std::string_view line, std::string_view prefix, ExportEntry* out,
                     std::string* why) {
  const size_t arrow = line.find("=>");
  const std::string_view topic = TrimSpace(line.substr(0, arrow));
  if (topic.empty()) {
    *why = "empty topic";
    return false;
  }
  out->topic = std::string(topic);
  if (arrow == std::string_view::npos)
    return SubjectForItem(prefix, ItemOfTopic(topic), &out->subject, why);
  return SubjectForItem("", TrimSpace(line.substr(arrow + 2)), &out->subject, why);
}

}  // namespace orvex::bridge
