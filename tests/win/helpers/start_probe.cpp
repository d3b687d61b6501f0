// A program built like the updater whose creation handler reports what start-up prepared, then
// ends the way its first argument asks: "end", "fatal" or "exhaust".
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "app/host_window.h"
#include "app/program.h"

namespace {
// The command line's words after the program name, split at spaces (the test passes no quotes).
int argumentsOf(char* commandLine, char** words, int capacity) {
    char* cursor = commandLine;
    if (*cursor == '"') {
        cursor = std::strchr(cursor + 1, '"');
        cursor = cursor ? cursor + 1 : commandLine + std::strlen(commandLine);
    }
    while (*cursor != '\0' && *cursor != ' ') ++cursor;
    int count = 0;
    while (*cursor != '\0' && count < capacity) {
        while (*cursor == ' ') *cursor++ = '\0';
        if (*cursor == '\0') break;
        words[count++] = cursor;
        while (*cursor != '\0' && *cursor != ' ') ++cursor;
    }
    return count;
}

void reportWindows(HostWindow& window, FILE* report) {
    char currentDirectory[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, currentDirectory);
    char caption[64] = "";
    GetWindowTextA(window.handle(), caption, sizeof caption);
    RECT frame{};
    GetWindowRect(window.handle(), &frame);
    HWND child = window.zip().handle();
    char childCaption[64] = "";
    char childKind[64] = "";
    GetWindowTextA(child, childCaption, sizeof childCaption);
    GetClassNameA(child, childKind, sizeof childKind);
    RECT childFrame{};
    GetWindowRect(child, &childFrame);
    POINT childOrigin{childFrame.left, childFrame.top};
    ScreenToClient(window.handle(), &childOrigin);

    std::fprintf(report, "current=%s\n", currentDirectory);
    std::fprintf(report, "run=%s\n", runDirectory());
    std::fprintf(report, "host.visible=%d\n", IsWindowVisible(window.handle()) ? 1 : 0);
    std::fprintf(report, "host.caption=%s\n", caption);
    std::fprintf(report, "host.frame=%ld,%ld,%ld,%ld\n", frame.left, frame.top, frame.right - frame.left,
                 frame.bottom - frame.top);
    std::fprintf(report, "host.parent=%d\n", GetParent(window.handle()) != nullptr ? 1 : 0);
    std::fprintf(report, "child.exists=%d\n", IsWindow(child) ? 1 : 0);
    std::fprintf(report, "child.isChild=%d\n", IsChild(window.handle(), child) ? 1 : 0);
    std::fprintf(report, "child.visible=%d\n", (GetWindowLongA(child, GWL_STYLE) & WS_VISIBLE) ? 1 : 0);
    std::fprintf(report, "child.caption=%s\n", childCaption);
    std::fprintf(report, "child.kind=%s\n", childKind);
    std::fprintf(report, "child.frame=%ld,%ld,%ld,%ld\n", childOrigin.x, childOrigin.y,
                 childFrame.right - childFrame.left, childFrame.bottom - childFrame.top);
}

void onCreate(HostWindow& window) {
    char* words[4] = {};
    const int count = argumentsOf(GetCommandLineA(), words, 4);
    const char* mode = count > 0 ? words[0] : "end";

    // Relative on purpose: it lands in the current directory, which start-up made the run directory.
    FILE* report = std::fopen("report.txt", "wb");
    if (report != nullptr) {
        reportWindows(window, report);
        std::fclose(report);
    }

    if (std::strcmp(mode, "fatal") == 0) fatalError("probe", 3);
    if (std::strcmp(mode, "exhaust") == 0) {
        const Text huge = Text::withLength(static_cast<std::size_t>(-1) / 2);
        endProgram(huge.isNull() ? 2 : 3);
    }
    endProgram(0);
}
}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return startProgram(hostWindowDefinition(onCreate)); }
