"""The archives of the ZIP extraction tests, made here byte by byte: Python's zipfile for ordinary
archives, and a small writer of our own where names must be raw code page 936 bytes or a header
must lie (a wrong CRC-32, a method nobody supports, damaged data, a cut-short file)."""
import io
import random
import struct
import zipfile
import zlib
from dataclasses import dataclass
from pathlib import Path

STORED = 0
DEFLATED = 8

# External attributes: the upper half is a Unix mode, the lower the MS-DOS bits.
UNIX_FILE = 0o100644 << 16
UNIX_READ_ONLY_FILE = 0o100444 << 16
UNIX_DIRECTORY = 0o040755 << 16
DOS_DIRECTORY = 0x10

# 2021-03-04 05:06:08, the DOS date and time of every entry unless it says otherwise.
DOS_DATE = ((2021 - 1980) << 9) | (3 << 5) | 4
DOS_TIME = (5 << 11) | (6 << 5) | (8 // 2)
# Month 13: no valid date.
BAD_DOS_DATE = ((2021 - 1980) << 9) | (13 << 5) | 4

# The size of the damaged entry, which the tests know too.
DAMAGED_ENTRY_SIZE = 300000

UT_WRITE = 1600000000
UT_ACCESS = 1500000000
UT_CREATION = 1400000000


def ut_record(flags, *times, declared_size=None):
    """An extended-timestamp record: flags, then signed 32-bit seconds since 1970."""
    data = bytes([flags]) + b"".join(struct.pack("<i", t) for t in times)
    size = len(data) if declared_size is None else declared_size
    return struct.pack("<HH", 0x5455, size) + data


@dataclass
class Entry:
    name: bytes
    data: bytes = b""
    method: int = DEFLATED
    external: int = UNIX_FILE
    flags: int = 0
    date: int = DOS_DATE
    time: int = DOS_TIME
    local_extra: bytes = b""
    central_extra: bytes = b""
    crc: int = None  # the true CRC-32 unless given
    size: int = None  # the true uncompressed size unless given
    payload: bytes = None  # the stored or deflated data unless given
    local_crc: int = None  # the local header's CRC-32 where it differs from the central record's


def deflate(data):
    compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
    return compressor.compress(data) + compressor.flush()


def build(entries):
    """A ZIP archive: local headers with their data, the central directory, its end record."""
    body = bytearray()
    central = bytearray()
    for entry in entries:
        payload = entry.payload
        if payload is None:
            payload = deflate(entry.data) if entry.method == DEFLATED else entry.data
        crc = zlib.crc32(entry.data) if entry.crc is None else entry.crc
        local_crc = crc if entry.local_crc is None else entry.local_crc
        size = len(entry.data) if entry.size is None else entry.size
        offset = len(body)
        body += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, entry.flags, entry.method, entry.time, entry.date,
                            local_crc, len(payload), size, len(entry.name), len(entry.local_extra))
        body += entry.name + entry.local_extra + payload
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, (3 << 8) | 20, 20, entry.flags, entry.method,
                               entry.time, entry.date, crc, len(payload), size, len(entry.name),
                               len(entry.central_extra), 0, 0, 0, entry.external, offset)
        central += entry.name + entry.central_extra
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central), len(body), 0)
    return bytes(body + central + end)


def text(name):
    return f"content of {name}\n".encode() * 3


def file_entry(name, **fields):
    return Entry(name.encode(), text(name), **fields)


def with_zipfile(path, names):
    """An ordinary archive written by Python's zipfile, deflated and stored entries mixed."""
    with zipfile.ZipFile(path, "w") as archive:
        for number, name in enumerate(names):
            method = zipfile.ZIP_STORED if number % 2 else zipfile.ZIP_DEFLATED
            archive.writestr(name, text(name), compress_type=method)


def streamed_with_zipfile(path, names):
    """An archive written by zipfile to a stream it cannot seek back in: every entry has general
    purpose flag bit 3, zeros in its local header, and a data descriptor after its data."""
    written = io.BytesIO()

    class Stream:
        def write(self, data):
            return written.write(data)

        def flush(self):
            pass

    with zipfile.ZipFile(Stream(), "w") as archive:
        for name in names:
            archive.writestr(name, text(name), compress_type=zipfile.ZIP_DEFLATED)
    path.write_bytes(written.getvalue())


