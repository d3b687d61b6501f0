// The process and message operations against Wine's Win32, with the test application and the box
// reader that are built beside this program. Suites whose names begin with "Display" need an X
// server (the process_ops_display driver runs them); the others run without a display.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <future>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "host/process_ops.h"
#include "scratch_folder.h"
#include "win/unique_handle.h"

namespace {
// A Wine process starts in a few seconds; this allows for a loaded machine.
constexpr DWORD kStartLimit = 60000;
constexpr DWORD kEndLimit = 5000;

// If this program dies in the middle of a test, the programs it started end with it: it joins a
// job that ends all its processes when the job's last handle closes, which happens only when this
// program has ended, so the handle is deliberately kept open.
class ChildrenEndWithTheTests : public testing::Environment {
public:
    void SetUp() override {
        HANDLE job = CreateJobObjectA(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        ASSERT_TRUE(SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits));
        ASSERT_TRUE(AssignProcessToJobObject(job, GetCurrentProcess()));
    }
};
testing::Environment* const childrenEndWithTheTests = testing::AddGlobalTestEnvironment(new ChildrenEndWithTheTests);

[[noreturn]] void fail(const std::string& why) { throw std::runtime_error(why); }

std::string besideThisProgram(const std::string& name) {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    return folder.substr(0, folder.rfind('\\') + 1) + name;
}

// Names of this run's own, so that a snapshot of the shared Wine session never finds another's.
std::string unique(const std::string& stem) { return stem + "-" + std::to_string(GetCurrentProcessId()); }

std::string currentDirectory() {
    char current[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, current);
    return current;
}

bool hasDisplay() { return GetEnvironmentVariableA("DISPLAY", nullptr, 0) > 1; }

struct AppSettings {
    std::string title;  // empty: the application's own
    int version = 1;
    unsigned lifetime = 0;  // milliseconds; 0: it runs until it is ended
};

// Copies a version of the test application to the path (which ends in ".exe") with its settings.
void installApp(const std::string& exePath, const std::string& record, const AppSettings& settings = {}) {
    const std::string built = besideThisProgram("test_app_v" + std::to_string(settings.version) + ".exe");
    if (!CopyFileA(built.c_str(), exePath.c_str(), FALSE)) fail("cannot copy " + built + " to " + exePath);
    std::string lines = "record=" + record + "\r\n";
    if (!settings.title.empty()) lines += "title=" + settings.title + "\r\n";
    if (settings.lifetime != 0) lines += "lifetime=" + std::to_string(settings.lifetime) + "\r\n";
    writeTestFile(exePath.substr(0, exePath.size() - 4) + ".cfg", lines);
}

// One line of a record file: its fields by name.
using RecordLine = std::map<std::string, std::string>;

// The complete lines of the record file so far.
std::vector<RecordLine> readRecord(const std::string& record) {
    std::vector<RecordLine> lines;
    if (!pathExists(record)) return lines;
    const std::string content = readTestFile(record);
    std::size_t start = 0;
    for (std::size_t end; (end = content.find('\n', start)) != std::string::npos; start = end + 1) {
        RecordLine line;
        std::size_t field = start;
        while (field < end) {
            std::size_t fieldEnd = content.find('\t', field);
            if (fieldEnd == std::string::npos || fieldEnd > end) fieldEnd = end;
            const std::string text = content.substr(field, fieldEnd - field);
            const std::size_t equals = text.find('=');
            line[text.substr(0, equals)] = equals == std::string::npos ? "" : text.substr(equals + 1);
            field = fieldEnd + 1;
        }
        lines.push_back(line);
    }
    return lines;
}

// Waits until the record holds at least count lines and returns them.
std::vector<RecordLine> waitForLines(const std::string& record, std::size_t count) {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        std::vector<RecordLine> lines = readRecord(record);
        if (lines.size() >= count) return lines;
        if (GetTickCount64() - start > kStartLimit) fail("no line " + std::to_string(count) + " in " + record);
        Sleep(50);
    }
}

RecordLine waitForLineOf(const std::string& record, DWORD processId) {
    const std::string id = std::to_string(processId);
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        for (const RecordLine& line : readRecord(record)) {
            if (line.at("pid") == id) return line;
        }
        if (GetTickCount64() - start > kStartLimit) fail("process " + id + " wrote no line in " + record);
        Sleep(50);
    }
}

