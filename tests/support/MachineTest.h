// A fixture that runs the driver on a whole simulated machine.
#pragma once

#include "OrvanHidI2c.h"

#include <functional>

#include "HostTest.h"
#include "Machine.h"

class MachineTest : public HostTest {
 protected:
  static sim::MachineConfig Config() {
    sim::MachineConfig c;
    c.driverEntry = DriverEntry;
    return c;
  }
  // Runs `body` on a machine built from `config` (not booted yet) and shuts
  // it down afterwards.
  void OnMachine(const sim::MachineConfig &config, const std::function<void(sim::Machine &)> &body,
                 uint64_t seed = Seed()) {
    RunControlled(
        [&] {
          sim::Machine machine(config);
          body(machine);
          machine.Shutdown();
        },
        seed);
  }
  static PDEVICE_EXTENSION Context(sim::Machine &m) { return GetDeviceContext(m.Device()); }
  // Lets what the last step set going (interrupts, work items, restarts) finish.
  static void Settle() {
    host::fx::WaitForPnpIdle();
    host::Scheduler::Sleep(host::kTicksPerSecond);
    host::fx::WaitForPnpIdle();
  }
};