def damaged_deflate_entry():
    """A large deflated entry whose stream is damaged well after its first pieces of 16384 bytes,
    so that inflating it fails partway through."""
    rng = random.Random(7)
    words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
             for _ in range(400)]
    data = b" ".join(rng.choice(words) for _ in range(60000))[:DAMAGED_ENTRY_SIZE]
    return Entry(b"second.bin", data, external=0, date=((1999 - 1980) << 9) | (1 << 5) | 1,
                 payload=damaged_deflate(data, 4 * 16384))


def damaged_deflate(data, inflated_first):
    """The deflated data, damaged in its second half so that inflating it fails after more than
    `inflated_first` bytes came out."""
    payload = deflate(data)
    for offset in range(len(payload) // 2, len(payload), 97):
        damaged = bytearray(payload)
        damaged[offset:offset + 16] = b"\xff" * 16
        produced = inflated_before_error(bytes(damaged))
        if produced is not None and produced > inflated_first:
            return bytes(damaged)
    raise RuntimeError("no damage found that makes inflating fail")


def inflated_before_error(payload):
    inflater = zlib.decompressobj(-15)
    produced = 0
    try:
        for at in range(0, len(payload), 512):
            produced += len(inflater.decompress(payload[at:at + 512]))
    except zlib.error:
        return produced
    return None


def unsafe_names(top):
    """Names that would leave the target folder, by label; those that resolve at all would land
    inside `top`, where the driver looks for them."""
    rooted = str(top).lstrip("/").encode()
    return {
        "parent": b"../escaped-parent.txt",
        "nested-parent": b"a/../../escaped-nested.txt",
        "backslash-parent": b"..\\escaped-backslash.txt",
        "deep-parent": b"../../../escaped-deep.txt",
        "dot-space-parent": b".. /escaped-dot-space.txt",
        "rooted-slash": b"/" + rooted + b"/escaped-rooted.txt",
        "rooted-backslash": b"\\" + rooted.replace(b"/", b"\\") + b"\\escaped-rooted-backslash.txt",
        "drive": b"Z:/" + rooted + b"/escaped-drive.txt",
        "drive-relative": b"Z:escaped-drive-relative.txt",
        "stream": b"escaped-stream.txt:data",
        # Windows opens these as devices in any folder: their bytes would go to a port or a printer.
        "device-serial-port": b"COM1",
        "device-printer-in-folder": b"docs/lpt1.txt",
        "device-null-dotted": b"Nul. .txt",
        "device-auxiliary-spaced": b"aux ",
    }


def build_all(folder, top):
    """Writes every archive of the tests into `folder`."""
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)

    def write(name, entries):
        (folder / name).write_bytes(build(entries))

    with_zipfile(folder / "nested.zip", ["a/b/c.txt", "a/d.txt", "top.txt"])
    with_zipfile(folder / "four.zip", ["one.txt", "two.txt", "three.txt", "four.txt"])
    streamed_with_zipfile(folder / "streamed.zip", ["one.txt", "sub/two.txt"])

    write("directories.zip", [
        Entry(b"docs/", external=DOS_DIRECTORY, method=STORED),
        Entry(b"empty/", external=UNIX_DIRECTORY, method=STORED),
        file_entry("docs/readme.txt"),
        Entry(b"deep/er/", external=DOS_DIRECTORY | UNIX_DIRECTORY, method=STORED),
        file_entry("deep/er/x.txt"),
    ])
    write("trailing-slash-file.zip", [file_entry("before.txt"), Entry(b"notdir/", method=STORED),
                                      file_entry("after.txt")])
    write("attributes.zip", [
        file_entry("readonly.txt", external=0x01),
        file_entry("hidden.txt", external=UNIX_FILE | 0x02),
        file_entry("system.txt", external=UNIX_FILE | 0x04),
        file_entry("all.txt", external=0x27),
        file_entry("unix-readonly.txt", external=UNIX_READ_ONLY_FILE),
        file_entry("plain.txt"),
    ])
    write("times.zip", [
        file_entry("dos.txt"),
        file_entry("ut.txt", local_extra=ut_record(7, UT_WRITE, UT_ACCESS, UT_CREATION),
                   central_extra=ut_record(7, UT_WRITE, declared_size=5)),
        file_entry("ut-after-other-record.txt",
                   local_extra=struct.pack("<HH", 0x000A, 4) + b"\0" * 4 + ut_record(3, UT_WRITE, UT_ACCESS)),
        file_entry("ut-short.txt", local_extra=ut_record(7, UT_WRITE, declared_size=5)),
        file_entry("ut-before-1970.txt", local_extra=ut_record(3, -365 * 86400, -1)),
        file_entry("bad-dos.txt", date=BAD_DOS_DATE),
        file_entry("bad-dos-ut.txt", date=BAD_DOS_DATE, local_extra=ut_record(1, UT_WRITE)),
    ])
    write("cp936.zip", [
        Entry("乗客/数据.txt".encode("gbk"), "数据".encode("gbk")),
        Entry("文件夹/".encode("gbk"), external=DOS_DIRECTORY, method=STORED),
        Entry("表格.txt".encode("gbk"), "表格".encode("gbk"), method=STORED),
    ])

    (folder / "error-page.html").write_bytes(b"<html><body><h1>404 Not Found</h1></body></html>\n")
    write("empty.zip", [])
    complete = build([file_entry("one.txt"), file_entry("two.txt"), file_entry("three.txt")])
    central_start = struct.unpack("<I", complete[-6:-2])[0]
    (folder / "truncated.zip").write_bytes(complete[:central_start])
    (folder / "no-entries.zip").write_bytes(no_entries_archive())

    five = [file_entry(name) for name in ("one.txt", "two.txt", "three.txt", "four.txt", "five.txt")]
    unreadable = {
        "method-99.zip": Entry(b"three.txt", text("three.txt"), method=99, payload=text("three.txt")),
        "method-bzip2.zip": Entry(b"three.txt", text("three.txt"), method=12, payload=text("three.txt")),
        "local-crc-mismatch.zip": Entry(b"three.txt", text("three.txt"), local_crc=0x12345678),
    }
    for name, third in unreadable.items():
        write(name, five[:2] + [third] + five[3:])

    write("damaged-deflate.zip", [file_entry("first.txt"), damaged_deflate_entry(), file_entry("third.txt")])
    full = text("bad.txt") * 50
    corrupt = {
        "crc-stored.zip": Entry(b"bad.txt", full, method=STORED, crc=zlib.crc32(full) ^ 1),
        "crc-deflated.zip": Entry(b"bad.txt", full, crc=zlib.crc32(full) ^ 0x80000000),
        "crc-empty.zip": Entry(b"bad.txt", b"", method=STORED, crc=0x12345678),
        # The deflated stream ends before the size that the record announces.
        "data-ends-early.zip": Entry(b"bad.txt", full, size=len(full) + 100,
                                     crc=zlib.crc32(full + b"\0" * 100)),
    }
    for name, bad in corrupt.items():
        write(name, [file_entry("before.txt"), bad, file_entry("after.txt")])

    write("encrypted.zip", [file_entry("before.txt"), file_entry("secret.txt", flags=0x0001),
                            file_entry("after.txt")])

    for label, name in unsafe_names(top).items():
        write(f"unsafe-{label}.zip", [file_entry("before.txt"), Entry(name, b"escaped\n"), file_entry("after.txt")])
    write("unsafe-directory-parent.zip", [file_entry("before.txt"),
                                          Entry(b"../escaped-directory/", external=DOS_DIRECTORY, method=STORED),
                                          file_entry("after.txt")])

    write("long-name.zip", [file_entry("before.txt"), Entry(b"n" * 100 + b"/" + b"m" * 199, b"long\n"),
                            file_entry("after.txt")])
    # With the target "latest\" (7 bytes), these names make paths of 259 and 260 bytes.
    write("path-259.zip", [Entry(b"d" * 100 + b"/" + b"f" * 151, b"fits\n")])
    write("path-260.zip", [Entry(b"d" * 100 + b"/" + b"f" * 152, b"too long\n")])


def no_entries_archive():
    """Starts with a local file header, as the quick check wants, but its central directory names
    no entry."""
    orphan = build([file_entry("orphan.txt")])
    body_end = struct.unpack("<I", orphan[-6:-2])[0]
    body = orphan[:body_end]
    return body + struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0, 0, 0, len(body), 0)
