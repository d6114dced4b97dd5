// hidi2c-sim: runs OrvanHIDI2C on a simulated machine from a device
// description (an embedded 10-contact touchscreen when none is given),
// plays a gesture or a recording, and prints what the HID class driver
// sees: descriptors, attributes, strings, then each report's contacts.
#include "OrvanHidI2c.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Framework/Fx.h"
#include "Kernel/Pool.h"
#include "Machine.h"
#include "Recording.h"
#include "Runtime/Faults.h"
#include "Runtime/Scheduler.h"
#include "Runtime/Trace.h"
#include "Runtime/Verifier.h"

using namespace sim;

namespace {

struct Options {
  std::string rdesc, replay;
  uint64_t seed = 1;
  uint32_t traceFlags = 0;
  uint8_t traceLevel = 0;
  bool json = false;
  bool bench = false;
  uint32_t benchSpeed = 400000;
  unsigned benchReports = 2000;
};

void Usage(FILE *out) {
  std::fputs(
      "usage: hidi2c-sim [--rdesc FILE | --replay FILE] [--seed N] [--trace-flags MASK] [--trace-level 0..5]\n"
      "                  [--json]\n"
      "       hidi2c-sim --bench [--speed HZ] [--reports N]\n"
      "  With no device given, an embedded 10-contact touchscreen plays a two-finger gesture.\n"
      "  --rdesc FILE    a report descriptor as hex bytes; --replay FILE a hid-recorder capture\n"
      "  --trace-flags, --trace-level   print the driver's trace as a session with these settings would\n"
      "  --json          one JSON object per line for every enumeration answer and every report\n"
      "  --bench         free-running stream at a bus speed (0: instant), figures on stdout\n"
      "Exit status 0 when every report sent was delivered or dropped with a trace of why, and no rule\n"
      "of the platform or the protocol was broken.\n",
      out);
}

bool ReadFile(const std::string &path, std::string &text) {
  std::ifstream in(path);
  if (!in) return false;
  std::stringstream s;
  s << in.rdbuf();
  text = s.str();
  return true;
}

bool Parse(int argc, char **argv, Options &o) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> const char * {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "hidi2c-sim: %s needs a value\n", a.c_str());
        return nullptr;
      }
      return argv[++i];
    };
    auto number = [&](unsigned long long &out) {
      const char *v = value();
      if (!v) return false;
      char *end;
      out = std::strtoull(v, &end, 0);
      if (*v == 0 || *end != 0) {
        std::fprintf(stderr, "hidi2c-sim: %s takes a number, not '%s'\n", a.c_str(), v);
        return false;
      }
      return true;
    };
    unsigned long long n;
    if (a == "--rdesc" || a == "--replay") {
      const char *v = value();
      if (!v) return false;
      (a == "--rdesc" ? o.rdesc : o.replay) = v;
    } else if (a == "--seed") {
      if (!number(n)) return false;
      o.seed = n;
    } else if (a == "--trace-flags") {
      if (!number(n)) return false;
      o.traceFlags = (uint32_t)n;
      if (o.traceLevel == 0) o.traceLevel = TRACE_LEVEL_INFORMATION;
    } else if (a == "--trace-level") {
      if (!number(n)) return false;
      if (n > 5) {
        std::fprintf(stderr, "hidi2c-sim: --trace-level takes 0 to 5\n");
        return false;
      }
      o.traceLevel = (uint8_t)n;
      if (o.traceFlags == 0) o.traceFlags = 0xFFFF;
    } else if (a == "--json") {
      o.json = true;
    } else if (a == "--bench") {
      o.bench = true;
    } else if (a == "--speed") {
      if (!number(n)) return false;
      o.benchSpeed = (uint32_t)n;
    } else if (a == "--reports") {
      if (!number(n) || n == 0) return false;
      o.benchReports = (unsigned)n;
    } else if (a == "--help" || a == "-h") {
      Usage(stdout);
      std::exit(0);
    } else {
      std::fprintf(stderr, "hidi2c-sim: unknown argument '%s'\n", a.c_str());
      Usage(stderr);
      return false;
    }
  }
  if (!o.rdesc.empty() && !o.replay.empty()) {
    std::fprintf(stderr, "hidi2c-sim: give --rdesc or --replay, not both\n");
    return false;
  }
  return true;
}

