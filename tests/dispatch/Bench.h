// A device of the driver with a remote target on a simulated I2C controller
// that the test opened itself, as the driver's own binding would, so that
// the request handlers can be reached before the device is started.
#pragma once

#include "OrvanHidI2c.h"

#include <cstring>

#include <functional>
#include <memory>

#include "Framework/Fx.h"
#include "HidClass.h"
#include "HostTest.h"
#include "I2cController.h"
#include "TouchController.h"

class BenchTest : public HostTest {
 protected:
  static sim::TouchDescription DefaultTouch();

  // Runs `body` on the controlled scheduler with the driver loaded, its
  // device added and in D0, and I2cTarget opened on the controller.
  void OnBench(const std::function<void()> &body, sim::TouchDescription touch = DefaultTouch());

  host::fx::LoadedDriver driver_;
  WDFDEVICE device_ = nullptr;
  PDEVICE_EXTENSION context_ = nullptr;
  WDFIOTARGET target_ = nullptr;
  std::shared_ptr<sim::I2cController> i2c_;
  std::shared_ptr<sim::TouchController> touch_;
  std::unique_ptr<sim::HidClass> hid_;
};
