// Builds ACPI 5.0 resource templates: I2C serial-bus and GPIO connection
// descriptors, other small and large items, the end tag, and on request
// every malformed form a test needs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct I2cSerialBus {
  uint32_t speed = 400000;
  uint16_t address = 0x2C;
  std::string resourceSource = "\\_SB.PCI0.I2C1";
  uint8_t serialBusType = 1;           // 1 I2C, 2 SPI, 3 UART
  std::vector<uint8_t> vendorData;     // placed before the resource source
  bool terminateSource = true;
};

struct GpioConnection {
  uint8_t connectionType = 0;  // 0 interrupt, 1 I/O
  std::vector<uint16_t> pins = {0x0017};
  std::string resourceSource = "\\_SB.GPO0";
  std::vector<uint8_t> vendorData;
  bool terminateSource = true;
};

class ResourceTemplate {
 public:
  ResourceTemplate &Add(const I2cSerialBus &d);
  ResourceTemplate &Add(const GpioConnection &d);
  // An IRQ descriptor (small item 0x22), a 32-bit fixed memory range (large 0x86).
  ResourceTemplate &AddSmallIrq(uint16_t mask);
  ResourceTemplate &AddFixedMemory32(uint32_t base, uint32_t length);
  // An unknown small or large item of the given length.
  ResourceTemplate &AddUnknownSmall(uint8_t length);
  ResourceTemplate &AddUnknownLarge(uint8_t tag, uint16_t length);
  ResourceTemplate &AddRaw(std::vector<uint8_t> bytes);
  ResourceTemplate &End();

  // Malformed forms.
  ResourceTemplate &CutTo(size_t length);               // the template is cut short
  ResourceTemplate &SetLargeLength(size_t offset, uint16_t length);  // an oversized length field

  const std::vector<uint8_t> &Bytes() const { return bytes_; }
  // Where the last descriptor added begins.
  size_t LastOffset() const { return last_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t last_ = 0;
};

// The default device's template: the I2C connection, the GPIO interrupt
// and the end tag.
std::vector<uint8_t> DefaultResourceTemplate();

}  // namespace sim
