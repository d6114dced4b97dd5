#include <ntddk.h>

#include <string>

#include "HostTest.h"
#include "Kernel/Kernel.h"

using namespace host;

class KernelTest : public HostTest {};

TEST_F(KernelTest, InitUnicodeStringCountsBytes) {
  UNICODE_STRING s;
  RtlInitUnicodeString(&s, L"\\??\\ACPI_I2C1");
  EXPECT_EQ(s.Length, 13 * 2);
  EXPECT_EQ(s.MaximumLength, 14 * 2);
  RtlInitUnicodeString(&s, nullptr);
  EXPECT_EQ(s.Length, 0);
  EXPECT_EQ(s.MaximumLength, 0);
  EXPECT_EQ(s.Buffer, nullptr);
}

TEST_F(KernelTest, InitAnsiStringCountsBytes) {
  ANSI_STRING s;
  RtlInitAnsiString(&s, "\\_SB.I2C1");
  EXPECT_EQ(s.Length, 9);
  EXPECT_EQ(s.MaximumLength, 10);
}

struct ConversionCase {
  size_t characters;
  USHORT capacity;
  NTSTATUS status;
};

TEST_F(KernelTest, AnsiToUnicodeIntoCallerStorage) {
  const ConversionCase cases[] = {
      {9, 256, STATUS_SUCCESS},
      {127, 256, STATUS_SUCCESS},          // 127 characters and the terminator fill 256 bytes
      {128, 256, STATUS_BUFFER_OVERFLOW},  // no room for the terminator
      {0, 2, STATUS_SUCCESS},
  };
  for (const ConversionCase &c : cases) {
    std::string text(c.characters, 'A');
    ANSI_STRING ansi;
    RtlInitAnsiString(&ansi, text.c_str());
    WCHAR storage[128];
    for (WCHAR &w : storage) w = 0x7777;
    UNICODE_STRING wide{0, c.capacity, storage};
    NTSTATUS status = RtlAnsiStringToUnicodeString(&wide, &ansi, FALSE);
    EXPECT_EQ(status, c.status) << c.characters << " characters";
    if (NT_SUCCESS(status)) {
      EXPECT_EQ(wide.Length, c.characters * 2);
      EXPECT_EQ(storage[c.characters], 0);
      if (c.characters) {
        EXPECT_EQ(storage[0], L'A');
      }
    } else {
      EXPECT_EQ(wide.Length, 0) << "a failed conversion leaves the destination alone";
      EXPECT_EQ(storage[0], 0x7777);
    }
  }
}

TEST_F(KernelTest, VersionRoutineIsExportedOnlyWhenTheMachineSaysSo) {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, L"RtlIsNtDdiVersionAvailable");
  auto available = (PFN_RTL_IS_NTDDI_VERSION_AVAILABLE)MmGetSystemRoutineAddress(&name);
  ASSERT_NE(available, nullptr);
  EXPECT_TRUE(available(NTDDI_WIN7));
  EXPECT_FALSE(available(NTDDI_WIN8));
  kernel::Machine().osMinor = 2;
  EXPECT_TRUE(available(NTDDI_WIN8));
  kernel::Machine().exportsRtlIsNtDdiVersionAvailable = false;
  EXPECT_EQ(MmGetSystemRoutineAddress(&name), nullptr);
  RtlInitUnicodeString(&name, L"NoSuchRoutine");
  EXPECT_EQ(MmGetSystemRoutineAddress(&name), nullptr);
}

TEST_F(KernelTest, PsGetVersionReportsTheMachine) {
  kernel::Machine().osMajor = 10;
  kernel::Machine().osMinor = 0;
  ULONG major = 0, minor = 99;
  EXPECT_FALSE(PsGetVersion(&major, &minor, nullptr, nullptr));  // not a checked build
  EXPECT_EQ(major, 10u);
  EXPECT_EQ(minor, 0u);
}

TEST_F(KernelTest, RundownWaitsForTheLastUser) {
  EX_RUNDOWN_REF ref;
  ExInitializeRundownProtection(&ref);
  bool deleted = false;
  bool usedAfterDelete = false;
  RunControlled([&] {
    ASSERT_TRUE(ExAcquireRundownProtection(&ref));
    Scheduler::Spawn("owner", [&] {
      ExWaitForRundownProtectionRelease(&ref);
      deleted = true;
    });
    Scheduler::Sleep(kTicksPerSecond);
    usedAfterDelete = deleted;
    ExReleaseRundownProtection(&ref);
  });
  EXPECT_TRUE(deleted);
  EXPECT_FALSE(usedAfterDelete);
  EXPECT_FALSE(ExAcquireRundownProtection(&ref)) << "a run-down reference refuses new users";
  ExReInitializeRundownProtection(&ref);
  EXPECT_TRUE(ExAcquireRundownProtection(&ref));
  ExReleaseRundownProtection(&ref);
}
