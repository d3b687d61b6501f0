#pragma once
#include <optional>

#include "common/text.h"

// Decisions of the process and message operations that need no system call.

// The wShowWindow value for a show mode from 1 to 6; a mode above 6 counts as 6, one below 1 as 1,
// an omitted one as 2 (shown normally).
unsigned short showWindowFor(std::optional<int> showMode);

// The caption of a message box: the given one, even when empty; "信息：" only when it is omitted.
TextRef boxCaption(std::optional<TextRef> caption);

// The style word of a message box: the buttons value plus MB_TASKMODAL unless it asks for
// MB_SYSTEMMODAL. The addition is arithmetic: a value that already holds MB_TASKMODAL gains it again.
unsigned int boxStyle(unsigned int buttons);

// The result code for what MessageBoxA returned: IDOK..IDNO become 0..6, anything else (0 or -1
// when no box could be shown) is 0, the same as OK.
int boxResult(int messageBoxReturn);
