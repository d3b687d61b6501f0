"""Release archives for the bench: deterministic (seeded by their size), 2,000 files of compressible
text and incompressible bytes, a quarter of them in subfolders, and a top-level "Pelmora.exe".
Each is built once and kept with a manifest of what it holds."""
import json
import random
import zipfile
from pathlib import Path

FILE_COUNT = 2000
# Share of the files that lie in subfolders: the update installs only the top-level ones.
SUBFOLDER_SHARE = 0.25
SUBFOLDERS = ("data", "data/textures", "docs", "docs/zh", "plugins/pelmora-sync")
# The chance that a file is random bytes; the others are text, which deflates to about a third.
RANDOM_SHARE = 0.6
# What deflate leaves of the content, so that the archive comes out at about the size asked for.
EXPECTED_ARCHIVE_SHARE = RANDOM_SHARE + (1 - RANDOM_SHARE) * 0.3
APPLICATION = "Pelmora.exe"
# A fixed time, so that the same size always gives the same archive.
RELEASE_TIME = (2026, 12, 1, 12, 0, 0)
MB = 1000 * 1000


def text_pool(rng, size):
    """Lines of words drawn from a small vocabulary: text that deflate shrinks well."""
    vocabulary = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
                  for _ in range(800)]
    lines = []
    length = 0
    while length < size:
        line = " ".join(rng.choice(vocabulary) for _ in range(rng.randint(4, 14))) + "\r\n"
        lines.append(line)
        length += len(line)
    return "".join(lines).encode("ascii")[:size]


def text_of(pool, start, size):
    """size bytes of the pool from start on, going round it as often as needed."""
    data = bytearray()
    while len(data) < size:
        data += pool[start:start + size - len(data)]
        start = 0
    return bytes(data)


def file_sizes(rng, total):
    """Sizes spread from a few hundred bytes to megabytes, adding up to total."""
    weights = [10 ** rng.uniform(0, 3.5) for _ in range(FILE_COUNT)]
    scale = total / sum(weights)
    sizes = [max(1, int(weight * scale)) for weight in weights]
    sizes[0] += total - sum(sizes)
    return sizes


def entry_names(rng):
    names = [APPLICATION]
    for index in range(1, FILE_COUNT):
        name = f"file{index:04d}.{rng.choice(('dat', 'txt', 'dll', 'pak', 'cfg'))}"
        if rng.random() < SUBFOLDER_SHARE:
            name = f"{rng.choice(SUBFOLDERS)}/{name}"
        names.append(name)
    return names


def build(path, megabytes):
    rng = random.Random(megabytes)
    content = int(megabytes * MB / EXPECTED_ARCHIVE_SHARE)
    pool = text_pool(rng, 4 * MB)
    names = entry_names(rng)
    top_level = {}
    path.parent.mkdir(parents=True, exist_ok=True)
    partial = path.with_suffix(".partial")
    with zipfile.ZipFile(partial, "w", compression=zipfile.ZIP_DEFLATED) as release:
        for name, size in zip(names, file_sizes(rng, content)):
            if name != APPLICATION and rng.random() >= RANDOM_SHARE:
                data = text_of(pool, rng.randrange(len(pool)), size)
            else:
                # Not a program: the updater's final start of it fails at once, so nothing keeps
                # running after a measured run.
                data = rng.randbytes(size)
            entry = zipfile.ZipInfo(name, date_time=RELEASE_TIME)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.external_attr = 0o644 << 16
            release.writestr(entry, data)
            if "/" not in name:
                top_level[name] = size
    partial.replace(path)
    return {"megabytes": megabytes, "archive_bytes": path.stat().st_size, "files": FILE_COUNT,
            "content_bytes": content, "top_level": top_level}


def release(folder, megabytes):
    """The archive of about that many megabytes under folder, built if missing, and its manifest."""
    archive = folder / "update" / "pelmoraDesk" / "latest.zip"
    manifest_path = folder / "manifest.json"
    if archive.exists() and manifest_path.exists():
        return archive, json.loads(manifest_path.read_text())
    manifest = build(archive, megabytes)
    manifest_path.write_text(json.dumps(manifest))
    return archive, manifest
