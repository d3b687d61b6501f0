#include "host/zip_archive.h"

#include <algorithm>
#include <cstdint>

#include "unzip.h"

namespace {
constexpr int kStored = 0;
constexpr int kDeflated = 8;

// A synchronous handle reads at the offset that the OVERLAPPED record gives and waits for it; at
// or past the end the read fails, which counts as nothing read.
std::size_t readFileAt(HANDLE file, std::uint64_t offset, void* buffer, std::size_t size) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, MAXDWORD));
    return ReadFile(file, buffer, wanted, &read, &at) ? read : 0;
}

// minizip reads the archive through these hooks: the stream is the handle that ZipArchive opened
// and owns, read through a buffer, so minizip's close leaves it alone.
voidpf ZCALLBACK openStream(voidpf stream, const void*, int) { return stream; }

uLong ZCALLBACK readStream(voidpf, voidpf stream, void* buffer, uLong size) {
    return static_cast<uLong>(static_cast<ZipArchive::Stream*>(stream)->reader.read(buffer, size));
}

uLong ZCALLBACK writeStream(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK tellStream(voidpf, voidpf stream) {
    return static_cast<ZPOS64_T>(static_cast<ZipArchive::Stream*>(stream)->reader.position());
}

// As SetFilePointerEx moves a file pointer: a signed distance from the origin, and no position
// before the start of the file.
long ZCALLBACK seekStream(voidpf, voidpf opaque, ZPOS64_T offset, int origin) {
    auto& stream = *static_cast<ZipArchive::Stream*>(opaque);
    LARGE_INTEGER base{};
    if (origin == ZLIB_FILEFUNC_SEEK_END && !GetFileSizeEx(stream.file, &base)) return -1;
    if (origin == ZLIB_FILEFUNC_SEEK_CUR) base.QuadPart = static_cast<LONGLONG>(stream.reader.position());
    const LONGLONG position = base.QuadPart + static_cast<LONGLONG>(offset);
    if (position < 0) return -1;
    stream.reader.setPosition(static_cast<std::uint64_t>(position));
    return 0;
}

int ZCALLBACK closeStream(voidpf, voidpf) { return 0; }

int ZCALLBACK streamError(voidpf, voidpf) { return 0; }

zlib_filefunc64_def streamOver(ZipArchive::Stream& stream) {
    zlib_filefunc64_def functions{};
    functions.zopen64_file = openStream;
    functions.zread_file = readStream;
    functions.zwrite_file = writeStream;
    functions.ztell64_file = tellStream;
    functions.zseek64_file = seekStream;
    functions.zclose_file = closeStream;
    functions.zerror_file = streamError;
    functions.opaque = &stream;
    return functions;
}
}  // namespace

ZipArchive::ZipArchive(TextRef path)
    : file_(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                        nullptr)) {
    if (!file_) return;
    HANDLE file = file_.get();
    stream_ = std::make_unique<Stream>(
        Stream{file, BufferedReader([file](std::uint64_t offset, void* buffer, std::size_t size) {
                   return readFileAt(file, offset, buffer, size);
               })});
    zlib_filefunc64_def functions = streamOver(*stream_);
    archive_ = unzOpen2_64(path.c_str(), &functions);
    unz_global_info64 info;
    if (archive_ != nullptr && unzGetGlobalInfo64(archive_, &info) == UNZ_OK) announcedEntries_ = info.number_entry;
}

ZipArchive::~ZipArchive() {
    if (archive_ != nullptr) unzClose(archive_);
}

bool ZipArchive::goToEntry(std::size_t index) {
    if (index >= announcedEntries_) return false;
    if (!positioned_ || index < current_) {
        positioned_ = unzGoToFirstFile(archive_) == UNZ_OK;
        current_ = 0;
    }
    while (positioned_ && current_ < index) {
        positioned_ = unzGoToNextFile(archive_) == UNZ_OK;
        ++current_;
    }
    return positioned_;
}

bool ZipArchive::readEntry(std::size_t index, ZipEntry& entry) {
    if (!isOpen() || !goToEntry(index)) return false;
    unz_file_info64 info;
    if (unzGetCurrentFileInfo64(archive_, &info, entry.name, sizeof entry.name, nullptr, 0, nullptr, 0) != UNZ_OK) {
        return false;
    }
    entry.name[sizeof entry.name - 1] = '\0';
    // minizip accepts bzip2 entries too and would hand their data over as it is stored.
    if (info.compression_method != kStored && info.compression_method != kDeflated) return false;
    if (unzOpenCurrentFile(archive_) != UNZ_OK) return false;
    const int extraLength = unzGetLocalExtrafield(archive_, nullptr, 0);
    entry.localExtraField.assign(extraLength > 0 ? static_cast<std::size_t>(extraLength) : 0, 0);
    const bool extraRead =
        extraLength >= 0 && unzGetLocalExtrafield(archive_, entry.localExtraField.data(),
                                                  static_cast<unsigned>(extraLength)) == extraLength;
    unzCloseCurrentFile(archive_);
    if (!extraRead) return false;

    entry.nameLength = info.size_filename;
    entry.externalAttributes = info.external_fa;
    entry.dosDateTime = info.dosDate;
    entry.generalPurposeFlags = info.flag;
    entry.uncompressedSize = info.uncompressed_size;
    return true;
}

bool ZipArchive::openData() { return unzOpenCurrentFile(archive_) == UNZ_OK; }

int ZipArchive::readData(void* buffer, unsigned size) { return unzReadCurrentFile(archive_, buffer, size); }

bool ZipArchive::closeData() { return unzCloseCurrentFile(archive_) == UNZ_OK; }
