// The test application: a stand-in for Pelmora that the process tests, and the end-to-end tests of
// the updater, start, find and end. When started it creates its window, then appends one line to
// its record file, so that a window exists once its line does, and runs until it is ended (or, when
// its settings give it a lifetime, until that has passed).
//
// It takes no command-line arguments, since the updater starts it with none and the tests compare
// its command line as it arrived. Instead an optional file beside the executable, named like it
// with ".cfg" in place of ".exe" ("Pelmora.exe" reads "Pelmora.cfg"), holds lines
//   record=<record file>      default: beside the executable, ".record" in place of ".exe"
//   title=<window title>      default: "Pelmora test application"
//   lifetime=<milliseconds>   default: none, it runs until it is ended
//   hold=<file>               default: none; the file is opened for reading, shared for reading
//                             only, and held open while the application runs
// in the ANSI code page. A relative record file resolves against the current directory.
//
// A held file is open before the record line is written, so that the line tells the tests it is held.
//
// The record line, fields separated by tabs, ended by "\n", bytes of the ANSI code page:
//   version=<N> pid=<process id> showflag=<1 if STARTF_USESHOWWINDOW> show=<wShowWindow>
//   module=<full path of the executable> current=<current directory> command=<command line>
// The version is built in (PELMORA_TEST_APP_VERSION), so that an executable that arrives alone,
// as the new release inside an update archive does, still tells which build is running.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "win/unique_handle.h"

#ifndef PELMORA_TEST_APP_VERSION
#error "build with PELMORA_TEST_APP_VERSION=<N>"
#endif

namespace {
struct Settings {
    std::string record;
    std::string title = "Pelmora test application";
    UINT lifetime = 0;
    std::string hold;
};

std::string modulePath() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

// The path with ".exe" (any case) at its end replaced by the suffix, or the suffix appended. Only
// the last four bytes are looked at, which no double-byte character of the path can straddle
// wrongly, since '.' is never a trail byte.
std::string besideModule(const std::string& module, const char* suffix) {
    const std::size_t size = module.size();
    const bool exe = size >= 4 && lstrcmpiA(module.c_str() + size - 4, ".exe") == 0;
    return module.substr(0, exe ? size - 4 : size) + suffix;
}

std::string readWhole(const std::string& path) {
    const FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return "";
    std::string content;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) content.append(buffer, read);
    return content;
}

Settings readSettings(const std::string& module) {
    Settings settings;
    settings.record = besideModule(module, ".record");
    const std::string config = readWhole(besideModule(module, ".cfg"));
    std::size_t start = 0;
    while (start < config.size()) {
        std::size_t end = config.find('\n', start);
        if (end == std::string::npos) end = config.size();
        std::string line = config.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("record=", 0) == 0) settings.record = line.substr(7);
        if (line.rfind("title=", 0) == 0) settings.title = line.substr(6);
        if (line.rfind("lifetime=", 0) == 0) settings.lifetime = std::strtoul(line.c_str() + 9, nullptr, 10);
        if (line.rfind("hold=", 0) == 0) settings.hold = line.substr(5);
        start = end + 1;
    }
    return settings;
}

std::string recordLine(const std::string& module) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    char current[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, current);
    return "version=" + std::to_string(PELMORA_TEST_APP_VERSION) +
           "\tpid=" + std::to_string(GetCurrentProcessId()) +
           "\tshowflag=" + ((startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? "1" : "0") +
           "\tshow=" + std::to_string(startup.wShowWindow) + "\tmodule=" + module + "\tcurrent=" + current +
           "\tcommand=" + GetCommandLineA() + "\n";
}

// One write to a file opened for appending only, so that instances starting together do not
// overwrite each other's lines.
void appendLine(const std::string& path, const std::string& line) {
    const FileHandle file(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD written = 0;
    WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

// Open for reading and shared for reading only: no other process may write to it while it is held.
FileHandle holdFile(const std::string& path) {
    if (path.empty()) return FileHandle();
    return FileHandle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Without a display Wine creates no window; the application then runs without one.
void createWindow(HINSTANCE instance, const std::string& title, int showCommand) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = "PelmoraTestApplication";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 320, 200, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return;
    ShowWindow(window, showCommand);
    UpdateWindow(window);
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    const std::string module = modulePath();
    const Settings settings = readSettings(module);
    createWindow(instance, settings.title, showCommand);
    const FileHandle held = holdFile(settings.hold);
    appendLine(settings.record, recordLine(module));
    // A timer of the thread, not of the window: there may be no window.
    if (settings.lifetime != 0) SetTimer(nullptr, 0, settings.lifetime, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.hwnd == nullptr) break;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
