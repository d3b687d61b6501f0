// Fetches, in one process, what "commands.txt" in the current directory lists, one command a line:
// a URL (an empty line is the empty URL), or "--release" to close the shared internet handle.
// Fetch number i (from 1) leaves its body in "fetch-<i>.body" and the line
// "<i> <body length> <InternetOpenA calls so far>" in "report.txt". Ends through endProgram.
#include <cstdio>
#include <string>
#include <vector>

#include "app/program.h"
#include "host/archive_fetch.h"

namespace {
std::vector<std::string> readCommands() {
    std::vector<std::string> commands;
    FILE* file = std::fopen("commands.txt", "rb");
    if (file == nullptr) return commands;
    std::string line;
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
        if (c != '\n') {
            line.push_back(static_cast<char>(c));
            continue;
        }
        commands.push_back(line);
        line.clear();
    }
    std::fclose(file);
    return commands;
}

bool writeBody(int number, const Bytes& body) {
    const std::string name = "fetch-" + std::to_string(number) + ".body";
    FILE* file = std::fopen(name.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = body.empty() || std::fwrite(body.data(), 1, body.length(), file) == body.length();
    return std::fclose(file) == 0 && written;
}
}  // namespace

int main() {
    const std::vector<std::string> commands = readCommands();
    FILE* report = std::fopen("report.txt", "wb");
    if (commands.empty() || report == nullptr) return 2;
    int number = 0;
    for (const std::string& command : commands) {
        if (command == "--release") {
            releaseInternetHandle();
            continue;
        }
        const Bytes body = httpReadFile(command.c_str());
        ++number;
        if (!writeBody(number, body)) return 3;
        std::fprintf(report, "%d %zu %d\n", number, body.length(), internetOpenCount());
        std::fflush(report);
    }
    std::fclose(report);
    endProgram(0);
}
