// Trace gating: a message is written when its flag's bit is enabled for the
// provider and the enabled level is at least the message's level.
#include <ntddk.h>
#include <wdf.h>

#define WPP_CONTROL_GUIDS                                                   \
  WPP_DEFINE_CONTROL_GUID(TraceTestGuid, (1A2B3C4D, 5E6F, 4A1B, 8C2D, 3E4F5A6B7C8D), \
                          WPP_DEFINE_BIT(FLAG_A) WPP_DEFINE_BIT(FLAG_B) WPP_DEFINE_BIT(FLAG_C))
#include <wpp.h>

#include "Framework/Fx.h"
#include "HostTest.h"
#include "Runtime/Trace.h"

using namespace host;

namespace {

const GUID kProvider = {0x1A2B3C4D, 0x5E6F, 0x4A1B, {0x8C, 0x2D, 0x3E, 0x4F, 0x5A, 0x6B, 0x7C, 0x8D}};
DRIVER_OBJECT gDriverObject;

void TraceFlagB(UCHAR level) { TraceEvents(level, FLAG_B, "value %d", 42); }

class TraceTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    WPP_INIT_TRACING(&gDriverObject, nullptr);
  }
  void TearDown() override {
    if (trace::ProviderRegistered(kProvider)) WPP_CLEANUP(&gDriverObject);
    HostTest::TearDown();
  }
};

struct GatingCase {
  uint32_t flags;
  uint8_t sessionLevel;
  uint8_t messageLevel;
  bool written;
};

}  // namespace

TEST_F(TraceTest, FlagBitsFollowDeclarationOrder) {
  EXPECT_EQ(WPP_BIT_INDEX_FLAG_A, 0);
  EXPECT_EQ(WPP_BIT_INDEX_FLAG_B, 1);
  EXPECT_EQ(WPP_BIT_INDEX_FLAG_C, 2);
  EXPECT_TRUE(IsEqualGUID(WppControlBlock.ControlGuid, kProvider));
}

TEST_F(TraceTest, GatingByFlagAndLevel) {
  const GatingCase cases[] = {
      {0x2, 5, 5, true},     // flag on, verbose session, verbose message
      {0x2, 4, 5, false},    // verbose message above an information session
      {0x2, 2, 2, true},     // error message, error session
      {0x2, 3, 2, true},     // error message, warning session
      {0x1, 5, 2, false},    // another flag only
      {0x5, 5, 2, false},    // every flag but this one
      {0xFFFF, 0, 2, false}, // level 0 lets nothing through
      {0xFFFF, 4, 4, true},
  };
  for (const GatingCase &c : cases) {
    TraceSession session(kProvider, c.flags, c.sessionLevel);
    TraceFlagB(c.messageLevel);
    EXPECT_EQ(session.Records().size(), c.written ? 1u : 0u)
        << "flags 0x" << std::hex << c.flags << " session level " << std::dec << int(c.sessionLevel)
        << " message level " << int(c.messageLevel);
  }
}

TEST_F(TraceTest, RecordCarriesLevelFlagRoutineAndText) {
  TraceSession session(kProvider, 0x2, 5);
  TraceFlagB(TRACE_LEVEL_WARNING);
  auto records = session.Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].level, TRACE_LEVEL_WARNING);
  EXPECT_EQ(records[0].flag, "FLAG_B");
  EXPECT_EQ(records[0].flagIndex, 1u);
  EXPECT_EQ(records[0].routine, "TraceFlagB");
  EXPECT_EQ(records[0].text, "value 42");
}

TEST_F(TraceTest, NothingIsWrittenOnceTracingStopped) {
  TraceSession session(kProvider, 0xFFFF, 5);
  WPP_CLEANUP(&gDriverObject);
  EXPECT_FALSE(trace::ProviderRegistered(kProvider));
  TraceFlagB(TRACE_LEVEL_ERROR);
  EXPECT_TRUE(session.Records().empty());
}

TEST_F(TraceTest, ProviderLeftRegisteredAtUnloadIsABreach) {
  WPP_CLEANUP(&gDriverObject);
  fx::LoadedDriver driver;
  fx::LoadDriver(
      [](PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath) -> NTSTATUS {
        WPP_INIT_TRACING(driverObject, registryPath);
        WDF_DRIVER_CONFIG config;
        WDF_DRIVER_CONFIG_INIT(&config, [](WDFDRIVER, PWDFDEVICE_INIT) -> NTSTATUS { return STATUS_SUCCESS; });
        return WdfDriverCreate(driverObject, registryPath, WDF_NO_OBJECT_ATTRIBUTES, &config, WDF_NO_HANDLE);
      },
      driver);
  fx::UnloadDriver(driver);
  ExpectBreach(rules::TraceLeftRegistered);
  WPP_CLEANUP(&driver.wdm);
}
