#include <ntddk.h>

#include <cstring>

#include "HostTest.h"
#include "Kernel/Pool.h"

using namespace host;

class PoolTest : public HostTest {};

TEST_F(PoolTest, TracksBlocksByTagAndSize) {
  void *a = ExAllocatePoolWithTag(NonPagedPool, 30, 'MDIH');
  void *b = ExAllocatePoolWithTag(PagedPool, 7, 'tseT');
  auto blocks = Pool::Outstanding();
  ASSERT_EQ(blocks.size(), 2u);
  bool sawHidm = false;
  for (auto &block : blocks)
    if (block.address == a) {
      sawHidm = true;
      EXPECT_EQ(block.size, 30u);
      EXPECT_EQ(Pool::TagText(block.tag), "HIDM");
    }
  EXPECT_TRUE(sawHidm);
  ExFreePoolWithTag(a, 'MDIH');
  ExFreePoolWithTag(b, 'tseT');
  EXPECT_EQ(Pool::OutstandingCount(), 0u);
}

TEST_F(PoolTest, FreedBlockIsPoisoned) {
  auto *p = (unsigned char *)ExAllocatePoolWithTag(NonPagedPool, 16, 'tseT');
  std::memset(p, 0x11, 16);
  ExFreePoolWithTag(p, 'tseT');
  Pool::CheckQuarantine();
  EXPECT_TRUE(TakeBreaches().empty());
}

TEST_F(PoolTest, FreeWithAnotherTag) {
  void *p = ExAllocatePoolWithTag(NonPagedPool, 4, 'MDIH');
  ExFreePoolWithTag(p, 'XDIH');
  ExpectBreach(rules::PoolWrongTag);
}

TEST_F(PoolTest, TagZeroFreesAnyBlock) {
  void *p = ExAllocatePoolWithTag(PagedPool, 4, 'MDIH');
  ExFreePoolWithTag(p, 0);
  EXPECT_TRUE(TakeBreaches().empty());
}

TEST_F(PoolTest, DoubleFree) {
  void *p = ExAllocatePoolWithTag(NonPagedPool, 4, 'MDIH');
  ExFreePoolWithTag(p, 'MDIH');
  ExFreePoolWithTag(p, 'MDIH');
  ExpectBreach(rules::PoolDoubleFree);
}

TEST_F(PoolTest, FreeOfAnAddressNeverAllocated) {
  int local = 0;
  ExFreePoolWithTag(&local, 'MDIH');
  ExpectBreach(rules::PoolUnknownFree);
}

#if !defined(__SANITIZE_ADDRESS__)
// Under the address sanitizer the write itself is caught where it happens.
TEST_F(PoolTest, WriteAfterFreeIsCaught) {
  auto *p = (volatile unsigned char *)ExAllocatePoolWithTag(NonPagedPool, 8, 'MDIH');
  ExFreePoolWithTag((void *)p, 'MDIH');
  p[3] = 0;
  Pool::CheckQuarantine();
  ExpectBreach(rules::PoolUseAfterFree);
}
#endif

TEST_F(PoolTest, WritePastTheEndIsCaughtAtFree) {
  auto *p = (unsigned char *)ExAllocatePoolWithTag(NonPagedPool, 8, 'MDIH');
  p[8] = 0;  // one past the end, inside the guard
  ExFreePoolWithTag(p, 'MDIH');
  ExpectBreach(rules::PoolOverrun);
}

TEST_F(PoolTest, LeakReportListsTagAndSize) {
  void *p = ExAllocatePoolWithTag(NonPagedPool, 577, 'MDIH');
  EXPECT_EQ(Pool::ReportLeaks("unload"), 1u);
  auto breaches = TakeBreaches();
  ASSERT_EQ(breaches.size(), 1u);
  EXPECT_EQ(breaches[0].rule, rules::PoolLeak);
  EXPECT_NE(breaches[0].detail.find("577 bytes"), std::string::npos) << breaches[0].detail;
  EXPECT_NE(breaches[0].detail.find("'HIDM'"), std::string::npos) << breaches[0].detail;
  ExFreePoolWithTag(p, 'MDIH');
}

TEST_F(PoolTest, AllocationAboveDispatchLevel) {
  KIRQL old;
  KeRaiseIrql(DIRQL_LEVEL, &old);
  void *p = ExAllocatePoolWithTag(NonPagedPool, 4, 'MDIH');
  KeLowerIrql(old);
  ExFreePoolWithTag(p, 'MDIH');
  ExpectBreach(rules::IrqlTooHigh);
}

TEST_F(PoolTest, PagedPoolAtDispatchLevel) {
  KIRQL old;
  KeRaiseIrql(DISPATCH_LEVEL, &old);
  void *p = ExAllocatePoolWithTag(PagedPool, 4, 'MDIH');
  KeLowerIrql(old);
  ExFreePoolWithTag(p, 'MDIH');
  ExpectBreach(rules::PoolIrql);
}
