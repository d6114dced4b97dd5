// Host stand-in: the basic kernel types, status values and annotations that
// drivers built against this host see. Widths match the Windows data model
// on both x86 and x64 (ULONG is 32 bits even where the C long is 64).
#pragma once

#include <stddef.h>
#include <stdint.h>

#if defined(__i386__)
#ifndef _X86_
#define _X86_ 1
#endif
#elif defined(__x86_64__)
#ifndef _AMD64_
#define _AMD64_ 1
#endif
#endif

#ifdef __cplusplus
#define EXTERN_C extern "C"
#else
#define EXTERN_C extern
#endif

#define NTAPI
#define NTSYSAPI
#define FORCEINLINE inline
#define DECLSPEC_ALIGN(x) __attribute__((aligned(x)))
#define UNREFERENCED_PARAMETER(P) ((void)(P))
#define C_ASSERT(e) static_assert(e, #e)

// Source annotations are documentation only here.
#define _In_
#define _In_opt_
#define _Out_
#define _Out_opt_
#define _Inout_
#define _Inout_opt_
#define _In_reads_bytes_(s)
#define _In_reads_bytes_opt_(s)
#define _Out_writes_bytes_(s)
#define _Out_writes_bytes_opt_(s)
#define _Out_writes_bytes_all_(s)
#define _Use_decl_annotations_
#define _IRQL_requires_max_(l)
#define _IRQL_requires_(l)
#define _Function_class_(n)
#define _Must_inspect_result_
#define _Strict_type_match_
#define _When_(c, a)

typedef void VOID;
typedef void *PVOID;
typedef const void *PCVOID;
typedef char CHAR;
typedef CHAR *PCHAR, *PSTR;
typedef const CHAR *PCSTR, *PCSZ;
typedef uint8_t UCHAR, *PUCHAR;
typedef int16_t SHORT;
typedef uint16_t USHORT, *PUSHORT;
typedef int32_t LONG, *PLONG;
typedef uint32_t ULONG, *PULONG;
typedef int64_t LONGLONG, *PLONGLONG;
typedef uint64_t ULONGLONG;
typedef ULONG DWORD;
typedef UCHAR BOOLEAN, *PBOOLEAN;
typedef int BOOL;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR, *PULONG_PTR;
typedef size_t SIZE_T, *PSIZE_T;
typedef LONG NTSTATUS;
typedef NTSTATUS *PNTSTATUS;
// Built with -fshort-wchar: wchar_t is the platform's 16-bit WCHAR.
typedef wchar_t WCHAR, *PWCHAR, *PWSTR;
typedef const WCHAR *PCWSTR;
typedef void *HANDLE, **PHANDLE;
typedef ULONG ACCESS_MASK;

static_assert(sizeof(WCHAR) == 2, "the host is built with -fshort-wchar");

#define TRUE 1
#define FALSE 0
#ifndef NULL
#define NULL 0
#endif

typedef union _LARGE_INTEGER {
  struct {
    ULONG LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;

typedef struct _GUID {
  ULONG Data1;
  USHORT Data2;
  USHORT Data3;
  UCHAR Data4[8];
} GUID, *LPGUID;
typedef const GUID *LPCGUID;
typedef const GUID &REFGUID;

#ifdef __cplusplus
inline bool IsEqualGUID(const GUID &a, const GUID &b) {
  const UCHAR *x = (const UCHAR *)&a, *y = (const UCHAR *)&b;
  for (unsigned i = 0; i < sizeof(GUID); ++i)
    if (x[i] != y[i]) return false;
  return true;
}
#endif

// DEFINE_GUID gives a definition in every unit; inline variables keep one copy.
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  inline constexpr GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}

typedef struct _UNICODE_STRING {
  USHORT Length;
  USHORT MaximumLength;
  PWSTR Buffer;
} UNICODE_STRING, *PUNICODE_STRING;
typedef const UNICODE_STRING *PCUNICODE_STRING;

typedef struct _STRING {
  USHORT Length;
  USHORT MaximumLength;
  PCHAR Buffer;
} STRING, ANSI_STRING, *PANSI_STRING;
typedef const STRING *PCANSI_STRING;

#define NT_SUCCESS(Status) (((NTSTATUS)(Status)) >= 0)

#define STATUS_SUCCESS ((NTSTATUS)0x00000000L)
#define STATUS_TIMEOUT ((NTSTATUS)0x00000102L)
#define STATUS_PENDING ((NTSTATUS)0x00000103L)
#define STATUS_BUFFER_OVERFLOW ((NTSTATUS)0x80000005L)
#define STATUS_DEVICE_BUSY ((NTSTATUS)0x80000011L)
#define STATUS_NO_MORE_ENTRIES ((NTSTATUS)0x8000001AL)
#define STATUS_UNSUCCESSFUL ((NTSTATUS)0xC0000001L)
#define STATUS_NOT_IMPLEMENTED ((NTSTATUS)0xC0000002L)
#define STATUS_INFO_LENGTH_MISMATCH ((NTSTATUS)0xC0000004L)
#define STATUS_INVALID_PARAMETER ((NTSTATUS)0xC000000DL)
#define STATUS_NO_SUCH_DEVICE ((NTSTATUS)0xC000000EL)
#define STATUS_INVALID_DEVICE_REQUEST ((NTSTATUS)0xC0000010L)
#define STATUS_BUFFER_TOO_SMALL ((NTSTATUS)0xC0000023L)
#define STATUS_OBJECT_NAME_NOT_FOUND ((NTSTATUS)0xC0000034L)
#define STATUS_DELETE_PENDING ((NTSTATUS)0xC0000056L)
#define STATUS_REVISION_MISMATCH ((NTSTATUS)0xC0000059L)
#define STATUS_DATA_ERROR ((NTSTATUS)0xC000003EL)
#define STATUS_INSUFFICIENT_RESOURCES ((NTSTATUS)0xC000009AL)
#define STATUS_MEMORY_NOT_ALLOCATED ((NTSTATUS)0xC00000A0L)
#define STATUS_IO_TIMEOUT ((NTSTATUS)0xC00000B5L)
#define STATUS_NOT_SUPPORTED ((NTSTATUS)0xC00000BBL)
#define STATUS_REQUEST_NOT_ACCEPTED ((NTSTATUS)0xC00000D0L)
#define STATUS_INTERNAL_ERROR ((NTSTATUS)0xC00000E5L)
#define STATUS_INVALID_PARAMETER_2 ((NTSTATUS)0xC00000F0L)
#define STATUS_CANCELLED ((NTSTATUS)0xC0000120L)
#define STATUS_DEVICE_CONFIGURATION_ERROR ((NTSTATUS)0xC0000182L)
#define STATUS_DRIVER_INTERNAL_ERROR ((NTSTATUS)0xC0000183L)
#define STATUS_INVALID_DEVICE_STATE ((NTSTATUS)0xC0000184L)
#define STATUS_INVALID_BUFFER_SIZE ((NTSTATUS)0xC0000206L)
#define STATUS_NOT_FOUND ((NTSTATUS)0xC0000225L)
#define STATUS_DEVICE_REMOVED ((NTSTATUS)0xC00002B6L)
#define STATUS_POWER_STATE_INVALID ((NTSTATUS)0xC00002D3L)

#define MAXUSHORT 0xFFFF
#define MAXULONG 0xFFFFFFFFUL
