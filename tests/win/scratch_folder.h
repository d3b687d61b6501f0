#pragma once
// A temporary folder of a test's own, removed with everything in it when the test ends.
#include <windows.h>

#include <string>

class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The folder's path, without a trailing backslash.
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// Test helpers on files, written directly against Win32.
void writeTestFile(const std::string& path, const std::string& content, DWORD attributes = FILE_ATTRIBUTE_NORMAL);
std::string readTestFile(const std::string& path);
bool pathExists(const std::string& path);
// Removes a tree whatever its attributes; independent of the operations under test.
void removeTestTree(const std::string& path);
void makeFolder(const std::string& path);
