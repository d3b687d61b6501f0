#pragma once
#include <windows.h>

#include "host/zip_component.h"
#include "win/unique_handle.h"

// The top-level window of the program and its ZIP component, created and destroyed together.
class HostWindow {
public:
    HostWindow(WindowHandle window, ZipComponent zip) : window_(std::move(window)), zip_(std::move(zip)) {}
    HWND handle() const { return window_.get(); }
    ZipComponent& zip() { return zip_; }

private:
    WindowHandle window_;
    ZipComponent zip_;
};
