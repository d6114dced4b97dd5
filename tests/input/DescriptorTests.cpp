// The report-descriptor parser on real devices' descriptors, contacts
// through encode and decode, and recordings replayed through the driver.
#include <dirent.h>

#include <fstream>
#include <sstream>
#include <string>

#include "MachineTest.h"
#include "Recording.h"
#include "ReportDescriptor.h"

using namespace sim;
using Bytes = std::vector<uint8_t>;

namespace {

std::string ReadText(const std::string &path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> Files(const std::string &dir, const std::string &suffix) {
  std::vector<std::string> out;
  if (DIR *d = opendir(dir.c_str())) {
    while (dirent *e = readdir(d)) {
      std::string n = e->d_name;
      if (n.size() > suffix.size() && n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0)
        out.push_back(dir + "/" + n);
    }
    closedir(d);
  }
  std::sort(out.begin(), out.end());
  return out;
}

class DescriptorTest : public MachineTest {};

}  // namespace

TEST_F(DescriptorTest, ParserOnAHandWrittenDescriptor) {
  // Report 1: 3 buttons and 5 bits of padding, then X and Y of 16 bits
  // between push and pop; report 2: a feature of 4 bytes.
  const Bytes d = {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x85, 0x01, 0x05, 0x09, 0x19, 0x01, 0x29, 0x03, 0x15,
                   0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x03, 0x81, 0x02, 0x95, 0x01, 0x75, 0x05, 0x81, 0x03,
                   0xA4, 0x05, 0x01, 0x16, 0x00, 0x80, 0x26, 0xFF, 0x7F, 0x75, 0x10, 0x95, 0x02, 0x09, 0x30,
                   0x09, 0x31, 0x81, 0x06, 0xB4, 0x85, 0x02, 0x06, 0x00, 0xFF, 0x09, 0x01, 0x75, 0x08, 0x95,
                   0x04, 0xB1, 0x02, 0xC0};
  ReportDescriptor r = ReportDescriptor::Parse(d);
  EXPECT_TRUE(r.errors.empty());
  EXPECT_TRUE(r.usesReportIds);
  const HidReport *in = r.Find(ReportKind::Input, 1);
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(r.ByteLength(*in), 6u);
  ASSERT_EQ(in->fields.size(), 3u);
  EXPECT_EQ(in->fields[0].usages, (std::vector<uint32_t>{Usage(9, 1), Usage(9, 2), Usage(9, 3)}));
  EXPECT_TRUE(in->fields[1].constant);
  EXPECT_EQ(in->fields[2].bitOffset, 8u);
  EXPECT_EQ(in->fields[2].logicalMin, -32768);
  EXPECT_TRUE(in->fields[2].relative);
  EXPECT_EQ(in->fields[2].UsageOf(1), usage::Y);
  const HidReport *feature = r.Find(ReportKind::Feature, 2);
  ASSERT_NE(feature, nullptr);
  EXPECT_EQ(r.ByteLength(*feature), 5u);
  EXPECT_EQ(feature->fields[0].logicalMin, 0) << "pop restored the globals";
  EXPECT_EQ(feature->fields[0].usages, (std::vector<uint32_t>{Usage(0xFF00, 1)}));
}

TEST_F(DescriptorTest, EverySharedDescriptorParses) {
  auto files = Files(SHARED_DATA_DIR "/rdesc", ".hex");
  ASSERT_GE(files.size(), 30u);
  for (auto &f : files) {
    ReportDescriptor r = ReportDescriptor::Parse(ParseHexBytes(ReadText(f)));
    EXPECT_TRUE(r.errors.empty()) << f << ": " << (r.errors.empty() ? "" : r.errors.front());
    EXPECT_FALSE(r.Reports(ReportKind::Input).empty()) << f;
    for (auto *in : r.Reports(ReportKind::Input)) EXPECT_GT(r.ByteLength(*in), r.usesReportIds ? 1u : 0u) << f;
  }
}

TEST_F(DescriptorTest, InputLengthsMatchTheRecordedReports) {
  for (auto &f : Files(SHARED_DATA_DIR "/recordings", ".txt")) {
    Recording rec = Recording::Parse(ReadText(f));
    ASSERT_TRUE(rec.errors.empty()) << f;
    ReportDescriptor r = ReportDescriptor::Parse(rec.descriptor);
    for (auto &e : rec.events) {
      uint8_t id = r.usesReportIds ? e.bytes[0] : 0;
      const HidReport *in = r.Find(ReportKind::Input, id);
      ASSERT_NE(in, nullptr) << f << " report id " << int(id);
      EXPECT_EQ(r.ByteLength(*in), e.bytes.size()) << f << " report id " << int(id);
    }
  }
}

TEST_F(DescriptorTest, ContactsRoundTripThroughEveryDigitizer) {
  size_t digitizers = 0;
  for (auto &f : Files(SHARED_DATA_DIR "/rdesc", ".hex")) {
    ReportDescriptor r = ReportDescriptor::Parse(ParseHexBytes(ReadText(f)));
    auto layout = FindContactLayout(r);
    if (!layout) continue;
    ++digitizers;
    std::vector<Contact> contacts;
    for (size_t i = 0; i < std::min<size_t>(2, layout->fingers.size()); ++i) {
      const auto &finger = layout->fingers[i];
      auto fit = [](const ContactLayout::Ref &ref, uint32_t v) {
        return ref.bitSize >= 32 ? v : v & ((1u << ref.bitSize) - 1);
      };
      contacts.push_back(Contact{fit(finger.id, (uint32_t)i + 1), true, fit(finger.x, 300 + 7 * (uint32_t)i),
                                 fit(finger.y, 200 + 11 * (uint32_t)i)});
    }
    Bytes report = EncodeContacts(*layout, contacts);
    EXPECT_EQ(report.size(), layout->byteLength) << f;
    EXPECT_EQ(DecodeContacts(*layout, report.data(), report.size()), contacts) << f;
  }
  EXPECT_GE(digitizers, 10u);
}

TEST_F(DescriptorTest, EverySharedDescriptorBootsAndTheHidClassComputesItsLengths) {
  for (auto &f : Files(SHARED_DATA_DIR "/rdesc", ".hex")) {
    MachineConfig config = Config();
    config.touch.reportDescriptor = ParseHexBytes(ReadText(f));
    ReportDescriptor expected = ReportDescriptor::Parse(config.touch.reportDescriptor);
    config.touch.hid.wMaxInputLength = (uint16_t)(expected.MaxByteLength(ReportKind::Input) + 2);
    OnMachine(config, [&](Machine &m) {
      ASSERT_EQ(m.Boot(), STATUS_SUCCESS) << f;
      Enumeration e = m.Hid().Start();
      EXPECT_EQ(e.reportDescriptorBytes, config.touch.reportDescriptor) << f;
      for (auto *in : expected.Reports(ReportKind::Input)) {
        const HidReport *seen = m.Hid().Descriptor().Find(ReportKind::Input, in->id);
        ASSERT_NE(seen, nullptr) << f;
        EXPECT_EQ(m.Hid().Descriptor().ByteLength(*seen), expected.ByteLength(*in)) << f;
      }
    });
  }
}

TEST_F(DescriptorTest, RecordingsReplayByteForByte) {
  for (auto &f : Files(SHARED_DATA_DIR "/recordings", ".txt")) {
    Recording rec = Recording::Parse(ReadText(f));
    ReportDescriptor r = ReportDescriptor::Parse(rec.descriptor);
    MachineConfig config = Config();
    config.touch.reportDescriptor = rec.descriptor;
    config.touch.hid.wMaxInputLength = (uint16_t)(r.MaxByteLength(ReportKind::Input) + 2);
    OnMachine(config, [&](Machine &m) {
      ASSERT_EQ(m.Boot(), STATUS_SUCCESS);
      m.Hid().Start();
      Settle();
      std::vector<Machine::Timed> timed;
      double start = rec.events.front().seconds;
      for (auto &e : rec.events)
        timed.push_back(Machine::Timed{(host::Ticks)((e.seconds - start) * host::kTicksPerSecond), e.bytes});
      m.Play(timed);
      while (!m.PlayDone()) host::Scheduler::Sleep(host::kTicksPerMs);
      Settle();
      auto delivered = m.Hid().Reports();
      ASSERT_EQ(delivered.size(), rec.events.size()) << f;
      for (size_t i = 0; i < delivered.size(); ++i) EXPECT_EQ(delivered[i].bytes, rec.events[i].bytes) << f << " #" << i;
    });
  }
}
