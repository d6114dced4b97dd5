#include "ResourceTemplate.h"

namespace sim {
namespace {

void Put16(std::vector<uint8_t> &b, uint16_t v) {
  b.push_back((uint8_t)v);
  b.push_back((uint8_t)(v >> 8));
}

void Put32(std::vector<uint8_t> &b, uint32_t v) {
  Put16(b, (uint16_t)v);
  Put16(b, (uint16_t)(v >> 16));
}

void PutSource(std::vector<uint8_t> &b, const std::string &source, bool terminate) {
  b.insert(b.end(), source.begin(), source.end());
  if (terminate) b.push_back(0);
}

void FixLength(std::vector<uint8_t> &b, size_t start) {
  uint16_t length = (uint16_t)(b.size() - start - 3);
  b[start + 1] = (uint8_t)length;
  b[start + 2] = (uint8_t)(length >> 8);
}

}  // namespace

ResourceTemplate &ResourceTemplate::Add(const I2cSerialBus &d) {
  last_ = bytes_.size();
  auto &b = bytes_;
  b.push_back(0x8E);
  Put16(b, 0);               // length, fixed below
  b.push_back(1);            // revision
  b.push_back(0);            // resource source index
  b.push_back(d.serialBusType);
  b.push_back(0x02);         // general flags: consumer
  Put16(b, 0);               // type-specific flags: 7-bit addressing
  b.push_back(1);            // type-specific revision
  Put16(b, (uint16_t)(6 + d.vendorData.size()));
  Put32(b, d.speed);
  Put16(b, d.address);
  b.insert(b.end(), d.vendorData.begin(), d.vendorData.end());
  PutSource(b, d.resourceSource, d.terminateSource);
  FixLength(b, last_);
  return *this;
}

ResourceTemplate &ResourceTemplate::Add(const GpioConnection &d) {
  last_ = bytes_.size();
  auto &b = bytes_;
  uint16_t pinTable = 23;
  uint16_t name = (uint16_t)(pinTable + 2 * d.pins.size());
  uint16_t vendor = (uint16_t)(name + d.resourceSource.size() + (d.terminateSource ? 1 : 0));
  b.push_back(0x8C);
  Put16(b, 0);
  b.push_back(1);            // revision
  b.push_back(d.connectionType);
  Put16(b, 0x0001);          // general flags: consumer
  Put16(b, 0x0000);          // interrupt flags: level, active high, exclusive
  b.push_back(0);            // pin configuration: default
  Put16(b, 0);               // output drive strength
  Put16(b, 0);               // debounce timeout
  Put16(b, pinTable);
  b.push_back(0);            // resource source index
  Put16(b, name);
  Put16(b, d.vendorData.empty() ? 0 : vendor);
  Put16(b, (uint16_t)d.vendorData.size());
  for (uint16_t pin : d.pins) Put16(b, pin);
  PutSource(b, d.resourceSource, d.terminateSource);
  b.insert(b.end(), d.vendorData.begin(), d.vendorData.end());
  FixLength(b, last_);
  return *this;
}

ResourceTemplate &ResourceTemplate::AddSmallIrq(uint16_t mask) {
  last_ = bytes_.size();
  bytes_.push_back(0x22);
  Put16(bytes_, mask);
  return *this;
}

ResourceTemplate &ResourceTemplate::AddFixedMemory32(uint32_t base, uint32_t length) {
  last_ = bytes_.size();
  bytes_.push_back(0x86);
  Put16(bytes_, 9);
  bytes_.push_back(1);  // read-write
  Put32(bytes_, base);
  Put32(bytes_, length);
  return *this;
}

ResourceTemplate &ResourceTemplate::AddUnknownSmall(uint8_t length) {
  last_ = bytes_.size();
  bytes_.push_back((uint8_t)(0x70 | (length & 7)));  // a vendor-defined small item
  for (uint8_t i = 0; i < (length & 7); ++i) bytes_.push_back(0x8E);  // bytes that look like tags
  return *this;
}

ResourceTemplate &ResourceTemplate::AddUnknownLarge(uint8_t tag, uint16_t length) {
  last_ = bytes_.size();
  bytes_.push_back(tag);
  Put16(bytes_, length);
  for (uint16_t i = 0; i < length; ++i) bytes_.push_back(0x8C);
  return *this;
}

ResourceTemplate &ResourceTemplate::AddRaw(std::vector<uint8_t> raw) {
  last_ = bytes_.size();
  bytes_.insert(bytes_.end(), raw.begin(), raw.end());
  return *this;
}

ResourceTemplate &ResourceTemplate::End() {
  last_ = bytes_.size();
  bytes_.push_back(0x79);
  bytes_.push_back(0x00);
  return *this;
}

ResourceTemplate &ResourceTemplate::CutTo(size_t length) {
  if (length < bytes_.size()) bytes_.resize(length);
  return *this;
}

ResourceTemplate &ResourceTemplate::SetLargeLength(size_t offset, uint16_t length) {
  bytes_[offset + 1] = (uint8_t)length;
  bytes_[offset + 2] = (uint8_t)(length >> 8);
  return *this;
}

std::vector<uint8_t> DefaultResourceTemplate() {
  return ResourceTemplate().Add(I2cSerialBus{}).Add(GpioConnection{}).End().Bytes();
}

}  // namespace sim