// A started test application, ended on every way out of the test.
class AppProcess {
public:
    AppProcess(DWORD id, KernelHandle process) : id_(id), process_(std::move(process)) {
        if (!process_) fail("cannot open process " + std::to_string(id));
    }
    explicit AppProcess(DWORD id)
        : AppProcess(id, KernelHandle(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id))) {}
    AppProcess(AppProcess&&) = default;
    ~AppProcess() {
        if (process_ && running()) {
            TerminateProcess(process_.get(), 0);
            WaitForSingleObject(process_.get(), kEndLimit);
        }
    }

    DWORD id() const { return id_; }
    bool running() const { return WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }
    HANDLE handle() const { return process_.get(); }

private:
    DWORD id_;
    KernelHandle process_;
};

// Starts an installed application the tests' own way (quoted, shown normally), independent of
// runProgram, and waits for its record line.
AppProcess startApp(const std::string& exePath, const std::string& record) {
    std::string commandLine = "\"" + exePath + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created{};
    if (!CreateProcessA(exePath.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &created)) {
        fail("cannot start " + exePath);
    }
    CloseHandle(created.hThread);
    AppProcess app(created.dwProcessId, KernelHandle(created.hProcess));
    waitForLineOf(record, app.id());
    return app;
}

// The values of the next few handles this process would be given.
std::vector<HANDLE> lowestFreeHandles() {
    std::vector<HANDLE> handles;
    for (int i = 0; i < 16; ++i) handles.push_back(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    for (HANDLE handle : handles) CloseHandle(handle);
    return handles;
}

// The application that runProgram started: the one that wrote the record's line number count.
AppProcess startedApp(const std::string& record, std::size_t count) {
    return AppProcess(std::stoul(waitForLines(record, count).at(count - 1).at("pid")));
}
}  // namespace

TEST(TerminateProcess, MatchesTheNameWhateverItsLetterCaseAndTheProcessIsGoneOnReturn) {
    ScratchFolder folder;
    const std::string record = folder / "record.txt";
    const std::string exe = folder / unique("Pelmora-Case") + ".exe";
    installApp(exe, record);
    AppProcess app = startApp(exe, record);

    const ULONGLONG start = GetTickCount64();
    EXPECT_TRUE(terminateProcess((unique("pELMORA-cASE") + ".EXE").c_str()));
    EXPECT_FALSE(app.running()) << "ended, and waited for, before terminateProcess returned";
    EXPECT_LT(GetTickCount64() - start, 4000u) << "the wait ends when the process does, not at its limit";
}

TEST(TerminateProcess, FoldsLettersButNotTheTrailBytesOfDoubleByteCharacters) {
    ScratchFolder folder;
    const std::string record = folder / "record.txt";
    // "\x81\x61" and "\x81\x41" are two different characters whose trail bytes are 'a' and 'A'.
    const std::string name = "\x81\x61" + unique("") + ".exe";
    installApp(folder / name, record);
    AppProcess app = startApp(folder / name, record);

    EXPECT_FALSE(terminateProcess(("\x81\x41" + unique("") + ".exe").c_str()));
    EXPECT_TRUE(app.running());
    EXPECT_TRUE(terminateProcess(("\x81\x61" + unique("") + ".EXE").c_str()));
    EXPECT_FALSE(app.running());
}

TEST(TerminateProcess, EndsExactlyOneOfTwoInstancesPerCall) {
    ScratchFolder folder;
    const std::string record = folder / "record.txt";
    const std::string name = unique("Twin") + ".exe";
    installApp(folder / name, record);
    AppProcess first = startApp(folder / name, record);
    AppProcess second = startApp(folder / name, record);

    EXPECT_TRUE(terminateProcess(name.c_str()));
    EXPECT_NE(first.running(), second.running()) << "exactly one of the two ended";
    Sleep(1000);
    EXPECT_TRUE(first.running() || second.running()) << "the other keeps running";

    EXPECT_TRUE(terminateProcess(name.c_str()));
    EXPECT_FALSE(first.running());
    EXPECT_FALSE(second.running());
    EXPECT_FALSE(terminateProcess(name.c_str()));
}

