// PelmoraUpdate.exe: the host window's creation event runs the update.
#include <windows.h>

#include "app/host_window.h"
#include "app/program.h"
#include "update/update_run.h"
#include "update/windows_host_operations.h"

namespace {
void runUpdateOnCreate(HostWindow& window) {
    WindowsHostOperations host(window.zip());
    runUpdate(host);
}
}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return startProgram(hostWindowDefinition(runUpdateOnCreate)); }
