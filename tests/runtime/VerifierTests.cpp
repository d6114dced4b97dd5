// Each verifier rule, shown to catch a deliberately wrong call.
#include <ntddk.h>
#include <wdf.h>

#include "HostTest.h"
#include "MiniDriver.h"

using namespace host;

namespace {

void PageableRoutine() { PAGED_CODE(); }

class VerifierTest : public HostTest {
 protected:
  // A loaded mini driver with one device whose context holds a wait lock.
  void AddDeviceWithLock() {
    mini::hooks().afterCreate = [](WDFDEVICE device) {
      WDF_OBJECT_ATTRIBUTES attributes;
      WDF_OBJECT_ATTRIBUTES_INIT(&attributes);
      attributes.ParentObject = device;
      return WdfWaitLockCreate(&attributes, &mini::GetContext(device)->lock);
    };
    mini::Load(driver_);
    auto added = fx::AddDevice(driver_);
    ASSERT_EQ(added.status, STATUS_SUCCESS);
    device_ = added.device;
    lock_ = mini::GetContext(device_)->lock;
  }
  void TearDown() override {
    if (driver_.handle) fx::UnloadDriver(driver_);
    HostTest::TearDown();
  }

  fx::LoadedDriver driver_;
  WDFDEVICE device_ = nullptr;
  WDFWAITLOCK lock_ = nullptr;
};

}  // namespace

TEST_F(VerifierTest, PagedCodeAtDispatchLevel) {
  KIRQL old;
  KeRaiseIrql(DISPATCH_LEVEL, &old);
  PageableRoutine();
  KeLowerIrql(old);
  auto breaches = TakeBreaches();
  ASSERT_EQ(breaches.size(), 1u);
  EXPECT_EQ(breaches[0].rule, rules::IrqlPagedCode);
  EXPECT_EQ(breaches[0].routine, "PageableRoutine");
}

TEST_F(VerifierTest, PagedCodeAtPassiveLevelIsFine) {
  PageableRoutine();
  EXPECT_TRUE(TakeBreaches().empty());
}

TEST_F(VerifierTest, BlockingWaitLockAcquireAbovePassive) {
  AddDeviceWithLock();
  KIRQL old;
  KeRaiseIrql(DISPATCH_LEVEL, &old);
  WdfWaitLockAcquire(lock_, nullptr);
  WdfWaitLockRelease(lock_);
  KeLowerIrql(old);
  ExpectBreach(rules::IrqlBlocking);
}

TEST_F(VerifierTest, ReleaseWithoutAcquire) {
  AddDeviceWithLock();
  WdfWaitLockRelease(lock_);
  ExpectBreach(rules::LockReleaseNotHeld);
}

TEST_F(VerifierTest, RecursiveAcquire) {
  AddDeviceWithLock();
  WdfWaitLockAcquire(lock_, nullptr);
  WdfWaitLockAcquire(lock_, nullptr);
  WdfWaitLockRelease(lock_);
  ExpectBreach(rules::LockRecursive);
}

TEST_F(VerifierTest, LockStillHeldWhenACallbackReturns) {
  mini::hooks().afterCreate = [](WDFDEVICE device) {
    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT(&attributes);
    attributes.ParentObject = device;
    WDFWAITLOCK lock;
    NTSTATUS status = WdfWaitLockCreate(&attributes, &lock);
    if (NT_SUCCESS(status)) WdfWaitLockAcquire(lock, nullptr);
    return status;
  };
  mini::Load(driver_);
  fx::AddDevice(driver_);
  auto breaches = TakeBreaches();
  ASSERT_EQ(breaches.size(), 1u);
  EXPECT_EQ(breaches[0].rule, rules::LockHeldOnReturn);
  EXPECT_EQ(breaches[0].routine, "EvtDriverDeviceAdd");
}

TEST_F(VerifierTest, UseOfADeletedObject) {
  AddDeviceWithLock();
  WdfObjectDelete(lock_);
  EXPECT_TRUE(TakeBreaches().empty());
  WdfWaitLockAcquire(lock_, nullptr);
  ExpectBreach(rules::HandleStale);
}

TEST_F(VerifierTest, DeletingAFrameworkOwnedObject) {
  AddDeviceWithLock();
  WdfObjectDelete(device_);
  ExpectBreach(rules::HandleFrameworkOwned);
  // The device is still there.
  EXPECT_NE(mini::GetContext(device_), nullptr);
}

TEST_F(VerifierTest, HandleOfAnotherKind) {
  AddDeviceWithLock();
  WdfWaitLockAcquire((WDFWAITLOCK)device_, nullptr);
  ExpectBreach(rules::HandleWrongType);
}

TEST_F(VerifierTest, BreachRecordsTheSimulatedThread) {
  RunControlled([] {
    Scheduler::Spawn("dpc", [] {
      KIRQL old;
      KeRaiseIrql(DISPATCH_LEVEL, &old);
      PageableRoutine();
      KeLowerIrql(old);
    });
  });
  auto breaches = TakeBreaches();
  ASSERT_EQ(breaches.size(), 1u);
  EXPECT_EQ(breaches[0].thread, "dpc");
}
