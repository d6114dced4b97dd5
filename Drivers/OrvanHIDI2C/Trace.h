/*++
    Software tracing of OrvanHIDI2C: one provider, with a flag per component.
    The flags take their bit values from their position in this list.
--*/
#pragma once

#define WPP_CONTROL_GUIDS                                                   \
    WPP_DEFINE_CONTROL_GUID(OrvanHidI2cTraceGuid,                           \
                            (7C1F4A92, 3B5E, 4D86, A0C3, 91E24F6B8D17),     \
                            WPP_DEFINE_BIT(TRACE_DRIVER)    /* 0x001 */     \
                            WPP_DEFINE_BIT(TRACE_POWER)     /* 0x002 */     \
                            WPP_DEFINE_BIT(TRACE_DISPATCH)  /* 0x004 */     \
                            WPP_DEFINE_BIT(TRACE_INTERRUPT) /* 0x008 */     \
                            WPP_DEFINE_BIT(TRACE_UNUSED)    /* 0x010 */     \
                            WPP_DEFINE_BIT(TRACE_READ)      /* 0x020 */     \
                            WPP_DEFINE_BIT(TRACE_REQUEST)   /* 0x040 */     \
                            WPP_DEFINE_BIT(TRACE_I2C)       /* 0x080 */     \
                            WPP_DEFINE_BIT(TRACE_ACPI)      /* 0x100 */     \
                            )

#include <wpp.h>
