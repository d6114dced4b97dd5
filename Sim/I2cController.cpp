#include "I2cController.h"

#include <algorithm>

#include "Runtime/Scheduler.h"

namespace sim {

using host::Ticks;

Ticks BusTime(ULONG speed, size_t written, size_t read) {
  if (speed == 0) return 0;
  uint64_t bits = 2;
  if (written) bits += 9 * (1 + written);
  if (read) bits += 9 * (1 + read);
  return (Ticks)(bits * (uint64_t)host::kTicksPerSecond / speed);
}

I2cController::I2cController(std::string acpiPath) : acpiPath_(std::move(acpiPath)) {}

host::io::Name I2cController::SymbolicLink() const {
  std::string path = acpiPath_;
  std::replace(path.begin(), path.end(), '\\', '_');
  return host::io::ToName("\\??\\ACPI#" + path + "#0#{f8b5ed67-5c3a-45a3-b0fa-87bba63c0cef}");
}

void I2cController::Publish() { host::io::PublishInterface(kI2cControllerInterface, SymbolicLink(), shared_from_this()); }

void I2cController::Withdraw() { host::io::WithdrawInterface(SymbolicLink()); }

bool I2cController::RemoveOrderly() {
  host::io::PnpEventScope event;
  if (!NT_SUCCESS(Notify(host::io::RemovalEvent::QueryRemove))) {
    Notify(host::io::RemovalEvent::RemoveCanceled);
    return false;
  }
  RemoveSurprise();
  return true;
}

void I2cController::RemoveSurprise() {
  host::io::PnpEventScope event;
  std::vector<std::weak_ptr<host::io::Packet>> pending;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    removed_ = true;
    pending.swap(pending_);
  }
  for (auto &weak : pending)
    if (auto p = weak.lock()) p->TryComplete(STATUS_NO_SUCH_DEVICE, 0);
  Withdraw();
  Notify(host::io::RemovalEvent::RemoveComplete);
}

void I2cController::Attach(uint16_t address, std::shared_ptr<I2cSlave> slave) {
  std::lock_guard<std::mutex> lock(mutex_);
  slaves_.emplace_back(address, std::move(slave));
}

void I2cController::FailNext(unsigned count, NTSTATUS status) {
  std::lock_guard<std::mutex> lock(mutex_);
  failCount_ = count;
  failStatus_ = status;
}

void I2cController::FailMatching(std::vector<uint8_t> written, NTSTATUS status, unsigned count) {
  std::lock_guard<std::mutex> lock(mutex_);
  failWritten_ = std::move(written);
  failWrittenStatus_ = status;
  failWrittenCount_ = count;
}

std::vector<uint8_t> I2cController::ConnectionSettings() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return settings_;
}

void I2cController::HangNext(unsigned count) {
  std::lock_guard<std::mutex> lock(mutex_);
  hangCount_ = count;
}

void I2cController::ShortReadNext(unsigned count, size_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  shortCount_ = count;
  shortBytes_ = bytes;
}

std::vector<I2cController::Transfer> I2cController::Transfers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return transfers_;
}

size_t I2cController::TransferCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return transfers_.size();
}

void I2cController::ClearTransfers() {
  std::lock_guard<std::mutex> lock(mutex_);
  transfers_.clear();
}

I2cController::Fault I2cController::TakeFault(NTSTATUS &status, size_t &shortBytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (failCount_) {
    --failCount_;
    status = failStatus_;
    return Fault::Fail;
  }
  if (hangCount_) {
    --hangCount_;
    return Fault::Hang;
  }
  if (shortCount_) {
    --shortCount_;
    shortBytes = shortBytes_;
    return Fault::ShortRead;
  }
  return Fault::None;
}

void I2cController::Record(Transfer transfer) {
  std::lock_guard<std::mutex> lock(mutex_);
  transfers_.push_back(std::move(transfer));
}

