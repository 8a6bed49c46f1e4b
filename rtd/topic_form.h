#pragma once
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvex::rtd {

// The longest topic text the bus takes (its default limit); longer requests would be
// refused by the bus without a word, so the cell is refused at once instead.
inline constexpr size_t kMaxTopicTextBytes = 64 * 1024;

enum class TopicFormResult {
  kOk,
  kNoStrings,     // the formula gave no topic string
  kEmpty,         // an empty topic (or an empty SID in the two-string form)
  kTooLong,       // over kMaxTopicTextBytes
  kTooManyParts,  // more than two strings
};

// Builds the bus request text from the strings of =RTD("KelRTD",,s1[,s2]): one string
// is the request as a subscriber sends it ("@ABC:ACME.LAST", or "ACME.LAST" for the
// default publisher); two are SID and topic ("ABC","ACME.LAST" -> "@ABC:ACME.LAST").
TopicFormResult BuildTopicText(std::span<const std::string> strings, std::string* text);

// The SIDs a request text is addressed to, normalised as the bus compares them:
// "@abc ,XYZ:T" -> {"ABC", "XYZ"}; a text without "@" (or without ":") has none.
std::vector<std::string> AddressedSids(std::string_view request);
// The bytes of a request text the bus counts against a client: those after the address
// ("@ABC:X" -> 1, "X" -> 1, "@ABC" -> 0).
size_t TopicTextBytes(std::string_view request);

}  // namespace orvex::rtd
