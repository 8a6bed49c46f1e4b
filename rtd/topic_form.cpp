#include "rtd/topic_form.h"

#include "protocol/publisher_sid.h"

namespace orvex::rtd {

TopicFormResult BuildTopicText(std::span<const std::string> strings, std::string* text) {
  text->clear();
  if (strings.empty()) return TopicFormResult::kNoStrings;
  if (strings.size() > 2) return TopicFormResult::kTooManyParts;
  if (strings.size() == 1) {
    if (strings[0].empty()) return TopicFormResult::kEmpty;
    if (strings[0].size() > kMaxTopicTextBytes) return TopicFormResult::kTooLong;
    *text = strings[0];
    return TopicFormResult::kOk;
  }
  const std::string sid = NormalizeSid(strings[0]);
  if (sid.empty() || strings[1].empty()) return TopicFormResult::kEmpty;
  if (sid.size() + strings[1].size() + 2 > kMaxTopicTextBytes) return TopicFormResult::kTooLong;
  *text = "@" + sid + ":" + strings[1];
  return TopicFormResult::kOk;
}

std::vector<std::string> AddressedSids(std::string_view request) {
  std::vector<std::string> sids;
  if (request.empty() || request.front() != '@') return sids;
  const size_t colon = request.find(':');
  if (colon == std::string_view::npos) return sids;
  std::string_view prefix = request.substr(1, colon - 1);
  for (;;) {
    const size_t comma = prefix.find(',');
    sids.push_back(NormalizeSid(prefix.substr(0, comma)));
    if (comma == std::string_view::npos) break;
    prefix.remove_prefix(comma + 1);
  }
  return sids;
}

size_t TopicTextBytes(std::string_view request) {
  if (request.empty() || request.front() != '@') return request.size();
  const size_t colon = request.find(':');
  return colon == std::string_view::npos ? 0 : request.size() - colon - 1;
}

}  // namespace orvex::rtd
