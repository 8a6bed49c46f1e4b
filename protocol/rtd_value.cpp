#include "protocol/rtd_value.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace orvex {
namespace {

std::string_view CutAtNul(std::string_view text) {
  const size_t nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

std::u16string_view CutAtZero(std::u16string_view text) {
  const size_t zero = text.find(u'\0');
  return zero == std::u16string_view::npos ? text : text.substr(0, zero);
}

RtdValueType TextKind(RtdValueType kind) {
  return kind == RtdValueType::kText2 ? kind : RtdValueType::kText;
}

RtdValueType WideKind(RtdValueType kind) {
  return kind == RtdValueType::kWideText2 ? kind : RtdValueType::kWideText;
}

}  // namespace

RtdValue::RtdValue(const RtdValue& other) {
  CopyFrom(other);
}

RtdValue::RtdValue(RtdValue&& other) noexcept {
  MoveFrom(other);
}

RtdValue& RtdValue::operator=(const RtdValue& other) {
  if (this != &other) {
    // Copy first: `other` may live inside this value's own list.
    RtdValue copy(other);
    Clear();
    MoveFrom(copy);
  }
  return *this;
}

RtdValue& RtdValue::operator=(RtdValue&& other) noexcept {
  if (this != &other) {
    RtdValue taken;
    taken.MoveFrom(other);
    Clear();
    MoveFrom(taken);
  }
  return *this;
}

RtdValue::~RtdValue() {
  Clear();
}

void RtdValue::Clear() {
  if (heap_ != nullptr) {
    switch (Type()) {
      case RtdValueType::kText:
      case RtdValueType::kText2:
        delete static_cast<std::string*>(heap_);
        break;
      case RtdValueType::kWideText:
      case RtdValueType::kWideText2:
        delete static_cast<std::u16string*>(heap_);
        break;
      case RtdValueType::kBytes:
        delete static_cast<std::vector<uint8_t>*>(heap_);
        break;
      case RtdValueType::kTextList:
        delete static_cast<RtdTextList*>(heap_);
        break;
      case RtdValueType::kValueList:
        delete static_cast<RtdValueList*>(heap_);
        break;
      default:
        break;
    }
    heap_ = nullptr;
  }
  area_.i64 = 0;
  type_ = 0;
}

void RtdValue::CopyFrom(const RtdValue& other) {
  area_ = other.area_;
  type_ = other.type_;
  heap_ = nullptr;
  if (other.heap_ == nullptr) return;
  switch (other.Type()) {
    case RtdValueType::kText:
    case RtdValueType::kText2:
      heap_ = new std::string(*static_cast<const std::string*>(other.heap_));
      break;
    case RtdValueType::kWideText:
    case RtdValueType::kWideText2:
      heap_ = new std::u16string(*static_cast<const std::u16string*>(other.heap_));
      break;
    case RtdValueType::kBytes:
      heap_ = new std::vector<uint8_t>(*static_cast<const std::vector<uint8_t>*>(other.heap_));
      break;
    case RtdValueType::kTextList:
      heap_ = new RtdTextList(*static_cast<const RtdTextList*>(other.heap_));
      break;
    case RtdValueType::kValueList:
      heap_ = new RtdValueList(*static_cast<const RtdValueList*>(other.heap_));
      break;
    default:
      break;
  }
}

void RtdValue::MoveFrom(RtdValue& other) noexcept {
  area_ = other.area_;
  type_ = other.type_;
  heap_ = other.heap_;
  other.heap_ = nullptr;
  other.area_.i64 = 0;
  other.type_ = 0;
}

bool RtdValue::IsInline() const {
  switch (Type()) {
    case RtdValueType::kText:
    case RtdValueType::kText2:
      return !HeapText();
    case RtdValueType::kWideText:
    case RtdValueType::kWideText2:
      return !HeapWide();
    case RtdValueType::kBytes:
      return !HeapBytes();
    case RtdValueType::kTextList:
    case RtdValueType::kValueList:
      return false;
    default:
      return true;
  }
}

void RtdValue::SetInt32(int32_t v) {
  Clear();
  type_ = static_cast<uint8_t>(RtdValueType::kInt32);
  area_.i32 = v;
}

void RtdValue::SetInt64(int64_t v) {
  Clear();
  type_ = static_cast<uint8_t>(RtdValueType::kInt64);
  area_.i64 = v;
}

void RtdValue::SetDouble(double v) {
  Clear();
  type_ = static_cast<uint8_t>(RtdValueType::kDouble);
  area_.dbl = v;
}

void RtdValue::SetBool(uint8_t byte) {
  Clear();
  type_ = static_cast<uint8_t>(RtdValueType::kBool);
  area_.bytes[0] = byte;
}

void RtdValue::SetDate(int32_t days) {
  Clear();
  type_ = static_cast<uint8_t>(RtdValueType::kDate);
  area_.i32 = days < 0 ? -1 : days;
}

void RtdValue::SetDateTime(int64_t seconds) {
  Clear();
  type_ = static_cast<uint8_t>(RtdValueType::kDateTime);
  area_.i64 = seconds;
}

void RtdValue::SetText(std::string_view text, RtdValueType kind) {
  Clear();
  type_ = static_cast<uint8_t>(TextKind(kind));
  StoreText(CutAtNul(text));
}

void RtdValue::SetWideText(std::u16string_view text, RtdValueType kind) {
  Clear();
  type_ = static_cast<uint8_t>(WideKind(kind));
  StoreWide(CutAtZero(text));
}

void RtdValue::SetBytes(std::span<const uint8_t> bytes) {
  Clear();
  type_ = static_cast<uint8_t>(RtdValueType::kBytes);
  StoreBytes(bytes);
}

void RtdValue::SetTextList(RtdTextList list) {
  Clear();
  heap_ = new RtdTextList(std::move(list));
  type_ = static_cast<uint8_t>(RtdValueType::kTextList);
}

void RtdValue::SetValueList(RtdValueList list) {
  Clear();
  heap_ = new RtdValueList(std::move(list));
  type_ = static_cast<uint8_t>(RtdValueType::kValueList);
}

bool RtdValue::SetTypeOnly(uint8_t code) {
  if (code != 0 && code != 11 && code < 15) return false;
  Clear();
  type_ = code;
  return true;
}

// Store* expect a cleared area of the right type and fill it per the inline rules.
void RtdValue::StoreText(std::string_view text) {
  if (text.size() <= kInlineTextChars) {
    std::memcpy(area_.text, text.data(), text.size());
    return;  // the rest of the area, including the NUL and byte 7, is already 0
  }
  heap_ = new std::string(text);
  area_.text[7] = static_cast<char>(kHeapMark);
}

void RtdValue::StoreWide(std::u16string_view text) {
  if (text.size() <= kInlineWideUnits) {
    for (size_t i = 0; i < text.size(); ++i) area_.wide[i] = text[i];
    return;
  }
  heap_ = new std::u16string(text);
  area_.wide[3] = kWideHeapMark;
}

void RtdValue::StoreBytes(std::span<const uint8_t> bytes) {
  if (bytes.size() <= kInlineBytes) {
    if (!bytes.empty()) std::memcpy(area_.bytes, bytes.data(), bytes.size());
    area_.bytes[7] = static_cast<uint8_t>(bytes.size());
    return;
  }
  heap_ = new std::vector<uint8_t>(bytes.begin(), bytes.end());
  area_.bytes[7] = kHeapMark;
}

void RtdValue::AppendText(std::string_view text, RtdValueType kind) {
  kind = TextKind(kind);
  if (Type() != kind) {
    Clear();
    type_ = static_cast<uint8_t>(kind);
  }
  text = CutAtNul(text);
  if (HeapText()) {
    static_cast<std::string*>(heap_)->append(text);
    return;
  }
  std::string joined(Text());
  joined.append(text);
  area_.i64 = 0;
  StoreText(joined);
}

void RtdValue::AppendWideText(std::u16string_view text, RtdValueType kind) {
  kind = WideKind(kind);
  if (Type() != kind) {
    Clear();
    type_ = static_cast<uint8_t>(kind);
  }
  text = CutAtZero(text);
  if (HeapWide()) {
    static_cast<std::u16string*>(heap_)->append(text);
    return;
  }
  std::u16string joined(WideText());
  joined.append(text);
  area_.i64 = 0;
  StoreWide(joined);
}

void RtdValue::AppendBytes(std::span<const uint8_t> bytes) {
  if (Type() != RtdValueType::kBytes) {
    Clear();
    type_ = static_cast<uint8_t>(RtdValueType::kBytes);
  }
  if (HeapBytes()) {
    auto* v = static_cast<std::vector<uint8_t>*>(heap_);
    v->insert(v->end(), bytes.begin(), bytes.end());
    return;
  }
  std::vector<uint8_t> joined(Bytes().begin(), Bytes().end());
  joined.insert(joined.end(), bytes.begin(), bytes.end());
  area_.i64 = 0;
  StoreBytes(joined);
}

int32_t RtdValue::Int32() const {
  return Type() == RtdValueType::kInt32 ? area_.i32 : 0;
}

int64_t RtdValue::Int64() const {
  return Type() == RtdValueType::kInt64 ? area_.i64 : 0;
}

double RtdValue::Double() const {
  return Type() == RtdValueType::kDouble ? area_.dbl : 0.0;
}

uint8_t RtdValue::BoolByte() const {
  return Type() == RtdValueType::kBool ? area_.bytes[0] : 0;
}

int32_t RtdValue::Date() const {
  return Type() == RtdValueType::kDate ? area_.i32 : 0;
}

int64_t RtdValue::DateTime() const {
  return Type() == RtdValueType::kDateTime ? area_.i64 : 0;
}

std::string_view RtdValue::Text() const {
  if (!IsTextType(Type())) return {};
  if (HeapText()) return *static_cast<const std::string*>(heap_);
  const void* nul = std::memchr(area_.text, '\0', kInlineTextChars);
  const size_t n = nul == nullptr ? kInlineTextChars : static_cast<const char*>(nul) - area_.text;
  return std::string_view(area_.text, n);
}

std::u16string_view RtdValue::WideText() const {
  if (!IsWideTextType(Type())) return {};
  if (HeapWide()) return *static_cast<const std::u16string*>(heap_);
  size_t n = 0;
  while (n < kInlineWideUnits && area_.wide[n] != u'\0') ++n;
  return std::u16string_view(area_.wide, n);
}

std::span<const uint8_t> RtdValue::Bytes() const {
  if (Type() != RtdValueType::kBytes) return {};
  if (HeapBytes()) return *static_cast<const std::vector<uint8_t>*>(heap_);
  return std::span<const uint8_t>(area_.bytes, area_.bytes[7]);
}

const RtdTextList* RtdValue::TextList() const {
  return Type() == RtdValueType::kTextList ? static_cast<const RtdTextList*>(heap_) : nullptr;
}

const RtdValueList* RtdValue::ValueList() const {
  return Type() == RtdValueType::kValueList ? static_cast<const RtdValueList*>(heap_) : nullptr;
}

bool operator==(const RtdValue& a, const RtdValue& b) {
  if (a.type_ != b.type_) return false;
  switch (a.Type()) {
    case RtdValueType::kText:
    case RtdValueType::kText2:
      return a.Text() == b.Text();
    case RtdValueType::kWideText:
    case RtdValueType::kWideText2:
      return a.WideText() == b.WideText();
    case RtdValueType::kBytes:
      return std::equal(a.Bytes().begin(), a.Bytes().end(), b.Bytes().begin(), b.Bytes().end());
    case RtdValueType::kTextList:
      return *a.TextList() == *b.TextList();
    case RtdValueType::kValueList:
      return *a.ValueList() == *b.ValueList();
    default:
      // Numbers, dates, booleans and payload-less codes: compare the area bit for bit.
      return std::memcmp(&a.area_, &b.area_, sizeof(a.area_)) == 0;
  }
}

}  // namespace orvex
