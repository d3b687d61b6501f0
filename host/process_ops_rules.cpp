#include "host/process_ops_rules.h"

#include <algorithm>

namespace {
constexpr unsigned int kSystemModal = 0x1000;
constexpr unsigned int kTaskModal = 0x2000;

// wShowWindow by show mode, from 1: SW_HIDE, SW_SHOWNORMAL, SW_SHOWMINIMIZED, SW_SHOWMAXIMIZED,
// SW_SHOWNOACTIVATE, SW_MINIMIZE.
constexpr unsigned short kShowWindow[] = {0, 1, 2, 3, 4, 6};
constexpr int kOmittedShowMode = 2;

// MessageBoxA's answers IDOK (1) to IDNO (7) in order.
constexpr int kFirstAnswer = 1;
constexpr int kLastAnswer = 7;
}  // namespace

unsigned short showWindowFor(std::optional<int> showMode) {
    const int mode = std::clamp(showMode.value_or(kOmittedShowMode), 1, 6);
    return kShowWindow[mode - 1];
}

TextRef boxCaption(std::optional<TextRef> caption) { return caption.value_or(TextRef("信息：")); }

unsigned int boxStyle(unsigned int buttons) { return (buttons & kSystemModal) != 0 ? buttons : buttons + kTaskModal; }

int boxResult(int messageBoxReturn) {
    if (messageBoxReturn < kFirstAnswer || messageBoxReturn > kLastAnswer) return 0;
    return messageBoxReturn - kFirstAnswer;
}