void I2cController::Dispatch(const std::shared_ptr<host::io::Packet> &packet) {
  const ULONG code = packet->ioControlCode;
  bool removed;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    removed = removed_;
  }
  if (removed) {
    packet->Complete(STATUS_NO_SUCH_DEVICE, 0);
    return;
  }
  if (code == kI2cSetConnection) {
    if (packet->input.size() != 6) {
      packet->Complete(STATUS_INVALID_PARAMETER, 0);
      return;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      settings_ = packet->input;
      speed_ = Le32(packet->input.data());
      address_ = Le16(packet->input.data() + 4);
      connected_ = true;
    }
    packet->Complete(STATUS_SUCCESS, 0);
    return;
  }
  if (code != kI2cRead && code != kI2cWriteRead && code != kI2cWrite) {
    packet->Complete(STATUS_INVALID_DEVICE_REQUEST, 0);
    return;
  }

  Transfer t{code, 0, 0, !packet->input.empty(), !packet->output.empty(), packet->input,
             (ULONG)packet->output.size(), STATUS_SUCCESS};
  std::shared_ptr<I2cSlave> slave;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    t.address = address_;
    t.speed = speed_;
    if (connected_)
      for (auto &s : slaves_)
        if (s.first == address_) slave = s.second;
  }
  if (!slave) {
    // Nobody acknowledges the address.
    t.status = STATUS_NO_SUCH_DEVICE;
    Record(t);
    packet->Complete(t.status, 0);
    return;
  }

  NTSTATUS faultStatus = STATUS_SUCCESS;
  size_t shortBytes = 0;
  Fault fault = TakeFault(faultStatus, shortBytes);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (fault == Fault::None && failWrittenCount_ && packet->input == failWritten_) {
      --failWrittenCount_;
      fault = Fault::Fail;
      faultStatus = failWrittenStatus_;
    }
  }
  if (fault == Fault::Fail) {
    t.status = faultStatus;
    Record(t);
    packet->Complete(faultStatus, 0);
    return;
  }
  if (fault == Fault::Hang) {
    t.status = STATUS_PENDING;
    Record(t);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      pending_.push_back(packet);
    }
    std::weak_ptr<host::io::Packet> weak = packet;
    packet->SetCancelRoutine([weak] {
      if (auto p = weak.lock()) p->TryComplete(STATUS_CANCELLED, 0);
    });
    return;
  }

  size_t readLength = code == kI2cWrite ? 0 : packet->output.size();
  size_t delivered = slave->Transfer(code == kI2cRead ? std::vector<uint8_t>() : packet->input,
                                     packet->output.data(), readLength);
  if (fault == Fault::ShortRead) delivered = std::min(delivered, shortBytes);
  ULONG_PTR information = code == kI2cWrite ? packet->input.size() : delivered;
  Record(t);

  Ticks duration = BusTime(t.speed, code == kI2cRead ? 0 : packet->input.size(), readLength);
  if (duration == 0) {
    packet->Complete(STATUS_SUCCESS, information);
    return;
  }
  Ticks finish;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finish = std::max(busFreeAt_, host::Scheduler::Now()) + duration;
    busFreeAt_ = finish;
    if (pending_.size() > 64)
      pending_.erase(std::remove_if(pending_.begin(), pending_.end(), [](auto &w) { return w.expired(); }),
                     pending_.end());
    pending_.push_back(packet);
  }
  bool inputRead = code == kI2cRead;
  if (inputRead) {
    unsigned now = ++readsNow_;
    unsigned most = mostReads_;
    while (now > most && !mostReads_.compare_exchange_weak(most, now)) {
    }
  }
  std::weak_ptr<host::io::Packet> weak = packet;
  auto self = shared_from_this();
  auto done = std::make_shared<std::atomic<bool>>(false);
  auto finishRead = [self, inputRead, done] {
    if (inputRead && !done->exchange(true)) --self->readsNow_;
  };
  packet->SetCancelRoutine([weak, finishRead] {
    finishRead();
    if (auto p = weak.lock()) p->TryComplete(STATUS_CANCELLED, 0);
  });
  host::Scheduler::Spawn("i2c bus", [weak, finish, information, finishRead] {
    host::Scheduler::Sleep(finish - host::Scheduler::Now());
    finishRead();
    if (auto p = weak.lock()) p->TryComplete(STATUS_SUCCESS, information);
  });
}

}  // namespace sim
