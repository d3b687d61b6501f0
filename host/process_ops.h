#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>

#include "common/text.h"

class HostWindow;

// Ends one process by the name of its executable (file name with extension, no directory). A
// top-level window titled with the name wins: its owner is ended, whatever its executable.
// Otherwise the first process in a snapshot whose executable name matches without regard to
// letter case is ended. Waits up to 5 s for it to be gone, so that its files are released; the
// result is whether termination was requested successfully.
bool terminateProcess(TextRef executableName);

// Starts the command line as given (no quotes added) in the current directory. With wait, returns
// when the new process has ended; otherwise after it became idle or one second passed. The show
// mode (1..6, clamped) picks the new window's initial state; omitted, it is shown normally.
bool runProgram(TextRef commandLine, bool wait, std::optional<int> showMode = std::nullopt);

// The owner of a message box: one of the program's windows, or a window handle given as an integer.
class BoxOwner {
public:
    BoxOwner(const HostWindow& window);                                           // NOLINT: implicit by design
    BoxOwner(std::uintptr_t handle) : handle_(reinterpret_cast<HWND>(handle)) {}  // NOLINT: implicit by design
    HWND handle() const { return handle_; }

private:
    HWND handle_;
};

// Shows a message box and waits for the user. Task-modal unless the buttons ask for system-modal;
// captioned "信息：" only when the caption is omitted. The answer as a result code: 0 OK (also when
// no box could be shown), 1 Cancel, 2 Abort, 3 Retry, 4 Ignore, 5 Yes, 6 No.
int messageBox(TextRef message, int buttons, std::optional<TextRef> caption = std::nullopt,
               std::optional<BoxOwner> owner = std::nullopt);
