#pragma once
#include <windows.h>

#include <functional>
#include <optional>

#include "common/text.h"
#include "win/unique_handle.h"

// A handler of the unzipProgress event, given the percentage done: the answer false cancels the
// extraction after the current entry; true, or no answer, lets it go on.
using UnzipProgressHandler = std::function<std::optional<bool>(int percentage)>;

// The component "ZIP压缩1" of kind "ZIP压缩": a child window of the host window, always hidden,
// through which archives are extracted.
class ZipComponent {
public:
    static constexpr int left = 224;
    static constexpr int top = 0;
    static constexpr int width = 26;
    static constexpr int height = 26;

    // Results of unzip.
    static constexpr int kWalkEnded = 1;
    static constexpr int kFailed = 0;
    static constexpr int kNoArchive = -1;

    // Created hidden in the parent's client area, whatever is asked of it.
    static ZipComponent createIn(HWND parent);

    // A component without a window: extraction needs none, and where Wine has no display (the
    // tests) no window can be made.
    ZipComponent() = default;

    HWND handle() const { return window_.get(); }

    // Extracts every entry of the archive into the target folder (absolute, or relative to the
    // current directory; with or without a trailing "\"), creating the folders it needs and
    // replacing existing files. kWalkEnded when the walk came to its end, after the last entry or
    // by cancelling; kFailed when the target folder cannot be made, the file is no ZIP archive or
    // cannot be opened, an entry cannot be read (an unknown method, a local header that disagrees
    // with the central record), or an entry cannot be written, including an entry whose name
    // leaves the target, that is encrypted, whose data is damaged, or whose path reaches 260
    // bytes; kNoArchive when the path is empty or names nothing. The handler hears of each entry
    // processed, and, unless it cancelled, a final 100 before the result.
    int unzip(TextRef archivePath, TextRef targetFolder, const UnzipProgressHandler& unzipProgress = {}) const;

private:
    explicit ZipComponent(WindowHandle window) : window_(std::move(window)) {}
    WindowHandle window_;
};
