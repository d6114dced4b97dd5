// The driver's one path to the touch controller.
#include "Bench.h"

#include "Runtime/Scheduler.h"

using host::kTicksPerSecond;

class SendI2cRequestTest : public BenchTest {};

TEST_F(SendI2cRequestTest, NullTargetFailsAndSendsNothing) {
  OnBench([&] {
    uint8_t reg[2] = {0x01, 0x00};
    uint8_t out[30];
    EXPECT_EQ(SendI2cRequest(NULL, reg, 2, out, 30, IOCTL_I2C_WRITE_READ), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(i2c_->TransferCount(), 0u);
  });
}

TEST_F(SendI2cRequestTest, NullBufferSendsNoBufferOnThatSide) {
  OnBench([&] {
    uint8_t out[4];
    EXPECT_EQ(SendI2cRequest(target_, NULL, 5, out, 4, IOCTL_I2C_READ), STATUS_SUCCESS);
    uint8_t command[4] = {0x05, 0x00, 0x00, 0x08};
    EXPECT_EQ(SendI2cRequest(target_, command, 4, NULL, 7, IOCTL_I2C_WRITE), STATUS_SUCCESS);
    auto t = i2c_->Transfers();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_FALSE(t[0].hadInput);
    EXPECT_TRUE(t[0].hadOutput);
    EXPECT_EQ(t[0].readLength, 4u);
    EXPECT_TRUE(t[1].hadInput);
    EXPECT_FALSE(t[1].hadOutput);
    EXPECT_EQ(t[1].written, std::vector<uint8_t>(command, command + 4));
  });
}

TEST_F(SendI2cRequestTest, HangingControllerFailsAtFiveSecondsExactly) {
  OnBench([&] {
    i2c_->HangNext(1);
    uint8_t out[8];
    host::Ticks start = host::Scheduler::Now();
    NTSTATUS status = SendI2cRequest(target_, NULL, 0, out, sizeof out, IOCTL_I2C_READ);
    EXPECT_FALSE(NT_SUCCESS(status));
    EXPECT_EQ(status, STATUS_IO_TIMEOUT);
    EXPECT_EQ(host::Scheduler::Now() - start, 5 * kTicksPerSecond);
  });
}

TEST_F(SendI2cRequestTest, ShortReadStillSucceeds) {
  OnBench([&] {
    i2c_->ShortReadNext(1, 1);
    uint8_t reg[2] = {0x01, 0x00};
    uint8_t out[30];
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(SendI2cRequest(target_, reg, 2, out, sizeof out, IOCTL_I2C_WRITE_READ), STATUS_SUCCESS);
    EXPECT_EQ(out[0], 30) << "the byte that came";
    EXPECT_EQ(out[1], 0xEE) << "the caller's fill where nothing came";
  });
}

TEST_F(SendI2cRequestTest, FailureStatusIsReturnedUnchanged) {
  OnBench([&] {
    i2c_->FailNext(1, STATUS_DEVICE_BUSY);
    uint8_t out[4];
    EXPECT_EQ(SendI2cRequest(target_, NULL, 0, out, 4, IOCTL_I2C_READ), STATUS_DEVICE_BUSY);
    EXPECT_EQ(SendI2cRequest(target_, NULL, 0, out, 4, IOCTL_I2C_READ), STATUS_SUCCESS);
  });
}

TEST_F(SendI2cRequestTest, SendOptionsAreFiveSecondSynchronous) {
  OnBench([&] {
    uint8_t out[4];
    SendI2cRequest(target_, NULL, 0, out, 4, IOCTL_I2C_READ);
    auto target = std::static_pointer_cast<host::fx::IoTarget>(host::fx::LookupQuiet(target_));
    ASSERT_TRUE(target->optionsGiven);
    const WDF_REQUEST_SEND_OPTIONS &o = target->lastOptions;
    EXPECT_EQ(o.Size, 16u);
    EXPECT_EQ(o.Flags, 3u);
    EXPECT_EQ(o.Timeout, -50000000LL);
    EXPECT_EQ((uint32_t)(o.Timeout & 0xFFFFFFFF), 0xFD050F80u);
    EXPECT_EQ((uint32_t)((uint64_t)o.Timeout >> 32), 0xFFFFFFFFu);
  });
}

TEST_F(SendI2cRequestTest, TransferTakesItsBusTime) {
  OnBench([&] {
    uint8_t reg[2] = {0x02, 0x00};
    std::vector<uint8_t> out(context_->HidDescriptor.wReportDescLength);
    host::Ticks start = host::Scheduler::Now();
    EXPECT_EQ(SendI2cRequest(target_, reg, 2, out.data(), (ULONG)out.size(), IOCTL_I2C_WRITE_READ), STATUS_SUCCESS);
    EXPECT_EQ(host::Scheduler::Now() - start, sim::BusTime(400000, 2, out.size()));
  });
}
