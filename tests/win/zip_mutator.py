"""Seeded mutants of ZIP archives for the extraction's fuzz mode. Seed archives come from
zip_archives' writer: an ordinary release, names that try to leave the target, long names, code page
936 names and "UT" fields. A mutant changes a seed's entries (names spliced with "..", separators,
colons and lead bytes; methods, flags, attributes, extra fields, lying sizes and CRC-32s) and then
its bytes (flips, truncations, insertions, length, size and offset fields). The same seed and index
always give the same mutant."""
import dataclasses
import random
import struct

from zip_archives import DOS_DIRECTORY, STORED, UNIX_DIRECTORY, Entry, build, file_entry, ut_record

ESCAPING_NAMES = [b"../x", b"..\\x", b"\\x", b"C:\\x", b"sub/../../x", b".. /x", b"/x", b"C:x", b"x:stream",
                  b"../Pelmora.exe", b"..\\key", b"a/\x81\\../../x"]
NAME_PIECES = [b"..", b"\\", b"/", b":", b"\x81", b"\x81\\", b"\x81/", b". ", b"../", b"..\\", b"C:", b"\\\\",
               b"\xfe", b"."]


def seeds():
    """The seed archives' entries, by label."""
    release = [
        file_entry("Pelmora.exe", method=STORED),
        Entry(b"Pelmora.exe.dll", b"MZ" + bytes(range(256)) * 40),
        file_entry("key"),
        Entry(b"docs/", external=DOS_DIRECTORY, method=STORED),
        file_entry("docs/readme.txt"),
        Entry(b"empty/", external=UNIX_DIRECTORY, method=STORED),
        file_entry("a/b/c.txt"),
    ]
    found = {"release": release}
    for number, name in enumerate(ESCAPING_NAMES):
        found[f"escaping-{number}"] = [file_entry("before.txt"), Entry(name, b"escaped\n"), file_entry("after.txt")]
    found["long-names"] = [Entry(b"d" * 100 + b"/" + b"f" * 151, b"fits\n"), Entry(b"n" * 252, b"fits\n"),
                           Entry(b"n" * 253, b"too long\n"), Entry(b"d" * 100 + b"/" + b"m" * 199, b"long\n")]
    found["code-page-936"] = [Entry("乗客/数据.txt".encode("gbk"), "数据".encode("gbk")),
                              Entry("文件夹/".encode("gbk"), external=DOS_DIRECTORY, method=STORED),
                              Entry(b"\x81\\../x.txt", b"one name\n"), Entry(b"t/\x81\\..", b"one name\n")]
    found["times"] = [file_entry("ut.txt", local_extra=ut_record(7, 1600000000, 1500000000, 1400000000)),
                      file_entry("ut-short.txt", local_extra=ut_record(7, 1600000000, declared_size=5)),
                      file_entry("other-then-ut.txt", local_extra=struct.pack("<HH", 0x000A, 4) + b"\0" * 4
                                 + ut_record(1, -1))]
    return found


def _some_entry(entries, rng):
    return rng.choice(entries) if entries else None


def _splice_name(entries, rng):
    entry = _some_entry(entries, rng)
    if entry:
        at = rng.randint(0, len(entry.name))
        entry.name = entry.name[:at] + rng.choice(NAME_PIECES) + entry.name[at:]


def _replace_name(entries, rng):
    entry = _some_entry(entries, rng)
    if entry:
        entry.name = rng.choice(ESCAPING_NAMES + [b"Pelmora.exe", b"n" * rng.randint(240, 300)])


def _cut_name(entries, rng):
    entry = _some_entry(entries, rng)
    if entry and entry.name:
        start = rng.randrange(len(entry.name))
        entry.name = entry.name[:start] + entry.name[start + rng.randint(1, 4):]


def _change_method(entries, rng):
    entry = _some_entry(entries, rng)
    if entry:
        entry.method = rng.choice([0, 8, 12, 99])


def _toggle_flag(entries, rng):
    entry = _some_entry(entries, rng)
    if entry:
        entry.flags ^= rng.choice([0x0001, 0x0008, 0x0800])


def _change_attributes(entries, rng):
    entry = _some_entry(entries, rng)
    if entry:
        entry.external = rng.choice([0, 0x01, 0x02, 0x04, DOS_DIRECTORY, UNIX_DIRECTORY, rng.getrandbits(32)])


