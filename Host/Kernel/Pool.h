// Tagged pool with tracking: every block is known by its tag and size, freed
// blocks are poisoned and kept for a while so that a late write shows, and a
// write past the end of a block is caught when it is freed.
#pragma once

#include <ntdef.h>

#include <cstddef>
#include <string>
#include <vector>

namespace host::Pool {

struct BlockInfo {
  const void *address;
  size_t size;
  ULONG tag;
  std::string allocatedOn;  // the simulated thread
};

std::vector<BlockInfo> Outstanding();
size_t OutstandingCount();
// Records a leak breach for each outstanding block; returns how many there were.
size_t ReportLeaks(const std::string &where);
// Checks every quarantined block's poison; a changed byte is a use after free.
void CheckQuarantine();
// Frees every outstanding block without reporting (between tests).
void ResetForTest();
std::string TagText(ULONG tag);

inline constexpr unsigned char kFreshFill = 0xCD;
inline constexpr unsigned char kPoison = 0xDF;

}  // namespace host::Pool
