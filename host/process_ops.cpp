#include "host/process_ops.h"

#include <mbstring.h>
#include <tlhelp32.h>

#include "app/host_window.h"
#include "host/process_ops_rules.h"
#include "win/unique_handle.h"

#ifndef _WIN64
static_assert(sizeof(PROCESSENTRY32) == 296, "the ANSI process record of 32-bit Windows");
#endif

namespace {
// Long enough for a process to release its image and libraries; short enough that a process that
// hangs while ending cannot hold the update up for good.
constexpr DWORD kEndWaitMilliseconds = 5000;
constexpr DWORD kIdleWaitMilliseconds = 1000;

// The owner of a top-level window titled with the name. A window found decides, even if its owner
// cannot be told any more: the process list is not consulted then.
std::optional<DWORD> processOfWindowTitled(TextRef name) {
    HWND window = FindWindowA(nullptr, name.c_str());
    if (window == nullptr) return std::nullopt;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return processId;
}

// The first process in a snapshot whose executable name matches by the ANSI code page's rules, so
// that a double-byte character's trail byte is never folded as a letter.
std::optional<DWORD> processOfExecutable(TextRef name) {
    const FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return std::nullopt;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    const auto* wanted = reinterpret_cast<const unsigned char*>(name.c_str());
    for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry)) {
        if (_mbsicmp(reinterpret_cast<const unsigned char*>(entry.szExeFile), wanted) == 0) return entry.th32ProcessID;
    }
    return std::nullopt;
}

bool endProcess(DWORD processId) {
    const KernelHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
    if (!process) return false;
    if (!TerminateProcess(process.get(), 0)) return false;
    // Termination is asynchronous: the caller is about to move and overwrite the process's files.
    WaitForSingleObject(process.get(), kEndWaitMilliseconds);
    return true;
}
}  // namespace

bool terminateProcess(TextRef executableName) {
    if (executableName.empty()) return false;
    std::optional<DWORD> processId = processOfWindowTitled(executableName);
    if (!processId) processId = processOfExecutable(executableName);
    return processId && endProcess(*processId);
}

bool runProgram(TextRef commandLine, bool wait, std::optional<int> showMode) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = showWindowFor(showMode);
    // CreateProcessA may write into the command line it is given.
    Text writableCommandLine = concatText({commandLine});
    PROCESS_INFORMATION created{};
    if (!CreateProcessA(nullptr, writableCommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &created)) {
        return false;
    }
    const KernelHandle process(created.hProcess);
    const KernelHandle thread(created.hThread);
    if (wait) {
        WaitForSingleObject(process.get(), INFINITE);
    } else {
        WaitForInputIdle(process.get(), kIdleWaitMilliseconds);
    }
    return true;
}

BoxOwner::BoxOwner(const HostWindow& window) : handle_(window.handle()) {}

int messageBox(TextRef message, int buttons, std::optional<TextRef> caption, std::optional<BoxOwner> owner) {
    HWND ownerWindow = owner ? owner->handle() : nullptr;
    const unsigned int style = boxStyle(static_cast<unsigned int>(buttons));
    return boxResult(MessageBoxA(ownerWindow, message.c_str(), boxCaption(caption).c_str(), style));
}