TEST(TerminateProcess, ReturnsFalseAndEndsNothingWhenNothingMatches) {
    ScratchFolder folder;
    const std::string record = folder / "record.txt";
    const std::string name = unique("Present") + ".exe";
    installApp(folder / name, record);
    AppProcess app = startApp(folder / name, record);

    const std::string nearMisses[] = {unique("Absent") + ".exe", unique("Present"), unique("Present") + ".ex",
                                      unique("Present") + ".exe ", folder / name};
    for (const std::string& miss : nearMisses) EXPECT_FALSE(terminateProcess(miss.c_str())) << miss;
    EXPECT_FALSE(terminateProcess(""));
    EXPECT_FALSE(terminateProcess(Text()));
    EXPECT_TRUE(app.running());
}

TEST(RunProgram, ReturnsFalseForAProgramThatDoesNotExist) {
    ScratchFolder folder;
    const std::string missing = folder / "missing.exe";
    EXPECT_FALSE(runProgram(missing.c_str(), false));
    EXPECT_FALSE(runProgram(missing.c_str(), true));
    EXPECT_FALSE(runProgram("", false));
}

TEST(RunProgram, PassesTheShowModeByTheTableAndTheCommandLineUnchanged) {
    ScratchFolder folder;
    const std::string record = folder / "record.txt";
    const std::string exe = folder / unique("Shown") + ".exe";
    installApp(exe, record);
    // Spacing and quotes as they must arrive: the system parses the line, runProgram must not.
    const std::string commandLine = "\"" + exe + "\"  first   \"second argument\" ";
    struct Case {
        std::optional<int> mode;
        const char* show;
    };
    const Case cases[] = {{std::nullopt, "1"}, {0, "0"}, {3, "2"}, {9, "6"}};
    std::size_t started = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode ? std::to_string(*c.mode) : "omitted");
        ASSERT_TRUE(runProgram(commandLine.c_str(), false, c.mode));
        AppProcess app = startedApp(record, ++started);
        const RecordLine line = readRecord(record).at(started - 1);
        EXPECT_EQ(line.at("showflag"), "1");
        EXPECT_EQ(line.at("show"), c.show);
        EXPECT_EQ(line.at("command"), commandLine);
        EXPECT_EQ(line.at("current"), currentDirectory());
        EXPECT_TRUE(app.running()) << "without the wait flag runProgram returns while the program runs";
    }
}

TEST(RunProgram, LeavesNoHandleOfTheNewProcessOpen) {
    ScratchFolder folder;
    const std::string record = folder / "record.txt";
    const std::string exe = folder / unique("Brief") + ".exe";
    // A program that ends by itself, waited for: Wine's idle wait leaves a handle of its own open.
    installApp(exe, record, {"", 1, 100});
    const std::string commandLine = "\"" + exe + "\"";
    ASSERT_TRUE(runProgram(commandLine.c_str(), true));

    // Wine hands out the lowest free handle slots: a slot that runProgram left taken pushes one of a
    // run of new handles to another place.
    const std::vector<HANDLE> before = lowestFreeHandles();
    ASSERT_TRUE(runProgram(commandLine.c_str(), true));
    EXPECT_EQ(lowestFreeHandles(), before);
    EXPECT_EQ(readRecord(record).size(), 2u);
}

TEST(RunProgram, ResolvesAnUnquotedPathWithSpacesByTheSystemsRule) {
    ScratchFolder folder;
    const std::string record = folder / "record.txt";
    makeFolder(folder / "dir with space");
    const std::string exe = folder / "dir with space\\" + unique("App") + ".exe";
    installApp(exe, record);
    const std::string unquoted = exe;
    // Windows hands the line on as it was given; Wine quotes the program part it resolved.
    const auto withoutQuotes = [](std::string line) {
        line.erase(std::remove(line.begin(), line.end(), '"'), line.end());
        return line;
    };

    ASSERT_TRUE(runProgram(unquoted.c_str(), false));
    {
        AppProcess app = startedApp(record, 1);
        const RecordLine line = readRecord(record).at(0);
        EXPECT_EQ(line.at("module"), exe);
        EXPECT_EQ(withoutQuotes(line.at("command")), unquoted);
    }

    // The system tries the line's words from the left: "<folder>\\dir with.exe" comes before the
    // program in "dir with space".
    installApp(folder / "dir with.exe", record, {"", 2});
    ASSERT_TRUE(runProgram(unquoted.c_str(), false));
    AppProcess decoy = startedApp(record, 2);
    const RecordLine line = readRecord(record).at(1);
    EXPECT_EQ(line.at("version"), "2");
    EXPECT_EQ(line.at("module"), folder / "dir with.exe");
    EXPECT_EQ(withoutQuotes(line.at("command")), unquoted);
}

