#include "HidClass.h"

#include <cstring>

#include <hidport.h>

namespace sim {

std::shared_ptr<host::fx::IrpCompletion> HidClass::Submit(ULONG code, void *buffer, ULONG outputLength, PVOID type3,
                                                         bool boundInformation,
                                                         std::function<void(host::fx::IrpCompletion &)> onComplete) {
  host::fx::InternalIoctl ioctl;
  ioctl.ioControlCode = code;
  ioctl.userBuffer = buffer;
  ioctl.outputBufferLength = outputLength;
  ioctl.type3InputBuffer = type3;
  ioctl.boundInformation = boundInformation;
  return host::fx::SendInternalIoctl(device_, ioctl, std::move(onComplete));
}

HidResult HidClass::Send(ULONG code, void *buffer, ULONG outputLength, PVOID type3, bool boundInformation) {
  auto completion = Submit(code, buffer, outputLength, type3, boundInformation);
  completion->done.Wait();
  return HidResult{completion->status, completion->information};
}

HidResult HidClass::GetString(uint16_t id, uint16_t language, std::u16string &text, ULONG bufferBytes) {
  std::vector<uint16_t> buffer(bufferBytes / 2 + 1, 0xFFFF);
  HidResult r = Send(hid::kGetString, buffer.data(), bufferBytes, (PVOID)(uintptr_t)(((ULONG)language << 16) | id));
  text.clear();
  if (NT_SUCCESS(r.status))
    for (size_t i = 0; i < r.information / 2 && buffer[i] != 0; ++i) text += (char16_t)buffer[i];
  return r;
}

Enumeration HidClass::Enumerate() {
  Enumeration e;
  uint8_t descriptor[9] = {};
  e.deviceDescriptor = Send(hid::kGetDeviceDescriptor, descriptor, sizeof descriptor);
  if (NT_SUCCESS(e.deviceDescriptor.status))
    e.deviceDescriptorBytes.assign(descriptor, descriptor + std::min<size_t>(e.deviceDescriptor.information, 9));

  uint8_t attributes[32];
  std::memset(attributes, 0xA5, sizeof attributes);
  PutLe16(attributes, 32);
  PutLe16(attributes + 2, 0);
  e.attributes = Send(hid::kGetDeviceAttributes, attributes, sizeof attributes);
  if (NT_SUCCESS(e.attributes.status)) {
    e.vendorId = Le16(attributes + 4);
    e.productId = Le16(attributes + 6);
    e.versionNumber = Le16(attributes + 8);
  }

  uint16_t reportLength = e.deviceDescriptorBytes.size() == 9 ? Le16(&e.deviceDescriptorBytes[7]) : 0;
  std::vector<uint8_t> report(reportLength ? reportLength : 1, 0);
  e.reportDescriptor = Send(hid::kGetReportDescriptor, report.data(), reportLength);
  if (NT_SUCCESS(e.reportDescriptor.status))
    e.reportDescriptorBytes.assign(report.begin(), report.begin() + std::min<size_t>(e.reportDescriptor.information,
                                                                                      reportLength));

  e.strings[0] = GetString(14, hid::kLanguageEnglishUs, e.manufacturer);
  e.strings[1] = GetString(15, hid::kLanguageEnglishUs, e.product);
  e.strings[2] = GetString(16, hid::kLanguageEnglishUs, e.serialNumber);
  return e;
}

}  // namespace sim

namespace sim {

struct HidClass::ReadSlot {
  std::vector<uint8_t> buffer;
  std::shared_ptr<host::fx::IrpCompletion> pending;
};

HidClass::~HidClass() = default;

Enumeration HidClass::Start() {
  Enumeration e = Enumerate();
  descriptor_ = ReportDescriptor::Parse(e.reportDescriptorBytes);
  layout_ = FindContactLayout(descriptor_);
  readLength_ = std::max<size_t>(1, descriptor_.MaxByteLength(ReportKind::Input));
  ResumeReading();
  return e;
}

void HidClass::ResumeReading() {
  std::vector<std::shared_ptr<ReadSlot>> slots;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    reading_ = true;
    slots_.clear();
    for (int i = 0; i < 2; ++i) {
      auto slot = std::make_shared<ReadSlot>();
      slot->buffer.assign(readLength_, 0);
      slots_.push_back(slot);
    }
    slots = slots_;
  }
  for (auto &s : slots) IssueRead(s);
}

