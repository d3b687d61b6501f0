#pragma once
#include <windows.h>

#include <cstddef>
#include <memory>
#include <vector>

#include "common/text.h"
#include "host/buffered_reader.h"
#include "win/unique_handle.h"

// What one step of the walk reads of the entry at an index: its central-directory record and its
// local extra field.
struct ZipEntry {
    static constexpr std::size_t kNameBufferSize = 260;

    // The stored name, NUL-terminated; one of kNameBufferSize bytes or more (nameLength tells) did
    // not fit and is cut short here.
    char name[kNameBufferSize] = {};
    std::size_t nameLength = 0;
    unsigned long externalAttributes = 0;
    unsigned long dosDateTime = 0;
    unsigned long generalPurposeFlags = 0;
    unsigned long long uncompressedSize = 0;
    std::vector<unsigned char> localExtraField;
};

// A ZIP archive opened with CreateFileA for reading and walked with minizip, which reads it
// through that handle. Both are closed when the archive is destroyed.
class ZipArchive {
public:
    // What minizip reads through: the archive's handle, behind a buffer.
    struct Stream {
        HANDLE file;
        BufferedReader reader;
    };

    // Not open when the file cannot be opened, or minizip finds no consistent central directory.
    explicit ZipArchive(TextRef path);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    bool isOpen() const { return archive_ != nullptr; }

    // The number of entries that the central directory announces.
    unsigned long long announcedEntries() const { return announcedEntries_; }

    // Places minizip on the entry, reads its central record, checks its local header as
    // unzOpenCurrentFile checks it and reads its local extra field. False when the index is not
    // below the count that the central directory announces, when a record or header cannot be read
    // or fails the check, or when the method is neither stored (0) nor deflated (8).
    bool readEntry(std::size_t index, ZipEntry& entry);

    // The data of the entry last read, inflated, in pieces.
    bool openData();
    // The count of bytes placed in the buffer, 0 once the data is complete, negative on a fault.
    int readData(void* buffer, unsigned size);
    // Ends the reading of the data; false when minizip reports a fault, such as a CRC-32 of the
    // complete data that does not match the record's.
    bool closeData();

private:
    bool goToEntry(std::size_t index);

    FileHandle file_;
    // Lives at one address for as long as minizip reads through it.
    std::unique_ptr<Stream> stream_;
    void* archive_ = nullptr;
    unsigned long long announcedEntries_ = 0;
    // Where minizip stands; unknown after a failed step, so that the next read starts over.
    std::size_t current_ = 0;
    bool positioned_ = false;
};
