// A stand-in for the configuration manager DLL, loaded by setup.exe through
// a DLL override: wine's own calls always fail, so this one lets the tests
// drive the successful rescan too. It appends each call to the file named
// by SETUP_TEST_CFGMGR_LOG and returns the result given in
// SETUP_TEST_LOCATE_RESULT / SETUP_TEST_REENUMERATE_RESULT (default 0).
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

const DWORD RootNode = 1;

DWORD ResultFromEnvironment(const char* name) {
    char value[32];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    if (length == 0 || length >= sizeof value) return 0;
    return static_cast<DWORD>(std::strtoul(value, nullptr, 0));
}

void Record(const char* line) {
    char path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("SETUP_TEST_CFGMGR_LOG", path, sizeof path);
    if (length == 0 || length >= sizeof path) return;
    if (std::FILE* file = std::fopen(path, "ab")) {
        std::fputs(line, file);
        std::fclose(file);
    }
}

}  // namespace

extern "C" __declspec(dllexport) DWORD WINAPI CM_Locate_DevNodeA(DWORD* devInst, const char* deviceId,
                                                                 ULONG flags) {
    char line[128];
    std::snprintf(line, sizeof line, "locate id=%s flags=%lu\n", deviceId ? deviceId : "(null)", flags);
    Record(line);
    const DWORD result = ResultFromEnvironment("SETUP_TEST_LOCATE_RESULT");
    if (result == 0) *devInst = RootNode;
    return result;
}

extern "C" __declspec(dllexport) DWORD WINAPI CM_Reenumerate_DevNode(DWORD devInst, ULONG flags) {
    char line[128];
    std::snprintf(line, sizeof line, "reenumerate node=%lu flags=%lu\n", devInst, flags);
    Record(line);
    return ResultFromEnvironment("SETUP_TEST_REENUMERATE_RESULT");
}
