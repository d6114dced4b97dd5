// The contracts the simulated controller drivers keep: their interface
// classes and I/O controls, written down on this side independently of the
// driver, so that a mismatch between the two shows as a failing test.
#pragma once

#include <ntddk.h>

namespace sim {

inline constexpr GUID kI2cControllerInterface = {
    0xF8B5ED67, 0x5C3A, 0x45A3, {0xB0, 0xFA, 0x87, 0xBB, 0xA6, 0x3C, 0x0C, 0xEF}};
inline constexpr GUID kGpioControllerInterface = {
    0x944CD20F, 0x22E1, 0x489F, {0xA9, 0x61, 0xA5, 0x52, 0x82, 0x78, 0x83, 0xF0}};

inline constexpr ULONG kI2cSetConnection = 0x222004;
inline constexpr ULONG kI2cRead = 0x222008;
inline constexpr ULONG kI2cWriteRead = 0x22200C;
inline constexpr ULONG kI2cWrite = 0x222010;

inline uint16_t Le16(const uint8_t *p) { return (uint16_t)(p[0] | (p[1] << 8)); }
inline uint32_t Le32(const uint8_t *p) { return (uint32_t)Le16(p) | ((uint32_t)Le16(p + 2) << 16); }
inline void PutLe16(uint8_t *p, uint16_t v) {
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)(v >> 8);
}

}  // namespace sim
