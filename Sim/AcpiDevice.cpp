#include "AcpiDevice.h"

#include <cstring>

#include "Platform.h"

namespace sim {

const uint8_t kHidI2cDsmGuid[16] = {0xF7, 0xF6, 0xDF, 0x3C, 0x67, 0x42, 0x55, 0x45,
                                    0xAD, 0x05, 0xB3, 0x0A, 0x3D, 0x89, 0x38, 0xDE};
const uint8_t kConnectionResourcesDsmGuid[16] = {0x82, 0xEB, 0x87, 0xEF, 0x51, 0xF9, 0xDA, 0x46,
                                                 0x84, 0xEC, 0x14, 0x87, 0x1A, 0xC6, 0xF8, 0x4B};

std::vector<uint8_t> AcpiDevice::ExpectedInput(const uint8_t guid[16]) {
  std::vector<uint8_t> b(64, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    PutLe16(&b[at], (uint16_t)v);
    PutLe16(&b[at + 2], (uint16_t)(v >> 16));
  };
  put32(0, 0x43696541);
  std::memcpy(&b[4], "_DSM", 4);
  put32(8, 64);
  put32(12, 4);
  PutLe16(&b[16], 2);
  PutLe16(&b[18], 16);
  std::memcpy(&b[20], guid, 16);
  PutLe16(&b[36], 0);
  PutLe16(&b[38], 4);
  put32(40, 1);
  PutLe16(&b[44], 0);
  PutLe16(&b[46], 4);
  put32(48, 1);
  PutLe16(&b[52], 3);
  PutLe16(&b[54], 4);
  put32(56, 0);
  return b;
}

std::vector<uint8_t> AcpiDevice::Output(uint16_t type, const std::vector<uint8_t> &data, uint32_t count,
                                        uint32_t signature, std::optional<uint16_t> dataLength) {
  size_t padded = std::max<size_t>(data.size(), 4);
  std::vector<uint8_t> b(16 + padded, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    PutLe16(&b[at], (uint16_t)v);
    PutLe16(&b[at + 2], (uint16_t)(v >> 16));
  };
  put32(0, signature);
  put32(4, (uint32_t)b.size());
  put32(8, count);
  PutLe16(&b[12], type);
  PutLe16(&b[14], dataLength ? *dataLength : (uint16_t)data.size());
  if (!data.empty()) std::memcpy(&b[16], data.data(), data.size());
  return b;
}

std::vector<uint8_t> AcpiDevice::IntegerOutput(uint32_t value) {
  std::vector<uint8_t> v(4);
  PutLe16(&v[0], (uint16_t)value);
  PutLe16(&v[2], (uint16_t)(value >> 16));
  return Output(0, v);
}

std::vector<std::string> AcpiDevice::InputBreaches() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return breaches_;
}

unsigned AcpiDevice::Evaluations() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return evaluations_;
}

void AcpiDevice::Dispatch(const std::shared_ptr<host::io::Packet> &packet) {
  if (packet->ioControlCode != kAcpiEvalMethod) {
    packet->Complete(STATUS_INVALID_DEVICE_REQUEST, 0);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++evaluations_;
  }
  const auto &in = packet->input;
  bool hid = in.size() >= 36 && std::memcmp(&in[20], kHidI2cDsmGuid, 16) == 0;
  bool resources = in.size() >= 36 && std::memcmp(&in[20], kConnectionResourcesDsmGuid, 16) == 0;
  std::vector<uint8_t> expected = ExpectedInput(hid ? kHidI2cDsmGuid : kConnectionResourcesDsmGuid);
  if ((!hid && !resources) || in.size() != 64 || std::memcmp(in.data(), expected.data(), 60) != 0) {
    std::string text = "malformed _DSM input of " + std::to_string(in.size()) + " bytes";
    for (size_t i = 0; i < std::min<size_t>(in.size(), 60); ++i)
      if (in[i] != expected[i]) {
        text += ", first difference at byte " + std::to_string(i);
        break;
      }
    std::lock_guard<std::mutex> lock(mutex_);
    breaches_.push_back(text);
    packet->Complete(STATUS_INVALID_PARAMETER, 0);
    return;
  }
  NTSTATUS status = hid ? description_.hidStatus : description_.resourcesStatus;
  if (!NT_SUCCESS(status)) {
    packet->Complete(status, 0);
    return;
  }
  std::vector<uint8_t> out;
  if (hid)
    out = description_.hidOutput ? *description_.hidOutput : IntegerOutput(description_.hidDescriptorAddress);
  else
    out = description_.resourcesOutput ? *description_.resourcesOutput : Output(2, description_.resources);
  if (out.size() > packet->output.size()) {
    packet->Complete(STATUS_BUFFER_OVERFLOW, 0);
    return;
  }
  if (!out.empty()) std::memcpy(packet->output.data(), out.data(), out.size());
  packet->Complete(STATUS_SUCCESS, out.size());
}

}  // namespace sim
