// Fuzzes what a hostile touch controller can hand the driver: its HID
// descriptor, the input report it answers a read with, and the answer to
// GET_REPORT. Each input
// runs on a fresh machine on the controlled scheduler; nothing may leak,
// break a rule, hang, or come back longer than the caller's buffer.
#include "OrvanHidI2c.h"

#include <cstdio>
#include <cstdlib>

#include "Kernel/Pool.h"
#include "Machine.h"
#include "Runtime/Scheduler.h"
#include "Runtime/Verifier.h"

using namespace sim;

namespace {

void Fail(const char *what) {
  for (auto &b : host::Verifier::Take()) std::fprintf(stderr, "verifier: %s\n", b.ToString().c_str());
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 3) return 0;
  int mode = data[0] % 3;
  MachineConfig config;
  config.driverEntry = DriverEntry;
  config.touch = DefaultTouchscreen();
  config.speed = 0;
  if (mode == 2) {
    // The sizes and registers of the HID descriptor, then an input report.
    if (size < 9) return 0;
    HidDescriptorFields &h = config.touch.hid;
    h.wMaxInputLength = (uint16_t)(data[1] | (data[2] << 8));
    h.wReportDescLength = (uint16_t)(data[3] | (data[4] << 8));
    h.wMaxOutputLength = (uint16_t)(data[5] | (data[6] << 8));
    h.wReportDescRegister = (uint16_t)(data[7] | (data[8] << 8));
  }
  host::RunOptions options;
  options.seed = 1;
  host::RunResult result = host::Scheduler::Run(
      [&] {
        Machine m(config);
        NTSTATUS boot = m.Boot();
        if (!NT_SUCCESS(boot)) {
          if (mode != 2) Fail("boot failed");
          m.Shutdown();
          return;
        }
        m.Hid().Start();
        host::Scheduler::Sleep(host::kTicksPerMs);
        if (mode == 2) {
          m.Touch().QueueRaw(std::vector<uint8_t>(data + 9, data + size));
          host::Scheduler::Sleep(10 * host::kTicksPerMs);
        } else if (mode == 0) {
          // The bytes the next input read returns, length field included.
          m.Touch().QueueRaw(std::vector<uint8_t>(data + 1, data + size));
          host::Scheduler::Sleep(10 * host::kTicksPerMs);
          for (auto &r : m.Hid().Reports())
            if (r.bytes.size() > m.Hid().Descriptor().MaxByteLength(ReportKind::Input)) Fail("report longer than the read");
        } else {
          uint8_t id = data[1];
          size_t n = 1 + data[2] % 64;
          m.Touch().SetFeature(id, std::vector<uint8_t>(data + 3, data + size));
          if (size > 4) m.Touch().OverrideFeatureLength((uint16_t)(data[3] | (data[4] << 8)));
          std::vector<uint8_t> buffer(n, 0);
          HidResult r = m.Hid().GetFeature(id, buffer);
          if (NT_SUCCESS(r.status) && r.information > n) Fail("Information larger than the report buffer");
        }
        m.Shutdown();
      },
      options);
  if (result.hung) Fail(result.hangReport.c_str());
  if (host::Pool::OutstandingCount() != 0) Fail("pool block left behind");
  if (host::Verifier::Count() != 0) Fail("verifier breach");
  return 0;
}
