#include <windows.h>

#include <memory>

#include "app/host_window.h"
#include "app/program.h"
#include "app/fatal_text.h"
#include "app/run_directory.h"
#include "host/archive_fetch.h"
#include "host/file_ops.h"
#include "win/ansi_code_page.h"

namespace {
constexpr char kHostWindowClass[] = "PelmoraHostWindow";

char g_runDirectory[MAX_PATH] = "";
bool g_mainLoopEntered = false;
// The loaded host window; endProgram destroys it.
std::unique_ptr<HostWindow> g_hostWindow;

LRESULT CALLBACK hostWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY && g_mainLoopEntered) PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
}

void registerHostWindowClass() {
    static const bool registered = [] {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = hostWindowProcedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = kHostWindowClass;
        return RegisterClassA(&windowClass) != 0;
    }();
    (void)registered;
}

bool hostWindowAlive() { return g_hostWindow != nullptr && IsWindow(g_hostWindow->handle()); }
}  // namespace

WindowDefinition hostWindowDefinition(void (*onCreate)(HostWindow& window)) {
    return WindowDefinition{"tarvik", 50, 50, 445, 338, onCreate};
}

void fixRunDirectory() {
    char modulePath[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, modulePath, MAX_PATH);
    const Text directory = runDirectoryOf(modulePath, ansiLeadByte);
    lstrcpynA(g_runDirectory, directory.c_str(), MAX_PATH);
    // A failure is not reported: the program goes on from wherever it was started.
    SetCurrentDirectoryA(g_runDirectory);
}

const char* runDirectory() { return g_runDirectory; }

int startProgram(const WindowDefinition& hostWindow) {
    fixRunDirectory();
    loadWindow(hostWindow, nullptr, true);
    runMessageLoop();
    return 0;
}

void loadWindow(const WindowDefinition& definition, HostWindow* parent, bool modal) {
    registerHostWindowClass();
    // A modal window has no parent, whatever was passed.
    HWND owner = (modal || parent == nullptr) ? nullptr : parent->handle();
    WindowHandle window(CreateWindowExA(0, kHostWindowClass, definition.caption, WS_OVERLAPPEDWINDOW,
                                        definition.left, definition.top, definition.width, definition.height,
                                        owner, nullptr, GetModuleHandleA(nullptr), nullptr));
    ZipComponent zip = ZipComponent::createIn(window.get());
    g_hostWindow = std::make_unique<HostWindow>(std::move(window), std::move(zip));

    if (definition.onCreate != nullptr) definition.onCreate(*g_hostWindow);

    if (!hostWindowAlive()) return;
    ShowWindow(g_hostWindow->handle(), SW_SHOWNORMAL);
    if (!modal) return;
    MSG message;
    while (hostWindowAlive() && GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void runMessageLoop() {
    g_mainLoopEntered = true;
    if (!hostWindowAlive()) return;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void endProgram(int exitCode) {
    g_hostWindow.reset();
    releaseCopyRoutine();
    releaseInternetHandle();
    ExitProcess(static_cast<UINT>(exitCode));
}

void fatalError(TextRef message, int code) {
    const FatalText text = fatalErrorText(message.c_str(), code);
    MessageBoxA(nullptr, text.bytes, "错误", MB_ICONERROR);
    endProgram(-1);
}
