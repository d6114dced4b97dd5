#include "Bench.h"

#include <cstring>

sim::TouchDescription BenchTest::DefaultTouch() {
  sim::TouchDescription d;
  for (int i = 0; i < 0x3A; ++i) d.reportDescriptor.push_back((uint8_t)(0x05 + i));
  return d;
}

void BenchTest::OnBench(const std::function<void()> &body, sim::TouchDescription touch) {
  RunControlled([&] {
    ASSERT_EQ(host::fx::LoadDriver(DriverEntry, driver_), STATUS_SUCCESS);
    auto added = host::fx::AddDevice(driver_);
    ASSERT_EQ(added.status, STATUS_SUCCESS);
    device_ = added.device;
    context_ = GetDeviceContext(device_);

    i2c_ = std::make_shared<sim::I2cController>("\\_SB.PCI0.I2C1");
    i2c_->Publish();
    touch_ = std::make_shared<sim::TouchController>(touch);
    i2c_->Attach(0x2C, touch_);

    ASSERT_EQ(WdfIoTargetCreate(device_, WDF_NO_OBJECT_ATTRIBUTES, &target_), STATUS_SUCCESS);
    std::u16string link = i2c_->SymbolicLink();
    std::vector<WCHAR> name(link.begin(), link.end());
    WDF_IO_TARGET_OPEN_PARAMS params;
    UNICODE_STRING unicode{(USHORT)(name.size() * 2), (USHORT)(name.size() * 2), name.data()};
    WDF_IO_TARGET_OPEN_PARAMS_INIT_OPEN_BY_NAME(&params, &unicode, FILE_READ_DATA);
    ASSERT_EQ(WdfIoTargetOpen(target_, &params), STATUS_SUCCESS);
    uint8_t settings[6] = {0x80, 0x1A, 0x06, 0x00, 0x2C, 0x00};  // 400 kHz, slave 0x2C
    ASSERT_EQ(SendI2cRequest(target_, settings, 6, NULL, 0, IOCTL_I2C_SET_CONNECTION), STATUS_SUCCESS);
    context_->I2cTarget = target_;
    auto bytes = touch_->HidDescriptorBytes();
    std::memcpy(&context_->HidDescriptor, bytes.data(), sizeof(HID_I2C_DESCRIPTOR));

    host::fx::SetDeviceInD0(device_, true);
    hid_ = std::make_unique<sim::HidClass>(device_);
    i2c_->ClearTransfers();

    body();

    host::fx::SetDeviceInD0(device_, false);
    host::fx::UnloadDriver(driver_);
    i2c_->Withdraw();
  });
}
