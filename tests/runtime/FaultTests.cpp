#include <ntddk.h>

#include "HostTest.h"
#include "Runtime/Faults.h"

using namespace host;

class FaultTest : public HostTest {};

TEST_F(FaultTest, FailsTheNthCallCountedFromNow) {
  Faults::Check("Routine", nullptr);  // calls before the plan do not count towards it
  Faults::FailNth("Routine", 2, STATUS_DATA_ERROR);
  int32_t status = 0;
  EXPECT_FALSE(Faults::Check("Routine", &status));
  EXPECT_TRUE(Faults::Check("Routine", &status));
  EXPECT_EQ(status, STATUS_DATA_ERROR);
  EXPECT_FALSE(Faults::Check("Routine", &status));
  EXPECT_EQ(Faults::Calls("Routine"), 4u);
}

TEST_F(FaultTest, FailsARunOfCalls) {
  Faults::FailNth("Routine", 1, STATUS_UNSUCCESSFUL, 2);
  EXPECT_TRUE(Faults::Check("Routine", nullptr));
  EXPECT_TRUE(Faults::Check("Routine", nullptr));
  EXPECT_FALSE(Faults::Check("Routine", nullptr));
}

TEST_F(FaultTest, OtherRoutinesAreUntouched) {
  Faults::FailNth("Routine", 1, STATUS_UNSUCCESSFUL);
  EXPECT_FALSE(Faults::Check("Other", nullptr));
  EXPECT_TRUE(Faults::Check("Routine", nullptr));
}

TEST_F(FaultTest, AllocationFailsOnDemand) {
  Faults::FailNth("ExAllocatePoolWithTag", 2, 0);
  void *first = ExAllocatePoolWithTag(NonPagedPool, 8, 'tseT');
  void *second = ExAllocatePoolWithTag(NonPagedPool, 8, 'tseT');
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(second, nullptr);
  ExFreePoolWithTag(first, 'tseT');
}

TEST_F(FaultTest, ResetForgetsPlansAndCounts) {
  Faults::FailNth("Routine", 1, STATUS_UNSUCCESSFUL);
  Faults::Reset();
  EXPECT_FALSE(Faults::Check("Routine", nullptr));
  EXPECT_EQ(Faults::Calls("Routine"), 1u);
}
