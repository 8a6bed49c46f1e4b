#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/rtd_value_type.h"

namespace orvex {

class RtdValue;

// Owned list of texts (type 10); a missing entry renders as "<null>".
using RtdTextList = std::vector<std::optional<std::string>>;
// Owned list of values (type 14).
using RtdValueList = std::vector<RtdValue>;

// One bus value: a type byte and an 8-byte payload area. Small texts (up to 7
// characters), wide texts (up to 3 units) and byte strings (up to 7 bytes) live in the
// area; longer ones in owned heap storage. Copies are deep. Not thread-safe: the holder
// serialises access.
class RtdValue {
 public:
  // Inline capacities of the payload area.
  static constexpr size_t kInlineTextChars = 7;
  static constexpr size_t kInlineWideUnits = 3;
  static constexpr size_t kInlineBytes = 7;

  RtdValue() = default;
  RtdValue(const RtdValue& other);
  RtdValue(RtdValue&& other) noexcept;
  RtdValue& operator=(const RtdValue& other);
  RtdValue& operator=(RtdValue&& other) noexcept;
  ~RtdValue();

  // The type; TypeCode() also shows codes that have no enumerator.
  RtdValueType Type() const { return static_cast<RtdValueType>(type_); }
  uint8_t TypeCode() const { return type_; }
  bool IsEmpty() const { return type_ == 0; }

  // True when the content sits in the payload area rather than on the heap. Lists are
  // never inline; numbers always are.
  bool IsInline() const;

  // Releases any owned storage; the value becomes empty (type 0).
  void Clear();

  // Setters replace the content and type. Texts end at their first NUL (wide texts at
  // their first zero unit); `kind` picks 5 or 12 (6 or 13) and any other kind is
  // taken as 5 (6). A negative date is stored as -1.
  void SetInt32(int32_t v);
  void SetInt64(int64_t v);
  void SetDouble(double v);
  void SetBool(uint8_t byte);
  void SetDate(int32_t days);
  void SetDateTime(int64_t seconds);
  void SetText(std::string_view text, RtdValueType kind = RtdValueType::kText);
  void SetWideText(std::u16string_view text, RtdValueType kind = RtdValueType::kWideText);
  void SetBytes(std::span<const uint8_t> bytes);
  void SetTextList(RtdTextList list);
  void SetValueList(RtdValueList list);

  // Makes the value a payload-less cell of `code`, for codes that carry no content
  // (0, 11 and 15-255). Returns false, changing nothing, for any other code.
  bool SetTypeOnly(uint8_t code);

  // Appends to a text, wide text or byte string, used to join split values. When the
  // value's type differs from `kind` (from 7 for bytes) it is cleared and takes that
  // type first. Storage moves to the heap when the inline capacity is exceeded.
  void AppendText(std::string_view text, RtdValueType kind = RtdValueType::kText);
  void AppendWideText(std::u16string_view text, RtdValueType kind = RtdValueType::kWideText);
  void AppendBytes(std::span<const uint8_t> bytes);

  // Payload accessors; each is meaningful only for its type(s) and answers 0 or an
  // empty view/null otherwise. Views stay valid until the value is next changed.
  int32_t Int32() const;                   // 1
  int64_t Int64() const;                   // 2
  double Double() const;                   // 3
  uint8_t BoolByte() const;                // 4: the stored byte, non-zero means true
  int32_t Date() const;                    // 8: days since 1970-01-01, -1 for any negative date
  int64_t DateTime() const;                // 9: seconds since 1970-01-01T00:00:00 UTC
  std::string_view Text() const;           // 5, 12
  std::u16string_view WideText() const;    // 6, 13
  std::span<const uint8_t> Bytes() const;  // 7
  const RtdTextList* TextList() const;     // 10
  const RtdValueList* ValueList() const;   // 14

  // Renders the value as text: decimal numbers, "%g" doubles, "true"/"false", texts,
  // wide texts through the ANSI code page, a hexadecimal byte dump, dates in UTC,
  // list forms, "<Undefined>" for empty and "<Unknown Type>" for unknown codes.
  std::string ToText() const;

  // Same type code and same content (doubles compare by their bits).
  friend bool operator==(const RtdValue& a, const RtdValue& b);

 private:
  // The payload area; each type reads and writes its own member only.
  union Area {
    uint8_t bytes[8];
    char text[8];
    char16_t wide[4];
    int32_t i32;
    int64_t i64;
    double dbl;
  };
  static constexpr uint8_t kHeapMark = 255;
  static constexpr char16_t kWideHeapMark = 0xFFFF;

  void CopyFrom(const RtdValue& other);
  void MoveFrom(RtdValue& other) noexcept;
  void StoreText(std::string_view text);
  void StoreWide(std::u16string_view text);
  void StoreBytes(std::span<const uint8_t> bytes);
  bool HeapText() const { return area_.text[7] == static_cast<char>(kHeapMark); }
  bool HeapWide() const { return area_.wide[3] == kWideHeapMark; }
  bool HeapBytes() const { return area_.bytes[7] == kHeapMark; }

  Area area_{.i64 = 0};
  uint8_t type_ = 0;
  // Owned storage for long texts, byte strings and lists; its type follows type_.
  void* heap_ = nullptr;
};

}  // namespace orvex
