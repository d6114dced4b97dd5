// A simulated GPIO controller driver: it publishes the GPIO controller
// interface, hands out its pin interface (version 1, size checked) and owns
// the touch controller's interrupt pin: level or edge, masked or not. Mask
// and unmask must never overlap; it records when they do.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "Kernel/Io.h"
#include "Platform.h"

namespace sim {

// The pin interface record, laid out as the interface contract says.
struct PinInterface {
  USHORT Size;
  USHORT Version;
  PVOID Context;
  PINTERFACE_REFERENCE InterfaceReference;
  PINTERFACE_DEREFERENCE InterfaceDereference;
  NTSTATUS (*MaskInterrupt)(PVOID Context, ULONG Pin);
  NTSTATUS (*UnmaskInterrupt)(PVOID Context, ULONG Pin);
  PVOID Reserved1;
  PVOID Reserved2;
};

class GpioController : public host::io::Endpoint, public std::enable_shared_from_this<GpioController> {
 public:
  GpioController(std::string acpiPath, uint16_t pin, bool edgeTriggered);

  void Publish();
  void Withdraw();
  host::io::Name SymbolicLink() const;
  std::string Name() const override { return "GPIO controller " + acpiPath_; }

  // Removal: an orderly one asks the targets first and may be vetoed; a
  // surprise removal does not ask. Each is one PnP event.
  bool RemoveOrderly();
  void RemoveSurprise();

  // The line of the pin, as the touch controller drives it. `output` is the
  // interrupt the controller raises towards the CPU: the line while the pin
  // is unmasked (level), or a pulse per edge, an edge seen while masked
  // being kept for the unmask (edge).
  void SetLine(bool asserted);
  void SetOutput(std::function<void(bool)> output);

  // Variants of the interface answer.
  bool nullContext = false;
  bool withoutUnmask = false;
  NTSTATUS queryStatus = STATUS_SUCCESS;

  bool Masked() const;
  unsigned MaskCalls() const { return maskCalls_; }
  unsigned UnmaskCalls() const { return unmaskCalls_; }
  unsigned References() const { return references_; }
  std::vector<std::string> Breaches() const;
  unsigned Interrupts() const { return interrupts_; }

  NTSTATUS QueryInterface(const GUID &type, PINTERFACE interface, USHORT size, USHORT version,
                          PVOID specificData) override;
  void Dispatch(const std::shared_ptr<host::io::Packet> &packet) override;

 private:
  static NTSTATUS Mask(PVOID context, ULONG pin);
  static NTSTATUS Unmask(PVOID context, ULONG pin);
  static void Reference(PVOID context);
  static void Dereference(PVOID context);
  NTSTATUS Change(ULONG pin, bool mask);
  void Breach(std::string text);

  const std::string acpiPath_;
  const uint16_t pin_;
  const bool edge_;
  mutable std::mutex mutex_;
  bool masked_ = false;
  bool asserted_ = false;
  bool latched_ = false;  // an edge seen while masked
  bool removed_ = false;
  std::function<void(bool)> output_;
  bool outputLevel_ = false;
  void Drive();
  std::atomic<int> inRoutine_{0};
  std::atomic<unsigned> maskCalls_{0}, unmaskCalls_{0}, references_{0}, interrupts_{0};
  std::vector<std::string> breaches_;
};

}  // namespace sim
