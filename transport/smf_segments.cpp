#include "transport/smf_segments.h"

#include <bit>

namespace orvex {

void SfSMFSegments::SetBase(const std::string& name) {
  if (name == base_) return;
  CloseAll();
  base_ = name;
}

uint8_t* SfSMFSegments::Create(uint32_t index) {
  return Map(true, index);
}

uint8_t* SfSMFSegments::Open(uint32_t index) {
  if (index >= kClasses || !NameExists(SegmentName(index))) return nullptr;
  return Map(false, index);
}

uint8_t* SfSMFSegments::Map(bool create, uint32_t index) {
  if (index >= kClasses || slots_[index] != nullptr || base_.empty()) return nullptr;
  auto memory = std::make_unique<SfSharedMemory>();
  if (!memory->OpenOrCreate(create, SegmentName(index), ClassSize(index))) return nullptr;
  slots_[index] = std::move(memory);
  held_ |= 1u << index;
  return slots_[index]->view();
}

void SfSMFSegments::Drop(uint32_t index) {
  if (index >= kClasses) return;
  slots_[index].reset();
  held_ &= ~(1u << index);
}

void SfSMFSegments::CloseAll() {
  for (auto& slot : slots_) slot.reset();
  held_ = 0;
}

uint8_t* SfSMFSegments::View(uint32_t index) const {
  if (index >= kClasses || slots_[index] == nullptr) return nullptr;
  return slots_[index]->view();
}

bool SfSMFSegments::AnyLost() const {
  for (uint32_t held = held_; held != 0; held &= held - 1) {
    if (slots_[std::countr_zero(held)]->lost()) return true;
  }
  return false;
}

std::string SfSMFSegments::SegmentName(const std::string& base, uint32_t index) {
  return base + "." + std::to_string(index);
}

}  // namespace orvex
