// The box reader: answers a message box the way a user would, for tests that run under an X server.
//
//   box_reader <caption> <button id> <time limit in ms>
//
// Waits for a visible top-level message box (window class "#32770") with exactly that caption and
// a visible button of that id (1 OK, 2 Cancel, 3 Abort, 4 Retry, 5 Ignore, 6 Yes, 7 No), writes the
// bytes of its message (ANSI code page, 936 in the tests) and "\n" to standard output, and presses
// the button. Exit code 0 when it pressed the button, 1 when no such box appeared within the time
// limit, 2 for wrong usage, 3 when the box did not take the press within 10 s.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>

namespace {
// A message box's text is its static control with this id.
constexpr int kMessageId = 0xFFFF;
constexpr DWORD kPollMilliseconds = 50;
constexpr UINT kPressMilliseconds = 10000;

HWND visibleChild(HWND box, int id) {
    HWND child = GetDlgItem(box, id);
    return child != nullptr && IsWindowVisible(child) ? child : nullptr;
}

int usage() {
    std::fputs("usage: box_reader <caption> <button id> <time limit in ms>\n", stderr);
    return 2;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) return usage();
    const char* caption = argv[1];
    const int buttonId = std::atoi(argv[2]);
    const DWORD limit = static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10));
    if (buttonId < 1 || buttonId > 7) return usage();
    _setmode(_fileno(stdout), _O_BINARY);

    const DWORD start = GetTickCount();
    do {
        HWND box = FindWindowA("#32770", caption);
        HWND button = box != nullptr && IsWindowVisible(box) ? visibleChild(box, buttonId) : nullptr;
        if (button != nullptr) {
            char message[4096] = "";
            GetWindowTextA(GetDlgItem(box, kMessageId), message, sizeof message);
            std::fputs(message, stdout);
            std::fputs("\n", stdout);
            std::fflush(stdout);
            DWORD_PTR ignored = 0;
            const bool pressed =
                SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kPressMilliseconds, &ignored) != 0;
            return pressed ? 0 : 3;
        }
        Sleep(kPollMilliseconds);
    } while (GetTickCount() - start < limit);
    std::fprintf(stderr, "box_reader: no box captioned as asked with button %d within %lu ms\n", buttonId,
                 static_cast<unsigned long>(limit));
    return 1;
}