TEST(RunProgram, WithTheWaitFlagReturnsOnlyAfterTheProgramHasEnded) {
    ScratchFolder folder;
    const std::string record = folder / "record.txt";
    const std::string exe = folder / unique("Waited") + ".exe";
    // Well past the one-second idle wait that ends runProgram without the flag.
    constexpr unsigned kLifetime = 2500;
    installApp(exe, record, {"", 1, kLifetime});

    const ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(runProgram(("\"" + exe + "\"").c_str(), true));
    const ULONGLONG elapsed = GetTickCount64() - start;
    const std::vector<RecordLine> lines = readRecord(record);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_GE(elapsed, kLifetime);
    const KernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, std::stoul(lines[0].at("pid"))));
    EXPECT_TRUE(!process || WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) << "ended when runProgram returned";
}

TEST(NoDisplayMessageBox, Returns0AtOnce) {
    if (hasDisplay()) GTEST_SKIP() << "runs without a display";
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(messageBox("升级成功！", 0), 0);
    EXPECT_EQ(messageBox("升级成功！", 4, TextRef("选择")), 0) << "not a Yes or a No: no box was shown";
    EXPECT_LT(GetTickCount64() - start, 10000u);
}

namespace {
// What a message box looked like while it was shown, and how it was answered.
struct Answer {
    int result = -1;
    bool shown = false;
    HWND owner = nullptr;
    bool threadWindowEnabled = true;
    DWORD readerExit = static_cast<DWORD>(-1);
    std::string readerText;
};

HWND boxOfThread(DWORD threadId) {
    HWND found = nullptr;
    EnumThreadWindows(
        threadId,
        [](HWND window, LPARAM result) {
            char kind[16] = "";
            GetClassNameA(window, kind, sizeof kind);
            if (std::string(kind) != "#32770" || !IsWindowVisible(window)) return TRUE;
            *reinterpret_cast<HWND*>(result) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// Runs the box reader to its end: its exit code and what it wrote.
std::pair<DWORD, std::string> runBoxReader(const ScratchFolder& folder, const std::string& caption, int button) {
    const std::string output = folder / "reader.txt";
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    const FileHandle file(CreateFileA(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string commandLine =
        "\"" + besideThisProgram("box_reader.exe") + "\" \"" + caption + "\" " + std::to_string(button) + " 30000";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = file.get();
    startup.hStdError = file.get();
    PROCESS_INFORMATION created{};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &created)) {
        fail("cannot start the box reader");
    }
    const KernelHandle process(created.hProcess);
    const KernelHandle thread(created.hThread);
    DWORD exitCode = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.get(), kStartLimit) != WAIT_OBJECT_0) TerminateProcess(process.get(), 99);
    WaitForSingleObject(process.get(), kEndLimit);
    GetExitCodeProcess(process.get(), &exitCode);
    return {exitCode, readTestFile(output)};
}

// Asks from a thread of its own that first creates a top-level window, as the program's thread has
// one, and lets the box reader answer with the button. Should the reader fail, the box is closed
// here so that the asking thread always returns.
Answer askAndAnswer(const std::function<int(HWND threadWindow)>& ask, const std::string& readerCaption, int button) {
    ScratchFolder folder;
    Answer answer;
    std::promise<std::pair<HWND, DWORD>> ready;
    std::atomic<bool> answered{false};
    std::thread asker([&] {
        HWND window = CreateWindowExA(0, "STATIC", "asker", WS_OVERLAPPED, 0, 0, 200, 100, nullptr, nullptr,
                                      GetModuleHandleA(nullptr), nullptr);
        ready.set_value({window, GetCurrentThreadId()});
        answer.result = ask(window);
        answered = true;
        DestroyWindow(window);
    });
    const auto [threadWindow, threadId] = ready.get_future().get();

    HWND box = nullptr;
    const ULONGLONG start = GetTickCount64();
    while (!answered && (box = boxOfThread(threadId)) == nullptr && GetTickCount64() - start < kStartLimit) Sleep(20);
    if (box != nullptr) {
        answer.shown = true;
        answer.owner = GetWindow(box, GW_OWNER);
        answer.threadWindowEnabled = IsWindowEnabled(threadWindow) != FALSE;
        try {
            std::tie(answer.readerExit, answer.readerText) = runBoxReader(folder, readerCaption, button);
        } catch (const std::exception& error) {
            ADD_FAILURE() << error.what();
        }
    }
    for (int id = IDOK; !answered && id <= IDNO; id = id == IDNO ? IDOK : id + 1) {
        HWND anyButton = box != nullptr ? GetDlgItem(box, id) : nullptr;
        if (anyButton != nullptr && IsWindowVisible(anyButton)) SendMessageA(anyButton, BM_CLICK, 0, 0);
        Sleep(20);
    }
    asker.join();
    return answer;
}

class DisplayMessageBox : public testing::Test {
protected:
    void SetUp() override {
        if (!hasDisplay()) GTEST_SKIP() << "needs an X server";
    }
};

const std::string kSucceeded = "升级成功！";
const std::string kDefaultCaption = "信息：";
}  // namespace

TEST_F(DisplayMessageBox, ShowsTheMessageUnderTheDefaultCaptionTaskModalAndOkGives0) {
    const Answer answer = askAndAnswer([](HWND) { return messageBox(kSucceeded.c_str(), 0); }, kDefaultCaption, IDOK);
    ASSERT_TRUE(answer.shown);
    EXPECT_EQ(answer.readerExit, 0u) << answer.readerText;
    EXPECT_EQ(answer.readerText, kSucceeded + "\n");
    EXPECT_EQ(answer.result, 0);
    EXPECT_EQ(answer.owner, nullptr);
    EXPECT_FALSE(answer.threadWindowEnabled) << "task-modal without an owner disables the thread's windows";
}

TEST_F(DisplayMessageBox, YesGives5AndNoGives6) {
    for (const auto& [button, result] : {std::pair{IDYES, 5}, std::pair{IDNO, 6}}) {
        const Answer answer = askAndAnswer([](HWND) { return messageBox("继续？", 4); }, kDefaultCaption, button);
        EXPECT_EQ(answer.readerExit, 0u) << answer.readerText;
        EXPECT_EQ(answer.result, result) << "button " << button;
    }
}

TEST_F(DisplayMessageBox, AGivenCaptionIsKeptEvenWhenEmpty) {
    Answer answer = askAndAnswer([](HWND) { return messageBox("有标题", 0, TextRef("提示")); }, "提示", IDOK);
    EXPECT_EQ(answer.readerExit, 0u) << answer.readerText;
    EXPECT_EQ(answer.readerText, "有标题\n");

    answer = askAndAnswer([](HWND) { return messageBox(Text(), 0, TextRef("")); }, "", IDOK);
    EXPECT_EQ(answer.readerExit, 0u) << answer.readerText;
    EXPECT_EQ(answer.readerText, "\n") << "a null message shows as empty";
    EXPECT_EQ(answer.result, 0);
}

TEST_F(DisplayMessageBox, SystemModalLeavesTheThreadsWindowsEnabledAndAGivenOwnerOwnsTheBox) {
    Answer answer = askAndAnswer([](HWND) { return messageBox("系统", 0x1000); }, kDefaultCaption, IDOK);
    EXPECT_EQ(answer.readerExit, 0u) << answer.readerText;
    EXPECT_TRUE(answer.threadWindowEnabled);

    HWND owner = nullptr;
    answer = askAndAnswer(
        [&owner](HWND threadWindow) {
            owner = threadWindow;
            return messageBox("有主", 0, std::nullopt, reinterpret_cast<std::uintptr_t>(threadWindow));
        },
        kDefaultCaption, IDOK);
    EXPECT_EQ(answer.readerExit, 0u) << answer.readerText;
    EXPECT_EQ(answer.owner, owner);
    EXPECT_NE(owner, nullptr);
}

TEST(DisplayTerminateProcess, AWindowTitledWithTheNameEndsTheProcessThatOwnsIt) {
    if (!hasDisplay()) GTEST_SKIP() << "needs an X server: without one Wine creates no windows";
    ScratchFolder folder;
    const std::string record = folder / "record.txt";
    const std::string name = unique("Target") + ".exe";
    installApp(folder / name, record);
    installApp(folder / unique("Titled") + ".exe", record, {name});
    AppProcess target = startApp(folder / name, record);
    AppProcess titled = startApp(folder / unique("Titled") + ".exe", record);

    EXPECT_TRUE(terminateProcess(name.c_str()));
    EXPECT_FALSE(titled.running()) << "the window's owner is ended, whatever its executable";
    EXPECT_TRUE(target.running()) << "the process list is not consulted once a window is found";
}
