// The phase bench: runs one phase of the update with the updater's own code, on one archive, and
// prints one line of "key=value" fields with its time (QueryPerformanceCounter) and the peak of
// private bytes while it ran. scripts/bench starts it under Wine, once per phase and repetition.
//
//   pelmora_bench download <url> <file>          httpReadFile, then writeFile of the body
//   pelmora_bench unzip <archive> <folder>        ZipComponent::unzip into "latest\" of the folder
//   pelmora_bench install <source\> <target\>    copyStagedFiles through WindowsHostOperations
//   pelmora_bench run <program>                   starts the program, waits for its end
//   pelmora_bench download-floor <url> <file>    the same work in bare WinINet and kernel32 calls
//   pelmora_bench install-floor <source\> <target\>  the same copies in a bare CopyFileA loop
//
// Exit code 0 when the phase did its work, 1 when it did not (the line tells what it got), 2 for
// wrong usage.
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/program.h"
#include "bench/peak_private_bytes.h"
#include "bench/stopwatch.h"
#include "bench/wine_floor.h"
#include "host/archive_fetch.h"
#include "host/file_ops.h"
#include "host/zip_component.h"
#include "update/update_run.h"
#include "update/windows_host_operations.h"
#include "win/unique_handle.h"

namespace {
int report(const char* phase, double seconds, std::size_t peakPrivateBytes, bool done, const std::string& details) {
    std::printf("phase=%s seconds=%.6f peak_private_bytes=%zu done=%d%s\n", phase, seconds, peakPrivateBytes,
                done ? 1 : 0, details.c_str());
    std::fflush(stdout);
    return done ? 0 : 1;
}

std::string field(const char* name, double value) {
    char text[64];
    std::snprintf(text, sizeof text, " %s=%.6f", name, value);
    return text;
}

std::string field(const char* name, long long value) { return " " + std::string(name) + "=" + std::to_string(value); }

// As the updater does it: the body is held until it has been written, then released.
int download(const char* url, const char* file) {
    PeakPrivateBytes peak(GetCurrentProcess());
    Stopwatch watch;
    Bytes body = httpReadFile(url);
    const double fetchSeconds = watch.lap();
    const bool written = writeFile(file, body);
    const double writeSeconds = watch.lap();
    const std::size_t length = body.length();
    body = Bytes();
    return report("download", fetchSeconds + writeSeconds, peak.stop(), written && length > 0,
                  field("fetch_seconds", fetchSeconds) + field("write_seconds", writeSeconds) +
                      field("bytes", static_cast<long long>(length)));
}

// As the updater does it: the staging folder "latest\" relative to the current directory, so that
// the component creates the folders of entries that come without folder entries of their own.
int unzip(const char* archive, const char* workFolder) {
    if (!SetCurrentDirectoryA(workFolder)) return report("unzip", 0, 0, false, "");
    const ZipComponent zip;
    PeakPrivateBytes peak(GetCurrentProcess());
    Stopwatch watch;
    const int result = zip.unzip(archive, "latest\\");
    const double seconds = watch.lap();
    return report("unzip", seconds, peak.stop(), result == ZipComponent::kWalkEnded,
                  field("result", static_cast<long long>(result)));
}

int install(const char* sourceFolder, const char* targetFolder) {
    ZipComponent zip;
    WindowsHostOperations host(zip);
    PeakPrivateBytes peak(GetCurrentProcess());
    Stopwatch watch;
    const bool everyFileCopied = copyStagedFiles(host, sourceFolder, targetFolder);
    const double seconds = watch.lap();
    return report("install", seconds, peak.stop(), everyFileCopied, "");
}

int downloadFloorPhase(const char* url, const char* file) {
    PeakPrivateBytes peak(GetCurrentProcess());
    Stopwatch watch;
    std::size_t length = 0;
    const bool stored = downloadFloor(url, file, length);
    const double seconds = watch.lap();
    return report("download-floor", seconds, peak.stop(), stored, field("bytes", static_cast<long long>(length)));
}

int installFloorPhase(const char* sourceFolder, const char* targetFolder) {
    PeakPrivateBytes peak(GetCurrentProcess());
    Stopwatch watch;
    const bool everyFileCopied = copyFloor(sourceFolder, targetFolder);
    const double seconds = watch.lap();
    return report("install-floor", seconds, peak.stop(), everyFileCopied, "");
}

// The whole run of a program, from its creation to its end; its peak is sampled from outside.
int run(const char* program) {
    std::string commandLine = program;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created{};
    Stopwatch watch;
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &created)) {
        return report("run", watch.lap(), 0, false, field("error", static_cast<long long>(GetLastError())));
    }
    const KernelHandle process(created.hProcess);
    const KernelHandle thread(created.hThread);
    PeakPrivateBytes peak(process.get());
    WaitForSingleObject(process.get(), INFINITE);
    const double seconds = watch.lap();
    DWORD exitCode = 0;
    GetExitCodeProcess(process.get(), &exitCode);
    return report("run", seconds, peak.stop(), exitCode == 0, field("exit_code", static_cast<long long>(exitCode)));
}
}  // namespace

int main(int argc, char** argv) {
    // The install phase finds CopyFileA as the updater does, beside the program first.
    fixRunDirectory();
    const std::string phase = argc > 1 ? argv[1] : "";
    if (phase == "download" && argc == 4) return download(argv[2], argv[3]);
    if (phase == "unzip" && argc == 4) return unzip(argv[2], argv[3]);
    if (phase == "install" && argc == 4) return install(argv[2], argv[3]);
    if (phase == "run" && argc == 3) return run(argv[2]);
    if (phase == "download-floor" && argc == 4) return downloadFloorPhase(argv[2], argv[3]);
    if (phase == "install-floor" && argc == 4) return installFloorPhase(argv[2], argv[3]);
    std::fputs("usage: pelmora_bench download <url> <file> | unzip <archive> <folder> |"
               " install <source\\> <target\\> | run <program> | download-floor <url> <file> |"
               " install-floor <source\\> <target\\>\n", stderr);
    return 2;
}
