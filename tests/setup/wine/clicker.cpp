// Answers setup's message boxes without a display (wine's null graphics
// driver). For each answer in turn it waits for a dialog with the given
// caption, prints its text and buttons, and presses the answer.
// Usage: clicker.exe <caption> <yes|no>[,<yes|no>...] <timeout ms>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: clicker.exe <caption> <answers> <timeout ms>\n");
        return 2;
    }
    const char* caption = argv[1];
    std::string answers = argv[2];
    const DWORD timeout = static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10));
    const DWORD start = GetTickCount();
    std::size_t position = 0;
    while (position <= answers.size()) {
        std::size_t end = answers.find(',', position);
        if (end == std::string::npos) end = answers.size();
        const std::string answer = answers.substr(position, end - position);
        position = end + 1;
        const int button = answer == "yes" ? IDYES : IDNO;

        HWND dialog = nullptr;
        while (!(dialog = FindWindowA("#32770", caption))) {
            if (GetTickCount() - start > timeout) {
                std::printf("timeout\n");
                return 1;
            }
            Sleep(20);
        }
        char text[2048] = "";
        GetDlgItemTextA(dialog, 0xFFFF, text, sizeof text);
        std::printf("caption: %s\n", caption);
        std::printf("text: %s\n", text);
        std::printf("buttons:%s%s%s%s\n", GetDlgItem(dialog, IDYES) ? " yes" : "",
                    GetDlgItem(dialog, IDNO) ? " no" : "", GetDlgItem(dialog, IDOK) ? " ok" : "",
                    GetDlgItem(dialog, IDCANCEL) ? " cancel" : "");
        std::fflush(stdout);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
        while (IsWindow(dialog)) {
            if (GetTickCount() - start > timeout) {
                std::printf("timeout\n");
                return 1;
            }
            Sleep(20);
        }
    }
    return 0;
}
