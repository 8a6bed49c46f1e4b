#pragma once
// A handler of one message in a wrapper's message maps.
#include <cstdint>
#include <functional>

#include "ui/message_record.h"

namespace orvex::ui {

// A callable bound to an optional object. Member style calls a method of the object
// with the record; otherwise a plain function of the record (or of the object and the
// record when one is bound). With a fixed result the call's own result is discarded and
// the preset byte is the answer. An answer means "handled" when its low byte is not 0.
class MessageHandler {
 public:
  using Function = intptr_t (*)(MessageRecord& record);
  using ObjectFunction = intptr_t (*)(void* object, MessageRecord& record);

  MessageHandler() = default;
  static MessageHandler Plain(Function function);
  static MessageHandler WithObject(void* object, ObjectFunction function);
  template <typename T>
  static MessageHandler Member(T* object, intptr_t (T::*method)(MessageRecord&));
  // The same handler with its own result replaced by `preset`.
  MessageHandler Fixed(uint8_t preset) const;

  // Calls the callable; returns whether the message counts as handled. An empty
  // handler handles nothing.
  bool Invoke(MessageRecord& record) const;
  bool empty() const { return !call_; }
  void* object() const { return object_; }
  bool member_style() const { return member_style_; }
  bool fixed_result() const { return fixed_result_; }

 private:
  std::function<intptr_t(void*, MessageRecord&)> call_;
  void* object_ = nullptr;
  bool member_style_ = false;
  bool fixed_result_ = false;
  uint8_t preset_ = 0;
};

template <typename T>
MessageHandler MessageHandler::Member(T* object, intptr_t (T::*method)(MessageRecord&)) {
  MessageHandler handler;
  handler.object_ = object;
  handler.member_style_ = true;
  handler.call_ = [method](void* target, MessageRecord& record) {
    return (static_cast<T*>(target)->*method)(record);
  };
  return handler;
}

}  // namespace orvex::ui
