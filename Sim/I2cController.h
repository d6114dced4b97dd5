// A simulated I2C controller driver: it publishes the I2C controller
// interface under a symbolic link built from its ACPI path, answers the four
// private I/O controls, routes transfers to the slave at the connected
// address and completes each after its bus time on the clock.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Kernel/Io.h"
#include "Platform.h"

namespace sim {

class I2cSlave {
 public:
  virtual ~I2cSlave() = default;
  // One transfer on the bus: `written` goes to the slave, then up to
  // `readLength` bytes are read into `read`. Returns how many bytes the
  // slave delivered.
  virtual size_t Transfer(const std::vector<uint8_t> &written, uint8_t *read, size_t readLength) = 0;
};

class I2cController : public host::io::Endpoint, public std::enable_shared_from_this<I2cController> {
 public:
  explicit I2cController(std::string acpiPath);

  // The interface appears (and can be opened) or goes away.
  void Publish();
  void Withdraw();
  const std::string &AcpiPath() const { return acpiPath_; }
  host::io::Name SymbolicLink() const;
  std::string Name() const override { return "I2C controller " + acpiPath_; }

  void Attach(uint16_t address, std::shared_ptr<I2cSlave> slave);

  // Removal: an orderly one asks the targets first and may be vetoed; a
  // surprise removal does not ask. Transfers still on the bus fail.
  bool RemoveOrderly();
  void RemoveSurprise();

  // Faults for the next transfers (not connection set-up).
  void FailNext(unsigned count, NTSTATUS status);
  void HangNext(unsigned count);  // never completes until cancelled
  void ShortReadNext(unsigned count, size_t bytes);
  // Fails the next `count` writes whose bytes are exactly `written`.
  void FailMatching(std::vector<uint8_t> written, NTSTATUS status, unsigned count = 1);
  // The last connection settings record, as it came.
  std::vector<uint8_t> ConnectionSettings() const;

  struct Transfer {
    ULONG ioControlCode;
    uint16_t address;
    ULONG speed;
    bool hadInput;
    bool hadOutput;
    std::vector<uint8_t> written;
    ULONG readLength;
    NTSTATUS status;
  };
  std::vector<Transfer> Transfers() const;
  size_t TransferCount() const;
  // The most input reads (reads without a register) ever on the bus at once.
  unsigned MostConcurrentInputReads() const { return mostReads_; }
  void ClearTransfers();

  void Dispatch(const std::shared_ptr<host::io::Packet> &packet) override;

 private:
  enum class Fault { None, Fail, Hang, ShortRead };
  Fault TakeFault(NTSTATUS &status, size_t &shortBytes);
  void Record(Transfer transfer);

  const std::string acpiPath_;
  mutable std::mutex mutex_;
  bool connected_ = false;
  ULONG speed_ = 0;
  uint16_t address_ = 0;
  std::vector<std::pair<uint16_t, std::shared_ptr<I2cSlave>>> slaves_;
  unsigned failCount_ = 0;
  NTSTATUS failStatus_ = STATUS_SUCCESS;
  unsigned hangCount_ = 0;
  unsigned shortCount_ = 0;
  size_t shortBytes_ = 0;
  host::Ticks busFreeAt_ = 0;
  bool removed_ = false;
  std::atomic<unsigned> readsNow_{0}, mostReads_{0};
  std::vector<std::weak_ptr<host::io::Packet>> pending_;
  std::vector<Transfer> transfers_;
  std::vector<uint8_t> settings_;
  std::vector<uint8_t> failWritten_;
  NTSTATUS failWrittenStatus_ = STATUS_SUCCESS;
  unsigned failWrittenCount_ = 0;
};

// Bus time of one transfer at a speed in Hz (0: instant): 9 bits per byte,
// an address byte per direction, a start and a stop.
host::Ticks BusTime(ULONG speed, size_t written, size_t read);

}  // namespace sim
