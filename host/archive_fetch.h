#pragma once
#include "common/bytes.h"
#include "common/text.h"

// The whole body of one HTTP or HTTPS resource, fetched synchronously through WinINet. The response
// status is not examined; every failure gives the empty Bytes, the same as an empty body.
Bytes httpReadFile(TextRef url);

// Closes the internet handle that the fetches of the process share; called when the program ends.
void releaseInternetHandle();

// How many times this process has called InternetOpenA, so that the sharing of the one handle can
// be seen.
int internetOpenCount();