void HidClass::IssueRead(const std::shared_ptr<ReadSlot> &slot) {
  std::fill(slot->buffer.begin(), slot->buffer.end(), 0);
  std::weak_ptr<ReadSlot> weak = slot;
  auto completion = Submit(hid::kReadReport, slot->buffer.data(), (ULONG)slot->buffer.size(), nullptr, true,
                          [this, weak](host::fx::IrpCompletion &c) {
                            if (auto s = weak.lock()) OnRead(s, c);
                          });
  std::lock_guard<std::mutex> lock(mutex_);
  if (!completion->completed) slot->pending = completion;
}

void HidClass::OnRead(const std::shared_ptr<ReadSlot> &slot, host::fx::IrpCompletion &completion) {
  bool again;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    slot->pending.reset();
    if (NT_SUCCESS(completion.status)) {
      Delivered d;
      d.bytes.assign(slot->buffer.begin(), slot->buffer.begin() + std::min(completion.information, slot->buffer.size()));
      d.reportId = descriptor_.usesReportIds && !d.bytes.empty() ? d.bytes[0] : 0;
      if (layout_ && d.reportId == layout_->reportId) d.contacts = DecodeContacts(*layout_, d.bytes.data(), d.bytes.size());
      d.at = host::Scheduler::Now();
      reports_.push_back(std::move(d));
      ++delivered_;
      delivery_->Set();
    } else {
      failed_.push_back(completion.status);
    }
    // A cancelled read is not sent again: the class driver is stopping.
    again = reading_ && completion.status != STATUS_CANCELLED;
  }
  // Sent again from the completion, in the completing thread.
  if (again) IssueRead(slot);
}

void HidClass::StopReading() {
  std::vector<std::shared_ptr<host::fx::IrpCompletion>> pending;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    reading_ = false;
    for (auto &s : slots_)
      if (s->pending) pending.push_back(s->pending);
  }
  for (auto &p : pending) host::fx::CancelIrp(p);
}

std::vector<Delivered> HidClass::Reports() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reports_;
}

std::vector<NTSTATUS> HidClass::FailedReads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return failed_;
}

size_t HidClass::ReadsPending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t n = 0;
  for (auto &s : slots_)
    if (s->pending && !s->pending->completed) ++n;
  return n;
}

HidResult HidClass::GetFeature(uint8_t id, std::vector<uint8_t> &bytes) {
  if (bytes.empty()) bytes.resize(1);
  bytes[0] = id;
  HID_XFER_PACKET packet{bytes.data(), (ULONG)bytes.size(), id};
  return Send(hid::kGetFeature, &packet, sizeof packet, nullptr, false);
}

HidResult HidClass::SetFeature(const std::vector<uint8_t> &bytes) {
  std::vector<uint8_t> copy = bytes;
  HID_XFER_PACKET packet{copy.data(), (ULONG)copy.size(), copy.empty() ? (UCHAR)0 : copy[0]};
  return Send(hid::kSetFeature, &packet, sizeof packet, nullptr, false);
}

HidResult HidClass::WriteOutput(const std::vector<uint8_t> &bytes) {
  std::vector<uint8_t> copy = bytes;
  HID_XFER_PACKET packet{copy.data(), (ULONG)copy.size(), copy.empty() ? (UCHAR)0 : copy[0]};
  return Send(hid::kWriteReport, &packet, sizeof packet, nullptr, false);
}

}  // namespace sim
