// Framework objects: handles, parent/child ownership with delete cascade,
// and typed contexts.
#include <wdf.h>

#include "HostTest.h"
#include "MiniDriver.h"

using namespace host;

namespace {

struct OtherContext {
  int unused;
};
WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(OtherContext, GetOtherContext)

class ObjectTest : public HostTest {
 protected:
  void TearDown() override {
    if (driver_.handle) fx::UnloadDriver(driver_);
    HostTest::TearDown();
  }
  fx::LoadedDriver driver_;
};

}  // namespace

TEST_F(ObjectTest, ContextIsZeroFilledAndFoundByType) {
  mini::Load(driver_);
  auto added = fx::AddDevice(driver_);
  ASSERT_EQ(added.status, STATUS_SUCCESS);
  mini::Context *context = mini::GetContext(added.device);
  ASSERT_NE(context, nullptr);
  EXPECT_EQ(context->value, 0);
  EXPECT_EQ(context->lock, nullptr);
  EXPECT_EQ(GetOtherContext(added.device), nullptr) << "no context of a type the object was not given";
}

TEST_F(ObjectTest, DeletingAParentDeletesItsChildren) {
  WDFWAITLOCK parentLock = nullptr, childLock = nullptr;
  mini::hooks().afterCreate = [&](WDFDEVICE device) {
    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT(&attributes);
    attributes.ParentObject = device;
    NTSTATUS status = WdfWaitLockCreate(&attributes, &parentLock);
    if (!NT_SUCCESS(status)) return status;
    attributes.ParentObject = parentLock;
    return WdfWaitLockCreate(&attributes, &childLock);
  };
  mini::Load(driver_);
  auto added = fx::AddDevice(driver_);
  ASSERT_EQ(added.status, STATUS_SUCCESS);
  WdfObjectDelete(parentLock);
  EXPECT_TRUE(TakeBreaches().empty());
  EXPECT_EQ(fx::LookupQuiet(parentLock), nullptr);
  EXPECT_EQ(fx::LookupQuiet(childLock), nullptr);
  EXPECT_NE(fx::LookupQuiet(added.device), nullptr);
}

TEST_F(ObjectTest, DeletingTheDeviceDeletesEverythingBelowIt) {
  WDFQUEUE queue = nullptr;
  mini::hooks().afterCreate = [&](WDFDEVICE device) {
    WDF_IO_QUEUE_CONFIG config;
    WDF_IO_QUEUE_CONFIG_INIT(&config, WdfIoQueueDispatchManual);
    return WdfIoQueueCreate(device, &config, WDF_NO_OBJECT_ATTRIBUTES, &queue);
  };
  mini::Load(driver_);
  auto added = fx::AddDevice(driver_);
  ASSERT_EQ(added.status, STATUS_SUCCESS);
  fx::DeleteDevice(added.device);
  EXPECT_EQ(fx::LookupQuiet(queue), nullptr);
  EXPECT_EQ(fx::LookupQuiet(added.device), nullptr);
}

TEST_F(ObjectTest, AStaleHandleIsNotReused) {
  WDFWAITLOCK first = nullptr, second = nullptr;
  mini::hooks().afterCreate = [&](WDFDEVICE device) {
    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT(&attributes);
    attributes.ParentObject = device;
    NTSTATUS status = WdfWaitLockCreate(&attributes, &first);
    WdfObjectDelete(first);
    if (NT_SUCCESS(status)) status = WdfWaitLockCreate(&attributes, &second);
    return status;
  };
  mini::Load(driver_);
  ASSERT_EQ(fx::AddDevice(driver_).status, STATUS_SUCCESS);
  EXPECT_NE(first, second);
  EXPECT_EQ(fx::LookupQuiet(first), nullptr);
  EXPECT_NE(fx::LookupQuiet(second), nullptr);
}

TEST_F(ObjectTest, UnloadRunsTheDriversUnloadAndDeletesItsObjects) {
  bool unloaded = false;
  mini::hooks().unload = [&](WDFDRIVER) { unloaded = true; };
  mini::Load(driver_);
  auto added = fx::AddDevice(driver_);
  fx::UnloadDriver(driver_);
  EXPECT_TRUE(unloaded);
  EXPECT_EQ(fx::LookupQuiet(added.device), nullptr);
}
