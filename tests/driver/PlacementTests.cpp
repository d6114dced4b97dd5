// Code placement of the driver: what lies in discardable initialization
// code and what in pageable code, read from the driver's own sources, and
// PAGED_CODE() in every pageable routine and in no other.
#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

namespace {

std::map<std::string, std::string> Sources() {
  std::map<std::string, std::string> files;
  DIR *dir = opendir(DRIVER_SOURCE_DIR);
  if (!dir) return files;
  while (dirent *entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name.size() > 4 && name.substr(name.size() - 4) == ".cpp") {
      std::ifstream in(std::string(DRIVER_SOURCE_DIR) + "/" + name);
      std::stringstream text;
      text << in.rdbuf();
      files[name] = text.str();
    }
  }
  closedir(dir);
  return files;
}

// The body of the routine defined with its name at the start of a line.
std::string BodyOf(const std::map<std::string, std::string> &files, const std::string &routine) {
  for (auto &[name, text] : files) {
    size_t at = text.find("\n" + routine + "(");
    if (at == std::string::npos) continue;
    size_t open = text.find('{', at);
    if (open == std::string::npos) continue;
    int depth = 0;
    for (size_t i = open; i < text.size(); ++i) {
      if (text[i] == '{') ++depth;
      if (text[i] == '}' && --depth == 0) return text.substr(open, i - open + 1);
    }
  }
  return {};
}

}  // namespace

TEST(CodePlacement, SegmentsAreAsDesigned) {
  auto files = Sources();
  ASSERT_FALSE(files.empty()) << "no sources in " << DRIVER_SOURCE_DIR;
  std::map<std::string, std::string> placed;
  const std::string pragma = "#pragma alloc_text(";
  for (auto &[name, text] : files) {
    for (size_t at = text.find(pragma); at != std::string::npos; at = text.find(pragma, at + 1)) {
      size_t comma = text.find(", ", at);
      size_t close = text.find(')', at);
      std::string segment = text.substr(at + pragma.size(), comma - at - pragma.size());
      placed[text.substr(comma + 2, close - comma - 2)] = segment;
    }
  }

  const std::map<std::string, std::string> expected = {
      {"DriverEntry", "INIT"},
      {"EvtDeviceAdd", "PAGE"},
      {"EvtDevicePrepareHardware", "PAGE"},
      {"EvtDeviceReleaseHardware", "PAGE"},
      {"EvtDeviceD0Entry", "PAGE"},
      {"EvtDeviceD0Exit", "PAGE"},
      {"EvtDeviceD0ExitPreInterruptsDisabled", "PAGE"},
      {"EvtI2cTargetQueryRemove", "PAGE"},
      {"EvtI2cTargetRemoveCanceled", "PAGE"},
      {"EvtI2cTargetRemoveComplete", "PAGE"},
      {"EvtGpioTargetQueryRemove", "PAGE"},
      {"EvtGpioTargetRemoveCanceled", "PAGE"},
      {"EvtGpioTargetRemoveComplete", "PAGE"},
      {"EvtGpioInterfaceArrival", "PAGE"},
  };
  EXPECT_EQ(placed, expected);

  for (auto &[routine, segment] : expected) {
    std::string body = BodyOf(files, routine);
    ASSERT_FALSE(body.empty()) << routine;
    if (segment == "PAGE") {
      EXPECT_NE(body.find("PAGED_CODE()"), std::string::npos) << routine;
    }
  }
}

TEST(CodePlacement, RoutinesThatRunAtRaisedIrqlAreNotPageable) {
  auto files = Sources();
  for (const char *routine :
       {"EvtInterruptIsr", "EvtInterruptDpc", "EvtWorkItemReadReport", "EvtIoInternalDeviceControl",
        "HidGetDeviceDescriptor", "HidGetReportDescriptor", "HidGetDeviceAttributes", "HidGetString",
        "HidReadReport", "HidWriteReport", "HidGetSetFeature", "SendI2cRequest", "EvtIoCanceledOnReadQueue"}) {
    std::string body = BodyOf(files, routine);
    ASSERT_FALSE(body.empty()) << routine;
    EXPECT_EQ(body.find("PAGED_CODE()"), std::string::npos) << routine;
  }
}
