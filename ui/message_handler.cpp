#include "ui/message_handler.h"

namespace orvex::ui {

MessageHandler MessageHandler::Plain(Function function) {
  MessageHandler handler;
  if (function != nullptr) {
    handler.call_ = [function](void*, MessageRecord& record) { return function(record); };
  }
  return handler;
}

MessageHandler MessageHandler::WithObject(void* object, ObjectFunction function) {
  MessageHandler handler;
  handler.object_ = object;
  if (function != nullptr) handler.call_ = function;
  return handler;
}

MessageHandler MessageHandler::Fixed(uint8_t preset) const {
  MessageHandler handler = *this;
  handler.fixed_result_ = true;
  handler.preset_ = preset;
  return handler;
}

bool MessageHandler::Invoke(MessageRecord& record) const {
  if (!call_) return false;
  const intptr_t answer = call_(object_, record);
  if (fixed_result_) return preset_ != 0;
  return static_cast<uint8_t>(answer) != 0;
}

}  // namespace orvex::ui
