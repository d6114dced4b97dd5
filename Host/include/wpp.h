// Host stand-in of WPP software tracing. A driver defines WPP_CONTROL_GUIDS
// (one control GUID and its flags, in declaration order) and includes this
// header; flags get the bit values 1, 2, 4, ... by their position, as WPP
// assigns them. TraceEvents(level, flag, format, ...) is written when the
// flag's bit is enabled for the provider and the enabled level is at least
// the message's level.
#pragma once

#include <wppcore.h>

#ifndef WPP_CONTROL_GUIDS
#error "define WPP_CONTROL_GUIDS before including wpp.h"
#endif

#define WPP_GUID_FROM_TUPLE(l, w1, w2, w3, ll)                                                      \
  {0x##l, 0x##w1, 0x##w2,                                                                           \
   {(UCHAR)(0x##w3 >> 8), (UCHAR)(0x##w3 & 0xFF), (UCHAR)((0x##ll##ULL >> 40) & 0xFF),              \
    (UCHAR)((0x##ll##ULL >> 32) & 0xFF), (UCHAR)((0x##ll##ULL >> 24) & 0xFF),                       \
    (UCHAR)((0x##ll##ULL >> 16) & 0xFF), (UCHAR)((0x##ll##ULL >> 8) & 0xFF), (UCHAR)(0x##ll##ULL & 0xFF)}}

#define WPP_DEFINE_BIT(Name) WPP_BIT_INDEX_##Name,
#define WPP_DEFINE_CONTROL_GUID(Name, Guid, Bits) enum WPP_FLAG_INDEX { Bits WPP_FLAG_INDEX_COUNT };
WPP_CONTROL_GUIDS
#undef WPP_DEFINE_BIT
#undef WPP_DEFINE_CONTROL_GUID

#define WPP_DEFINE_BIT(Name) #Name,
#define WPP_DEFINE_CONTROL_GUID(Name, Guid, Bits) inline const char *const WppFlagNames[] = {Bits};
WPP_CONTROL_GUIDS
#undef WPP_DEFINE_BIT
#undef WPP_DEFINE_CONTROL_GUID

#define WPP_DEFINE_BIT(Name)
#define WPP_DEFINE_CONTROL_GUID(Name, Guid, Bits) \
  inline WPP_PROVIDER_STATE WppControlBlock = {WPP_GUID_FROM_TUPLE Guid, #Name, WppFlagNames, WPP_FLAG_INDEX_COUNT, NULL};
WPP_CONTROL_GUIDS
#undef WPP_DEFINE_BIT
#undef WPP_DEFINE_CONTROL_GUID

#define WPP_INIT_TRACING(DriverObject, RegistryPath) WppHostInitTracing(&WppControlBlock, (DriverObject), (RegistryPath))
#define WPP_CLEANUP(DriverObject) WppHostCleanup(&WppControlBlock, (DriverObject))
#define TraceEvents(Level, Flag, ...) \
  WppHostTrace(&WppControlBlock, (Level), WPP_BIT_INDEX_##Flag, __FUNCTION__, __VA_ARGS__)
