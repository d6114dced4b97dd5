// Host stand-in of the ACPI method-evaluation interface.
#pragma once

#include <ntddk.h>

#define IOCTL_ACPI_EVAL_METHOD CTL_CODE(FILE_DEVICE_ACPI, 1, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS)

#define ACPI_EVAL_INPUT_BUFFER_COMPLEX_SIGNATURE 0x43696541  // 'CieA'
#define ACPI_EVAL_OUTPUT_BUFFER_SIGNATURE 0x426F6541         // 'BoeA'

#define ACPI_METHOD_ARGUMENT_INTEGER 0x0
#define ACPI_METHOD_ARGUMENT_STRING 0x1
#define ACPI_METHOD_ARGUMENT_BUFFER 0x2
#define ACPI_METHOD_ARGUMENT_PACKAGE 0x3

#pragma pack(push, 1)
typedef struct _ACPI_METHOD_ARGUMENT {
  USHORT Type;
  USHORT DataLength;
  union {
    ULONG Argument;
    UCHAR Data[1];
  };
} ACPI_METHOD_ARGUMENT, *PACPI_METHOD_ARGUMENT;

typedef struct _ACPI_EVAL_INPUT_BUFFER_COMPLEX {
  ULONG Signature;
  union {
    UCHAR MethodName[4];
    ULONG MethodNameAsUlong;
  };
  ULONG Size;
  ULONG ArgumentCount;
  ACPI_METHOD_ARGUMENT Argument[1];
} ACPI_EVAL_INPUT_BUFFER_COMPLEX, *PACPI_EVAL_INPUT_BUFFER_COMPLEX;

typedef struct _ACPI_EVAL_OUTPUT_BUFFER {
  ULONG Signature;
  ULONG Length;
  ULONG Count;
  ACPI_METHOD_ARGUMENT Argument[1];
} ACPI_EVAL_OUTPUT_BUFFER, *PACPI_EVAL_OUTPUT_BUFFER;
#pragma pack(pop)

// The header of an argument, before its data.
#define ACPI_METHOD_ARGUMENT_LENGTH(DataLength) (4 + ((DataLength) > 4 ? (DataLength) : 4))
#define ACPI_METHOD_NEXT_ARGUMENT(Argument) \
  ((PACPI_METHOD_ARGUMENT)((PUCHAR)(Argument) + ACPI_METHOD_ARGUMENT_LENGTH((Argument)->DataLength)))
