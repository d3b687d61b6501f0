#include "host/zip_component.h"

namespace {
constexpr char kComponentKind[] = "ZIP压缩";
constexpr char kComponentName[] = "ZIP压缩1";

void registerComponentClass() {
    static const bool registered = [] {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kComponentKind;
        return RegisterClassA(&windowClass) != 0;
    }();
    (void)registered;
}
}  // namespace

ZipComponent ZipComponent::createIn(HWND parent) {
    registerComponentClass();
    HWND window = CreateWindowExA(0, kComponentKind, kComponentName, WS_CHILD, left, top, width, height, parent,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
    return ZipComponent(WindowHandle(window));
}
