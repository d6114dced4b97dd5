// Every DEFINE_GUID is already a definition on this host.
#pragma once
#include <ntdef.h>
