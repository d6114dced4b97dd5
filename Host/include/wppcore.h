// Host stand-in of the WPP trace provider record and its entry points.
#pragma once

#include <ntddk.h>

#define TRACE_LEVEL_NONE 0
#define TRACE_LEVEL_CRITICAL 1
#define TRACE_LEVEL_FATAL 1
#define TRACE_LEVEL_ERROR 2
#define TRACE_LEVEL_WARNING 3
#define TRACE_LEVEL_INFORMATION 4
#define TRACE_LEVEL_VERBOSE 5

typedef struct _WPP_PROVIDER_STATE {
  GUID ControlGuid;
  const char *Name;
  const char *const *FlagNames;
  ULONG FlagCount;
  PVOID HostRegistration;
} WPP_PROVIDER_STATE, *PWPP_PROVIDER_STATE;

EXTERN_C void WppHostInitTracing(PWPP_PROVIDER_STATE Provider, PDRIVER_OBJECT DriverObject,
                                 PCUNICODE_STRING RegistryPath);
EXTERN_C void WppHostCleanup(PWPP_PROVIDER_STATE Provider, PDRIVER_OBJECT DriverObject);
EXTERN_C void WppHostTrace(PWPP_PROVIDER_STATE Provider, UCHAR Level, ULONG FlagIndex, const char *Routine,
                           const char *Format, ...) __attribute__((format(printf, 5, 6)));

