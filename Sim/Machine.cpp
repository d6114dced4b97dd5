#include "Machine.h"

namespace sim {

CM_PARTIAL_RESOURCE_DESCRIPTOR Machine::InterruptResource() {
  CM_PARTIAL_RESOURCE_DESCRIPTOR d{};
  d.Type = CmResourceTypeInterrupt;
  d.Flags = CM_RESOURCE_INTERRUPT_LEVEL_SENSITIVE;
  d.u.Interrupt.Level = 0x51;
  d.u.Interrupt.Vector = 0x51;
  d.u.Interrupt.Affinity = 1;
  return d;
}

CM_PARTIAL_RESOURCE_DESCRIPTOR Machine::MemoryResource() {
  CM_PARTIAL_RESOURCE_DESCRIPTOR d{};
  d.Type = CmResourceTypeMemory;
  d.u.Memory.Start = 0xFED00000;
  d.u.Memory.Length = 0x1000;
  return d;
}

Machine::Machine(MachineConfig config) : config_(std::move(config)) {
  if (config_.touch.reportDescriptor.empty()) config_.touch = DefaultTouchscreen();
  i2c_ = std::make_shared<I2cController>(config_.i2cPath);
  gpio_ = std::make_shared<GpioController>(config_.gpioPath, config_.pin, config_.edgeTriggered);
  touch_ = std::make_shared<TouchController>(config_.touch);
  i2c_->Attach(config_.slaveAddress, touch_);
  AcpiDescription acpi;
  if (config_.acpi) {
    acpi = *config_.acpi;
  } else {
    acpi.hidDescriptorAddress = config_.touch.hidDescriptorRegister;
    I2cSerialBus bus;
    bus.speed = config_.speed;
    bus.address = config_.slaveAddress;
    bus.resourceSource = config_.i2cPath;
    GpioConnection gpio;
    gpio.pins = {config_.pin};
    gpio.resourceSource = config_.gpioPath;
    acpi.resources = ResourceTemplate().Add(bus).Add(gpio).End().Bytes();
  }
  acpi_ = std::make_shared<AcpiDevice>(acpi);
  // The touch controller's line reaches the CPU through the GPIO pin when
  // the GPIO controller is there, and straight otherwise.
  std::weak_ptr<GpioController> gpio = gpio_;
  touch_->ConnectLine([this, gpio](bool asserted) {
    auto g = gpio.lock();
    WDFDEVICE device = device_;
    if (g && gpioPublished_) {
      g->SetLine(asserted);
    } else if (device) {
      host::fx::SetInterruptLine(device, asserted);
    }
  });
  gpio_->SetOutput([this](bool level) {
    WDFDEVICE device = device_;
    if (device) host::fx::SetInterruptLine(device, level);
  });
}

Machine::~Machine() = default;

NTSTATUS Machine::Boot() {
  host::fx::LoadedDriver &driver = shared_ ? *shared_ : driver_;
  if (driver.handle == nullptr) {
    NTSTATUS status = host::fx::LoadDriver(config_.driverEntry, driver);
    if (!NT_SUCCESS(status)) return status;
  }
  i2c_->Publish();
  if (config_.gpioAtBoot) {
    gpio_->Publish();
    gpioPublished_ = true;
  }
  auto added = host::fx::AddDevice(driver, acpi_);
  if (!NT_SUCCESS(added.status)) return added.status;
  device_ = added.device;
  hid_ = std::make_unique<HidClass>(device_);
  return Start();
}

NTSTATUS Machine::Start() {
  host::fx::DeviceResources resources;
  resources.translated = config_.resources ? *config_.resources
                                           : std::vector<CM_PARTIAL_RESOURCE_DESCRIPTOR>{InterruptResource()};
  resources.raw = resources.translated;
  return host::fx::StartDevice(device_, resources);
}

void Machine::Stop() { host::fx::StopDevice(device_); }

void Machine::Remove(bool surprise) {
  WDFDEVICE device = device_;
  if (!device) return;
  host::fx::WaitForPnpIdle();
  device_ = nullptr;
  host::fx::RemoveDevice(device, surprise);
}

void Machine::ArriveGpio() {
  gpioPublished_ = true;
  gpio_->Publish();
}

void Machine::Shutdown() {
  while (!playDone_) host::Scheduler::Sleep(host::kTicksPerMs);
  if (hid_) hid_->StopReading();
  Remove();
  host::fx::WaitForPnpIdle();
  if (driver_.handle) host::fx::UnloadDriver(driver_);
}

void Machine::Play(std::vector<Timed> reports) {
  playDone_ = false;
  host::Scheduler::Spawn("touch controller", [this, reports = std::move(reports)] {
    host::Ticks start = host::Scheduler::Now();
    for (const Timed &r : reports) {
      host::Ticks wait = start + r.at - host::Scheduler::Now();
      if (wait > 0) host::Scheduler::Sleep(wait);
      if (touch_->QueueReport(r.bytes)) ++played_;
    }
    playDone_ = true;
  });
}

std::vector<Machine::Timed> Machine::FromContacts(const ContactLayout &layout,
                                                  const std::vector<std::vector<Contact>> &frames,
                                                  host::Ticks interval) {
  std::vector<Timed> out;
  host::Ticks at = 0;
  for (auto &frame : frames) {
    out.push_back(Timed{at, EncodeContacts(layout, frame)});
    at += interval;
  }
  return out;
}

TouchDescription DefaultTouchscreen() {
  // A 10-contact touchscreen: report id 1, per contact tip switch, contact
  // id, X and Y (0..4095), then a contact count.
  std::vector<uint8_t> d = {0x05, 0x0D, 0x09, 0x04, 0xA1, 0x01, 0x85, 0x01};
  for (int i = 0; i < 10; ++i) {
    const uint8_t finger[] = {0x09, 0x22, 0xA1, 0x02, 0x09, 0x42, 0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95,
                              0x01, 0x81, 0x02, 0x75, 0x07, 0x81, 0x03, 0x09, 0x51, 0x25, 0x7F, 0x75, 0x08,
                              0x81, 0x02, 0x05, 0x01, 0x26, 0xFF, 0x0F, 0x75, 0x10, 0x09, 0x30, 0x81, 0x02,
                              0x09, 0x31, 0x81, 0x02, 0x05, 0x0D, 0xC0};
    d.insert(d.end(), std::begin(finger), std::end(finger));
  }
  const uint8_t tail[] = {0x09, 0x54, 0x25, 0x0A, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0xC0};
  d.insert(d.end(), std::begin(tail), std::end(tail));
  TouchDescription t;
  t.reportDescriptor = d;
  t.hid.wMaxInputLength = 2 + 1 + 10 * 6 + 1;
  return t;
}

}  // namespace sim
