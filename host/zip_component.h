#pragma once
#include <windows.h>

#include "win/unique_handle.h"

// The component "ZIP压缩1" of kind "ZIP压缩": a child window of the host window, always hidden,
// through which archives are extracted.
class ZipComponent {
public:
    static constexpr int left = 224;
    static constexpr int top = 0;
    static constexpr int width = 26;
    static constexpr int height = 26;

    // Created hidden in the parent's client area, whatever is asked of it.
    static ZipComponent createIn(HWND parent);

    HWND handle() const { return window_.get(); }

private:
    explicit ZipComponent(WindowHandle window) : window_(std::move(window)) {}
    WindowHandle window_;
};
