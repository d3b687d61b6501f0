#include "host/zip_component.h"

#include <vector>

#include "host/zip_archive.h"
#include "host/zip_entry_path.h"
#include "host/zip_file_entry.h"
#include "host/zip_rules.h"
#include "win/ansi_code_page.h"

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

bool pathExists(TextRef path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Creates every missing level of the path, outermost first.
bool createFolderPath(TextRef path) {
    const std::optional<std::vector<Text>> levels = folderPathLevels(path, ansiLeadByte);
    if (!levels) return false;
    for (const Text& level : *levels) {
        if (!pathExists(level) && !CreateDirectoryA(level.c_str(), nullptr)) return false;
    }
    return true;
}

// The first 32 bytes, read as they are, must look like the start of a ZIP archive.
bool passesQuickCheckOf(TextRef archivePath) {
    FileHandle file(CreateFileA(archivePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    unsigned char head[kQuickCheckSize];
    DWORD total = 0;
    DWORD read = 0;
    while (total < sizeof head && ReadFile(file.get(), head + total, sizeof head - total, &read, nullptr) && read > 0) {
        total += read;
    }
    return passesQuickCheck(head, total);
}

// The current directory with its "\": the root of the folders that the file step creates. It is
// taken whole, whatever its length, so that a root of 260 bytes or more is refused where a folder
// is joined to it rather than cut short.
Text currentDirectoryRoot() {
    const DWORD size = GetCurrentDirectoryA(0, nullptr);
    Text directory = Text::withLength(size);
    const DWORD length = size == 0 ? 0 : GetCurrentDirectoryA(size, directory.data());
    // Without it the folders stay relative, which names the same place.
    if (length == 0 || length >= size) return Text();
    return withTrailingBackslash(directory, ansiLeadByte);
}

// One call of unzip: the entry count, the cancel flag and the handler live as long as the call.
class Extraction {
public:
    Extraction(TextRef archivePath, TextRef targetFolder, const UnzipProgressHandler& handler)
        : archivePath_(archivePath), targetFolder_(targetFolder), handler_(handler) {}

    int run() {
        if (archivePath_.empty() || !pathExists(archivePath_)) return ZipComponent::kNoArchive;
        if (!pathExists(targetFolder_) && !createFolderPath(targetFolder_)) return ZipComponent::kFailed;
        if (!passesQuickCheckOf(archivePath_)) return ZipComponent::kFailed;
        ZipArchive archive(archivePath_);
        const Text root = currentDirectoryRoot();
        if (!archive.isOpen()) return ZipComponent::kFailed;
        count_ = countEntries(archive);
        return walk(archive, root);
    }

    bool cancelled() const { return cancelled_; }

    void notifyFinal() { notify(progressPercentage(count_, count_)); }

private:
    static std::size_t countEntries(ZipArchive& archive) {
        ZipEntry entry;
        std::size_t count = 0;
        while (archive.readEntry(count, entry)) ++count;
        return count;
    }

    int walk(ZipArchive& archive, const Text& root) {
        ZipEntry entry;
        std::size_t index = 0;
        for (; archive.readEntry(index, entry); ++index) {
            if (!extract(archive, entry, root)) return ZipComponent::kFailed;
            notify(progressPercentage(index, count_));
            if (cancelled_) return ZipComponent::kWalkEnded;
        }
        // An entry that cannot be read keeps it and every later entry out of the target: the
        // archive was not unpacked whole, and a caller must not take it for a release.
        return index < archive.announcedEntries() ? ZipComponent::kFailed : ZipComponent::kWalkEnded;
    }

    // Nothing of an entry is created before its name, paths and flags have passed.
    bool extract(ZipArchive& archive, const ZipEntry& entry, const Text& root) const {
        if (entry.nameLength >= kPathLimit) return false;
        const std::optional<Text> path = entryPath(targetFolder_, entry.name, ansiLeadByte);
        if (!path || isEncryptedEntry(entry.generalPurposeFlags)) return false;
        if (isDirectoryEntry(entryAttributes(entry.externalAttributes))) {
            return pathExists(*path) || createFolderPath(*path);
        }
        const std::optional<std::vector<Text>> folders = fileFolders(*path, root, ansiLeadByte);
        if (!folders) return false;
        return writeFileEntry(archive, entry, *path, *folders);
    }

    void notify(int percentage) {
        if (!handler_) return;
        if (handler_(percentage) == std::optional<bool>(false)) cancelled_ = true;
    }

    TextRef archivePath_;
    TextRef targetFolder_;
    const UnzipProgressHandler& handler_;
    std::size_t count_ = 0;
    bool cancelled_ = false;
};
}  // namespace

ZipComponent ZipComponent::createIn(HWND parent) {
    registerComponentClass();
    HWND window = CreateWindowExA(0, kComponentKind, kComponentName, WS_CHILD, left, top, width, height, parent,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
    return ZipComponent(WindowHandle(window));
}

int ZipComponent::unzip(TextRef archivePath, TextRef targetFolder, const UnzipProgressHandler& unzipProgress) const {
    Extraction extraction(archivePath, targetFolder, unzipProgress);
    const int result = extraction.run();
    if (!extraction.cancelled()) extraction.notifyFinal();
    return result;
}
