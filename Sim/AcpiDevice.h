// The touch device's ACPI node below the driver: it evaluates the two _DSM
// methods for IOCTL_ACPI_EVAL_METHOD from a device description, and checks
// the input buffer it is given byte for byte.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Kernel/Io.h"
#include "ResourceTemplate.h"

namespace sim {

inline constexpr ULONG kAcpiEvalMethod = 0x32C004;

struct AcpiDescription {
  uint32_t hidDescriptorAddress = 0x0001;
  std::vector<uint8_t> resources = DefaultResourceTemplate();
  // Whole output buffers in place of the well-formed answers.
  std::optional<std::vector<uint8_t>> hidOutput;
  std::optional<std::vector<uint8_t>> resourcesOutput;
  NTSTATUS hidStatus = STATUS_SUCCESS;
  NTSTATUS resourcesStatus = STATUS_SUCCESS;
};

class AcpiDevice : public host::io::Endpoint {
 public:
  explicit AcpiDevice(AcpiDescription description) : description_(std::move(description)) {}
  std::string Name() const override { return "ACPI node of the touch device"; }
  void Dispatch(const std::shared_ptr<host::io::Packet> &packet) override;

  // The 64-byte input the driver must send for a _DSM GUID (bytes 60 to 63
  // are not compared).
  static std::vector<uint8_t> ExpectedInput(const uint8_t guid[16]);
  // An output buffer: signature, argument count, and one argument.
  static std::vector<uint8_t> Output(uint16_t type, const std::vector<uint8_t> &data, uint32_t count = 1,
                                     uint32_t signature = 0x426F6541, std::optional<uint16_t> dataLength = {});
  static std::vector<uint8_t> IntegerOutput(uint32_t value);

  AcpiDescription &Description() { return description_; }
  std::vector<std::string> InputBreaches() const;
  unsigned Evaluations() const;

 private:
  AcpiDescription description_;
  mutable std::mutex mutex_;
  std::vector<std::string> breaches_;
  unsigned evaluations_ = 0;
};

extern const uint8_t kHidI2cDsmGuid[16];
extern const uint8_t kConnectionResourcesDsmGuid[16];

}  // namespace sim
