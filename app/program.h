#pragma once
#include "common/text.h"

class HostWindow;

// The hidden host window: its caption, place and size, and the handler of its creation event,
// which runs before the window could ever be shown.
struct WindowDefinition {
    const char* caption;
    int left;
    int top;
    int width;
    int height;
    void (*onCreate)(HostWindow& window);
};

// The program's one window, "tarvik", with the given creation handler.
WindowDefinition hostWindowDefinition(void (*onCreate)(HostWindow& window));

// Process start: the run directory from the executable's path becomes the current directory.
void fixRunDirectory();

// The run directory fixed at start, without a trailing backslash.
const char* runDirectory();

// Process start, the host window loaded modally, then the message loop. Returns 0 only if the
// creation handler returned without ending the program.
int startProgram(const WindowDefinition& hostWindow);

// Creates the window hidden with its components, raises its creation event, then shows it and,
// when modal, returns after it has been destroyed.
void loadWindow(const WindowDefinition& definition, HostWindow* parent, bool modal);

// Dispatches window messages while a loaded window exists.
void runMessageLoop();

// Destroys the windows, releases what the program loaded and ends the process.
[[noreturn]] void endProgram(int exitCode);

// The error box captioned "错误", then exit code -1.
[[noreturn]] void fatalError(TextRef message, int code);