std::string Hex(const std::vector<uint8_t> &bytes, const char *separator = " ") {
  std::string s;
  char b[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(b, sizeof b, "%02x", bytes[i]);
    if (i) s += separator;
    s += b;
  }
  return s;
}

std::string Status(NTSTATUS status) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%08X", (unsigned)status);
  return b;
}

std::string Ascii(const std::u16string &s) {
  std::string out;
  for (char16_t c : s) out += (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') ? (char)c : '?';
  return out;
}

const char *KindName(ReportKind k) {
  return k == ReportKind::Input ? "input" : k == ReportKind::Output ? "output" : "feature";
}

// The device a run plays: its description and the reports it sends.
struct Scenario {
  TouchDescription touch;
  std::vector<Machine::Timed> reports;
  std::string source;
};

std::vector<std::vector<Contact>> TwoFingerGesture() {
  // Two fingers land, move apart and lift.
  std::vector<std::vector<Contact>> frames;
  for (int i = 0; i < 12; ++i) {
    uint32_t spread = (uint32_t)(i * 120);
    frames.push_back({Contact{0, true, 2000 - spread, 1500 + (uint32_t)i * 20}, Contact{1, true, 2100 + spread, 1500}});
  }
  frames.push_back({Contact{0, false, 2000 - 11 * 120, 1720}, Contact{1, false, 2100 + 11 * 120, 1500}});
  frames.push_back({});
  return frames;
}

bool BuildScenario(const Options &o, Scenario &s) {
  if (!o.replay.empty()) {
    std::string text;
    if (!ReadFile(o.replay, text)) {
      std::fprintf(stderr, "hidi2c-sim: cannot read '%s'\n", o.replay.c_str());
      return false;
    }
    Recording r = Recording::Parse(text);
    for (auto &e : r.errors) std::fprintf(stderr, "hidi2c-sim: %s: %s\n", o.replay.c_str(), e.c_str());
    if (r.descriptor.empty()) {
      std::fprintf(stderr, "hidi2c-sim: '%s' has no report descriptor\n", o.replay.c_str());
      return false;
    }
    s.touch.reportDescriptor = r.descriptor;
    if (r.vendor) s.touch.hid.wVendorID = r.vendor;
    if (r.product) s.touch.hid.wProductID = r.product;
    size_t longest = 0;
    for (auto &e : r.events) longest = std::max(longest, e.bytes.size());
    double start = r.events.empty() ? 0 : r.events.front().seconds;
    for (auto &e : r.events)
      s.reports.push_back(Machine::Timed{(host::Ticks)((e.seconds - start) * host::kTicksPerSecond), e.bytes});
    ReportDescriptor d = ReportDescriptor::Parse(r.descriptor);
    s.touch.hid.wMaxInputLength = (uint16_t)(std::max(longest, d.MaxByteLength(ReportKind::Input)) + 2);
    s.touch.hid.wMaxOutputLength = (uint16_t)d.MaxByteLength(ReportKind::Output);
    s.source = o.replay;
    return true;
  }
  if (!o.rdesc.empty()) {
    std::string text;
    if (!ReadFile(o.rdesc, text)) {
      std::fprintf(stderr, "hidi2c-sim: cannot read '%s'\n", o.rdesc.c_str());
      return false;
    }
    s.touch.reportDescriptor = ParseHexBytes(text);
    if (s.touch.reportDescriptor.empty()) {
      std::fprintf(stderr, "hidi2c-sim: '%s' holds no hex bytes\n", o.rdesc.c_str());
      return false;
    }
    s.source = o.rdesc;
  } else {
    s.touch = DefaultTouchscreen();
    s.source = "embedded touchscreen";
  }
  ReportDescriptor d = ReportDescriptor::Parse(s.touch.reportDescriptor);
  for (auto &e : d.errors) std::fprintf(stderr, "hidi2c-sim: report descriptor: %s\n", e.c_str());
  s.touch.hid.wMaxInputLength = (uint16_t)(d.MaxByteLength(ReportKind::Input) + 2);
  s.touch.hid.wMaxOutputLength = (uint16_t)d.MaxByteLength(ReportKind::Output);
  host::Ticks interval = 8 * host::kTicksPerMs;
  if (auto layout = FindContactLayout(d)) {
    s.reports = Machine::FromContacts(*layout, TwoFingerGesture(), interval);
  } else if (auto inputs = d.Reports(ReportKind::Input); !inputs.empty()) {
    // Not a digitizer: a few empty reports of its first input report.
    std::vector<uint8_t> report(d.ByteLength(*inputs.front()), 0);
    if (d.usesReportIds) report[0] = inputs.front()->id;
    for (int i = 0; i < 4; ++i) s.reports.push_back(Machine::Timed{i * interval, report});
  }
  return true;
}

class Output {
 public:
  explicit Output(bool json) : json_(json) {}

  void Enumeration(const sim::Enumeration &e, const ReportDescriptor &d, const std::string &source) {
    if (json_) {
      std::printf("{\"event\":\"device\",\"source\":\"%s\"}\n", source.c_str());
      std::printf("{\"event\":\"deviceDescriptor\",\"status\":\"%s\",\"bytes\":\"%s\"}\n",
                  Status(e.deviceDescriptor.status).c_str(), Hex(e.deviceDescriptorBytes, "").c_str());
      std::printf("{\"event\":\"attributes\",\"status\":\"%s\",\"vendorId\":\"%04x\",\"productId\":\"%04x\","
                  "\"versionNumber\":\"%04x\"}\n",
                  Status(e.attributes.status).c_str(), e.vendorId, e.productId, e.versionNumber);
      std::printf("{\"event\":\"strings\",\"manufacturer\":\"%s\",\"product\":\"%s\",\"serialNumber\":\"%s\"}\n",
                  Ascii(e.manufacturer).c_str(), Ascii(e.product).c_str(), Ascii(e.serialNumber).c_str());
      std::printf("{\"event\":\"reportDescriptor\",\"status\":\"%s\",\"length\":%zu,\"reportIds\":%s,\"reports\":[",
                  Status(e.reportDescriptor.status).c_str(), e.reportDescriptorBytes.size(),
                  d.usesReportIds ? "true" : "false");
      bool first = true;
      for (auto &r : d.reports) {
        std::printf("%s{\"kind\":\"%s\",\"id\":%u,\"length\":%zu}", first ? "" : ",", KindName(r.kind), r.id,
                    d.ByteLength(r));
        first = false;
      }
      std::printf("]}\n");
      return;
    }
    std::printf("device: %s\n", source.c_str());
    std::printf("class descriptor: %s (%s)\n", Hex(e.deviceDescriptorBytes).c_str(),
                Status(e.deviceDescriptor.status).c_str());
    std::printf("attributes: vendor %04x product %04x version %04x\n", e.vendorId, e.productId, e.versionNumber);
    std::printf("strings: manufacturer \"%s\", product \"%s\", serial number \"%s\"\n", Ascii(e.manufacturer).c_str(),
                Ascii(e.product).c_str(), Ascii(e.serialNumber).c_str());
    std::printf("report descriptor: %zu bytes (%s)%s\n", e.reportDescriptorBytes.size(),
                Status(e.reportDescriptor.status).c_str(), d.usesReportIds ? ", report ids" : "");
    for (auto &r : d.reports) std::printf("  %s report %u: %zu bytes\n", KindName(r.kind), r.id, d.ByteLength(r));
  }

  void Report(size_t index, const Delivered &r, bool digitizer) {
    if (json_) {
      std::printf("{\"event\":\"report\",\"index\":%zu,\"reportId\":%u,\"bytes\":\"%s\",\"contacts\":[", index,
                  r.reportId, Hex(r.bytes, "").c_str());
      for (size_t i = 0; i < r.contacts.size(); ++i)
        std::printf("%s{\"id\":%u,\"tip\":%s,\"x\":%u,\"y\":%u}", i ? "," : "", r.contacts[i].id,
                    r.contacts[i].tip ? "true" : "false", r.contacts[i].x, r.contacts[i].y);
      std::printf("]}\n");
      return;
    }
    std::printf("report %zu: id %u, %zu bytes", index, r.reportId, r.bytes.size());
    if (digitizer) {
      std::printf(", %zu contact%s", r.contacts.size(), r.contacts.size() == 1 ? "" : "s");
      for (auto &c : r.contacts) std::printf(" [#%u %s (%u,%u)]", c.id, c.tip ? "down" : "up", c.x, c.y);
    } else {
      std::printf(": %s", Hex(r.bytes).c_str());
    }
    std::printf("\n");
  }

  void Summary(size_t sent, size_t delivered, size_t dropped, size_t breaches) {
    if (json_)
      std::printf("{\"event\":\"summary\",\"sent\":%zu,\"delivered\":%zu,\"droppedWithTrace\":%zu,\"breaches\":%zu}\n",
                  sent, delivered, dropped, breaches);
    else
      std::printf("%zu reports sent, %zu delivered, %zu dropped with a trace, %zu breaches\n", sent, delivered,
                  dropped, breaches);
  }

 private:
  bool json_;
};

size_t ReportBreaches(Machine &m) {
  size_t n = 0;
  for (auto &b : host::Verifier::Take()) {
    std::fprintf(stderr, "breach: %s\n", b.ToString().c_str());
    ++n;
  }
  for (auto &b : m.Touch().ProtocolBreaches()) {
    std::fprintf(stderr, "breach: touch controller: %s\n", b.c_str());
    ++n;
  }
  for (auto &b : m.Gpio().Breaches()) {
    std::fprintf(stderr, "breach: GPIO controller: %s\n", b.c_str());
    ++n;
  }
  for (auto &b : m.Acpi().InputBreaches()) {
    std::fprintf(stderr, "breach: ACPI: %s\n", b.c_str());
    ++n;
  }
  return n;
}

int RunScenario(const Options &o) {
  Scenario s;
  if (!BuildScenario(o, s)) return 2;
  MachineConfig config;
  config.driverEntry = DriverEntry;
  config.touch = s.touch;

  host::TraceSession shown(WppControlBlock.ControlGuid, o.traceFlags, o.traceLevel, !o.json);
  // The read path's own account of what it dropped, whatever is shown.
  host::TraceSession reads(WppControlBlock.ControlGuid, 1u << WPP_BIT_INDEX_TRACE_READ, TRACE_LEVEL_INFORMATION);
  Output out(o.json);
  int status = 0;
  host::RunOptions run;
  run.seed = o.seed;
  host::RunResult result = host::Scheduler::Run(
      [&] {
        Machine m(config);
        NTSTATUS boot = m.Boot();
        if (!NT_SUCCESS(boot)) {
          std::fprintf(stderr, "hidi2c-sim: the device did not start: %s\n", Status(boot).c_str());
          status = 1;
          m.Shutdown();
          return;
        }
        sim::Enumeration e = m.Hid().Start();
        out.Enumeration(e, m.Hid().Descriptor(), s.source);
        // Let the reset response be read before the device plays.
        host::Scheduler::Sleep(50 * host::kTicksPerMs);
        reads.Clear();
        m.Play(s.reports);
        while (!m.PlayDone()) host::Scheduler::Sleep(host::kTicksPerMs);
        // A slow bus or a long report takes a while to drain.
        for (int waited = 0; m.Touch().PendingReports() > 0 && waited < 60000; ++waited)
          host::Scheduler::Sleep(host::kTicksPerMs);
        host::Scheduler::Sleep(host::kTicksPerSecond);
        m.Hid().StopReading();
        auto delivered = m.Hid().Reports();
        for (size_t i = 0; i < delivered.size(); ++i) out.Report(i + 1, delivered[i], m.Hid().Layout().has_value());
        m.Shutdown();
        size_t dropped = 0;
        for (auto &r : reads.Records())
          if (r.level <= TRACE_LEVEL_INFORMATION && r.text.find("dropped") != std::string::npos) ++dropped;
        size_t breaches = ReportBreaches(m);
        out.Summary(m.Played(), delivered.size(), dropped, breaches);
        if (breaches || delivered.size() + dropped != m.Played()) status = 1;
      },
      run);
  if (result.hung) {
    std::fprintf(stderr, "breach: %s", result.hangReport.c_str());
    return 1;
  }
  return status;
}

int RunBench(const Options &o) {
  MachineConfig config;
  config.driverEntry = DriverEntry;
  config.touch = DefaultTouchscreen();
  config.speed = o.benchSpeed;
  host::RunOptions run;
  run.mode = host::Mode::Free;
  int status = 0;
  host::Scheduler::Run(
      [&] {
        Machine m(config);
        if (!NT_SUCCESS(m.Boot())) {
          status = 1;
          return;
        }
        m.Hid().Start();
        host::Scheduler::Sleep(20 * host::kTicksPerMs);
        std::vector<double> latencies;
        size_t bytes = 0;
        unsigned allocationsBefore = host::Faults::Calls("ExAllocatePoolWithTag");
        size_t base = m.Hid().DeliveredCount();
        auto start = std::chrono::steady_clock::now();
        for (unsigned i = 0; i < o.benchReports; ++i) {
          std::vector<Contact> frame = {Contact{0, true, i % 4096, 1000}, Contact{1, true, 4095 - i % 4096, 2000}};
          auto queued = std::chrono::steady_clock::now();
          m.Touch().QueueContacts(frame);
          while (m.Hid().DeliveredCount() < base + i + 1)
            if (!m.Hid().Delivery()->Wait(host::kTicksPerSecond)) break;
          latencies.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - queued).count());
        }
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        unsigned allocations = host::Faults::Calls("ExAllocatePoolWithTag") - allocationsBefore;
        auto reports = m.Hid().Reports();
        for (size_t i = base; i < reports.size(); ++i) bytes += reports[i].bytes.size();
        size_t delivered = reports.size() - base;
        m.Shutdown();
        std::sort(latencies.begin(), latencies.end());
        double rate = delivered / seconds;
        uint16_t input = config.touch.hid.wMaxInputLength;
        std::printf("bus speed: %u Hz, %u reports of %u bytes\n", o.benchSpeed, o.benchReports, input);
        std::printf("delivered: %zu reports, %.0f reports/s\n", delivered, rate);
        std::printf("latency, interrupt to completion: median %.0f us, 99th percentile %.0f us, max %.0f us\n",
                    latencies[latencies.size() / 2], latencies[latencies.size() * 99 / 100], latencies.back());
        std::printf("pool allocations per report: %.2f\n", (double)allocations / o.benchReports);
        std::printf("bytes copied per report: %.1f\n", delivered ? (double)bytes / delivered : 0.0);
        if (o.benchSpeed) {
          double busLimited = (double)host::kTicksPerSecond / BusTime(o.benchSpeed, 0, input);
          std::printf("bus-limited rate: %.0f reports/s, delivered %.2f of it\n", busLimited, rate / busLimited);
        } else {
          std::printf("bus-limited rate: none (instant bus)\n");
        }
        if (delivered != o.benchReports) status = 1;
      },
      run);
  return status;
}

}  // namespace

int main(int argc, char **argv) {
  Options o;
  if (!Parse(argc, argv, o)) return 2;
  return o.bench ? RunBench(o) : RunScenario(o);
}
