#pragma once
#include "common/text.h"
#include "update/host_operations.h"

// The whole update: download, store, unpack, stop the application, install, clean up, tell the
// user, start the application again. Never returns: both ends go through host.endProgram(0).
[[noreturn]] void runUpdate(HostOperations& host);

// Copies every regular file directly in sourceFolder to targetFolder + its name (both end with a
// backslash), overwriting. True when every file found was copied.
bool copyStagedFiles(HostOperations& host, TextRef sourceFolder, TextRef targetFolder);