def _change_extra_field(entries, rng):
    entry = _some_entry(entries, rng)
    if entry:
        times = [rng.randint(-2**31, 2**31 - 1) for _ in range(rng.randint(0, 3))]
        record = ut_record(rng.getrandbits(8), *times, declared_size=rng.choice([None, rng.randint(0, 20)]))
        entry.local_extra = rng.choice([record, record + rng.randbytes(rng.randint(1, 6)),
                                        rng.randbytes(rng.randint(1, 12))])


def _lie_about_data(entries, rng):
    entry = _some_entry(entries, rng)
    if entry:
        field = rng.choice(["crc", "size", "local_crc"])
        setattr(entry, field, rng.choice([0, 1, 0xFFFFFFFF, rng.getrandbits(32)]))


def _reorder_entries(entries, rng):
    if entries:
        action = rng.choice(["duplicate", "drop", "shuffle"])
        if action == "duplicate":
            entries.insert(rng.randint(0, len(entries)), dataclasses.replace(rng.choice(entries)))
        elif action == "drop":
            entries.pop(rng.randrange(len(entries)))
        else:
            rng.shuffle(entries)


ENTRY_MUTATIONS = [_splice_name, _splice_name, _replace_name, _cut_name, _change_method, _toggle_flag,
                   _change_attributes, _change_extra_field, _lie_about_data, _reorder_entries]


def header_fields(archive):
    """(offset, width) of the flag, method, CRC-32, size, length, count and offset fields of the
    end record, the central records and the local headers they point at, as far as they can be
    found."""
    fields = []
    end = archive.rfind(b"PK\x05\x06")
    if end < 0 or end + 22 > len(archive):
        return fields
    fields += [(end + 8, 2), (end + 10, 2), (end + 12, 4), (end + 16, 4), (end + 20, 2)]
    record = struct.unpack_from("<I", archive, end + 16)[0]
    while record + 46 <= len(archive) and archive[record:record + 4] == b"PK\x01\x02":
        fields += [(record + 8, 2), (record + 10, 2), (record + 16, 4), (record + 20, 4), (record + 24, 4),
                   (record + 28, 2), (record + 30, 2), (record + 32, 2), (record + 38, 4), (record + 42, 4)]
        local = struct.unpack_from("<I", archive, record + 42)[0]
        if local + 30 <= len(archive):
            fields += [(local + 6, 2), (local + 8, 2), (local + 14, 4), (local + 18, 4), (local + 22, 4),
                       (local + 26, 2), (local + 28, 2)]
        name, extra, comment = struct.unpack_from("<HHH", archive, record + 28)
        record += 46 + name + extra + comment
    return fields


def _edit_field(archive, rng):
    fields = header_fields(archive)
    if fields:
        offset, width = rng.choice(fields)
        old = int.from_bytes(archive[offset:offset + width], "little")
        new = rng.choice([0, 1, 2 ** (8 * width) - 1, old + 1, old - 1, old + rng.randint(-64, 64), len(archive),
                          rng.getrandbits(8 * width)])
        archive[offset:offset + width] = (new % 2 ** (8 * width)).to_bytes(width, "little")


def _flip_bytes(archive, rng):
    for _ in range(rng.randint(1, 8)):
        if archive:
            at = rng.randrange(len(archive))
            archive[at] = rng.getrandbits(8) if rng.random() < 0.3 else archive[at] ^ (1 << rng.randrange(8))


def _truncate(archive, rng):
    if archive:
        del archive[rng.randrange(len(archive)):]


def _insert_or_delete(archive, rng):
    at = rng.randint(0, len(archive))
    if rng.random() < 0.5:
        archive[at:at] = rng.randbytes(rng.randint(1, 16))
    else:
        del archive[at:at + rng.randint(1, 16)]


BYTE_MUTATIONS = [_edit_field, _edit_field, _flip_bytes, _truncate, _insert_or_delete]


def mutant(seed, index, seed_archives):
    """(seed label, names of the mutations, archive bytes) of mutant `index` of the seed."""
    rng = random.Random(f"{seed}/{index}")
    label = rng.choice(sorted(seed_archives))
    entries = [dataclasses.replace(entry) for entry in seed_archives[label]]
    applied = []
    for mutation in rng.sample(ENTRY_MUTATIONS, rng.randint(0, 3)):
        mutation(entries, rng)
        applied.append(mutation.__name__.lstrip("_"))
    archive = bytearray(build(entries))
    # About a third keep intact headers, so that their names reach the path building.
    if rng.random() < 0.65:
        for mutation in rng.choices(BYTE_MUTATIONS, k=rng.randint(1, 3)):
            mutation(archive, rng)
            applied.append(mutation.__name__.lstrip("_"))
    return label, applied, bytes(archive)
