// One simulated machine around one driver instance: the I2C and GPIO
// controllers, the touch device's ACPI node, the touch controller on the
// bus and the HID class driver above, with a small API for tests.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AcpiDevice.h"
#include "Framework/Fx.h"
#include "GpioController.h"
#include "HidClass.h"
#include "I2cController.h"
#include "TouchController.h"

namespace sim {

struct MachineConfig {
  PDRIVER_INITIALIZE driverEntry = nullptr;
  TouchDescription touch;
  std::string i2cPath = "\\_SB.PCI0.I2C1";
  std::string gpioPath = "\\_SB.GPO0";
  uint16_t slaveAddress = 0x2C;
  uint32_t speed = 400000;
  uint16_t pin = 0x17;
  bool gpioAtBoot = true;
  bool edgeTriggered = false;
  // Built from the fields above when left empty.
  std::optional<AcpiDescription> acpi;
  // One interrupt when left empty.
  std::optional<std::vector<CM_PARTIAL_RESOURCE_DESCRIPTOR>> resources;
};

class Machine {
 public:
  explicit Machine(MachineConfig config);
  ~Machine();

  // Loads the driver (once), publishes the controllers, adds the device on
  // the ACPI node and starts it. Returns the start's status.
  NTSTATUS Boot();
  // Removes the device and unloads the driver.
  void Shutdown();

  WDFDEVICE Device() const { return device_; }
  host::fx::LoadedDriver &Driver() { return driver_; }
  I2cController &I2c() { return *i2c_; }
  GpioController &Gpio() { return *gpio_; }
  AcpiDevice &Acpi() { return *acpi_; }
  TouchController &Touch() { return *touch_; }
  HidClass &Hid() { return *hid_; }
  const MachineConfig &Config() const { return config_; }

  NTSTATUS Start();
  void Stop();
  void Remove(bool surprise = false);
  // A GPIO controller that was not there at boot appears.
  void ArriveGpio();

  // Plays input reports on a player thread: each one queued at its time
  // after the start of the play (virtual time in controlled runs).
  struct Timed {
    host::Ticks at;
    std::vector<uint8_t> bytes;  // the report, without the length field
  };
  void Play(std::vector<Timed> reports);
  static std::vector<Timed> FromContacts(const ContactLayout &layout, const std::vector<std::vector<Contact>> &frames,
                                         host::Ticks interval);
  bool PlayDone() const { return playDone_; }
  size_t Played() const { return played_; }

  // Shares another machine's driver instead of loading one: several touch
  // devices under one driver.
  void ShareDriverOf(Machine &other) { shared_ = &other.driver_; }

  static CM_PARTIAL_RESOURCE_DESCRIPTOR InterruptResource();
  static CM_PARTIAL_RESOURCE_DESCRIPTOR MemoryResource();

 private:
  MachineConfig config_;
  host::fx::LoadedDriver driver_;
  // Read by the touch controller's line on the player's thread.
  std::atomic<WDFDEVICE> device_{nullptr};
  std::shared_ptr<I2cController> i2c_;
  std::shared_ptr<GpioController> gpio_;
  std::shared_ptr<AcpiDevice> acpi_;
  std::shared_ptr<TouchController> touch_;
  std::unique_ptr<HidClass> hid_;
  std::atomic<bool> gpioPublished_{false};
  host::fx::LoadedDriver *shared_ = nullptr;
  std::atomic<bool> playDone_{true};
  std::atomic<size_t> played_{0};
};

// The default controller of the simulator: a 10-contact touchscreen.
TouchDescription DefaultTouchscreen();

}  // namespace sim
