// Stands in for the package's installer ("setup.exe" in the package folder)
// and for the product's uninstall command. It appends one line to the file
// named by SETUP_TEST_RECORD: its role, its current directory and the
// command line it was given, byte for byte. It also writes to its standard
// output, which setup must drain and never show.
#include <windows.h>

#include <cstdio>

#ifndef RECORDER_ROLE
#error "RECORDER_ROLE names what this recorder stands in for"
#endif

int main() {
    char record[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("SETUP_TEST_RECORD", record, sizeof record);
    if (length == 0 || length >= sizeof record) return 2;
    char directory[MAX_PATH];
    if (GetCurrentDirectoryA(sizeof directory, directory) == 0) directory[0] = '\0';
    std::FILE* file = std::fopen(record, "ab");
    if (!file) return 3;
    std::fprintf(file, "%s|%s|%s\n", RECORDER_ROLE, directory, GetCommandLineA());
    std::fclose(file);
    std::printf("%s recorder output that setup discards\n", RECORDER_ROLE);
    return 0;
}
