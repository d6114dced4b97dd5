// hidi2c-sim: runs OrvanHIDI2C on the simulated machine and prints what
// happens, with the driver's trace on request.
#include "OrvanHidI2c.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Framework/Fx.h"
#include "Kernel/Pool.h"
#include "Runtime/Scheduler.h"
#include "Runtime/Trace.h"
#include "Runtime/Verifier.h"

namespace {

struct Options {
  uint32_t traceFlags = 0xFFFF;
  uint8_t traceLevel = TRACE_LEVEL_INFORMATION;
  uint64_t seed = 1;
};

void Usage() {
  std::puts(
      "usage: hidi2c-sim [--seed N] [--trace-flags MASK] [--trace-level 0..5]\n"
      "  Loads the driver on the simulated machine, adds its device and unloads it,\n"
      "  printing the driver's trace (flags and level as a trace session enables them).");
}

bool Parse(int argc, char **argv, Options &options) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](const char *name) -> const char * {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "hidi2c-sim: %s needs a value\n", name);
        return nullptr;
      }
      return argv[++i];
    };
    if (a == "--seed") {
      const char *v = value("--seed");
      if (!v) return false;
      options.seed = std::strtoull(v, nullptr, 0);
    } else if (a == "--trace-flags") {
      const char *v = value("--trace-flags");
      if (!v) return false;
      options.traceFlags = (uint32_t)std::strtoul(v, nullptr, 0);
    } else if (a == "--trace-level") {
      const char *v = value("--trace-level");
      if (!v) return false;
      long level = std::strtol(v, nullptr, 0);
      if (level < 0 || level > 5) {
        std::fprintf(stderr, "hidi2c-sim: --trace-level takes 0 to 5\n");
        return false;
      }
      options.traceLevel = (uint8_t)level;
    } else if (a == "--help" || a == "-h") {
      Usage();
      std::exit(0);
    } else {
      std::fprintf(stderr, "hidi2c-sim: unknown argument '%s'\n", a.c_str());
      Usage();
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  Options options;
  if (!Parse(argc, argv, options)) return 2;

  host::Verifier::SetEcho(true);
  host::TraceSession trace(WppControlBlock.ControlGuid, options.traceFlags, options.traceLevel, true);
  host::RunOptions run;
  run.seed = options.seed;
  host::RunResult result = host::Scheduler::Run(
      [] {
        host::fx::LoadedDriver driver;
        NTSTATUS status = host::fx::LoadDriver(DriverEntry, driver);
        std::printf("driver loaded: status 0x%08X\n", (unsigned)status);
        if (!NT_SUCCESS(status)) return;
        auto added = host::fx::AddDevice(driver);
        std::printf("device added: status 0x%08X\n", (unsigned)added.status);
        host::fx::UnloadDriver(driver);
        std::printf("driver unloaded\n");
      },
      run);
  if (result.hung) {
    std::fprintf(stderr, "%s", result.hangReport.c_str());
    return 1;
  }
  size_t breaches = host::Verifier::Count();
  if (breaches) {
    std::fprintf(stderr, "hidi2c-sim: %zu verifier breach(es)\n", breaches);
    return 1;
  }
  return 0;
}
