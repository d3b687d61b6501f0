"""The resources of the built programs, read from the files without running them: the manifest
that keeps Windows from taking the updater for an installer, the updater's version resource from
the project's version, and its signature, present exactly when the build signs it."""
import argparse
import sys
import unittest
import xml.etree.ElementTree as ElementTree
from pathlib import Path

import pefile

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
from signing import Verdict  # noqa: E402

OPTIONS = None
RT_MANIFEST = 24
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
WINDOWS_7_TO_11 = {
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # Windows 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # Windows 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # Windows 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # Windows 10 and 11
}


def resources_of_type(program, type_id):
    """{resource id: bytes} of one resource type."""
    found = {}
    if not hasattr(program, "DIRECTORY_ENTRY_RESOURCE"):
        return found
    for kind in program.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id != type_id:
            continue
        for resource in kind.directory.entries:
            for language in resource.directory.entries:
                data = language.data.struct
                found[resource.id] = program.get_data(data.OffsetToData, data.Size)
    return found


def manifest_of(path):
    manifests = resources_of_type(pefile.PE(path), RT_MANIFEST)
    if list(manifests) != [1]:
        raise AssertionError(f"{path}: manifests {list(manifests)}, not the one with id 1 that the loader reads")
    return ElementTree.fromstring(manifests[1])


class Manifest(unittest.TestCase):
    def programs(self):
        return {"updater": OPTIONS.updater, "test application": OPTIONS.application}

    def test_runs_as_its_invoker_without_ui_access(self):
        for role, path in self.programs().items():
            with self.subTest(role):
                levels = manifest_of(path).findall(f".//{ASM_V3}requestedExecutionLevel")
                self.assertEqual([level.attrib for level in levels], [{"level": "asInvoker", "uiAccess": "false"}])

    def test_supports_windows_7_to_11(self):
        for role, path in self.programs().items():
            with self.subTest(role):
                systems = manifest_of(path).findall(f".//{COMPATIBILITY}supportedOS")
                self.assertEqual({system.get("Id") for system in systems}, WINDOWS_7_TO_11)

    def test_uses_common_controls_6(self):
        for role, path in self.programs().items():
            with self.subTest(role):
                identities = manifest_of(path).findall(
                    f"{ASM_V1}dependency/{ASM_V1}dependentAssembly/{ASM_V1}assemblyIdentity")
                self.assertIn({"type": "win32", "name": "Microsoft.Windows.Common-Controls", "version": "6.0.0.0",
                               "processorArchitecture": "*", "publicKeyToken": "6595b64144ccf1df", "language": "*"},
                              [identity.attrib for identity in identities])

    def test_leaves_the_ansi_code_page_to_the_system(self):
        for role, path in self.programs().items():
            with self.subTest(role):
                names = [element.tag.rsplit("}", 1)[-1] for element in manifest_of(path).iter()]
                self.assertNotIn("activeCodePage", names)


class VersionResource(unittest.TestCase):
    def setUp(self):
        self.program = pefile.PE(OPTIONS.updater)
        self.assertTrue(hasattr(self.program, "VS_FIXEDFILEINFO"), "no version resource")
        self.strings = {}
        for info in getattr(self.program, "FileInfo", [[]])[0]:
            for table in getattr(info, "StringTable", []):
                self.strings.update({key.decode(): value.decode() for key, value in table.entries.items()})

    def test_numbers_are_the_projects_version(self):
        major, minor, patch = map(int, OPTIONS.version.split("."))
        fixed = self.program.VS_FIXEDFILEINFO[0]
        expected = (major << 16 | minor, patch << 16)
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS), expected)
        self.assertEqual((fixed.ProductVersionMS, fixed.ProductVersionLS), expected)

    def test_strings_name_the_product_its_version_and_copyright(self):
        self.assertEqual(self.strings.get("FileVersion"), OPTIONS.version)
        self.assertEqual(self.strings.get("ProductVersion"), OPTIONS.version)
        self.assertEqual(self.strings.get("ProductName"), "Pelmora")
        self.assertEqual(self.strings.get("FileDescription"), "Pelmora updater")
        self.assertEqual(self.strings.get("OriginalFilename"), "PelmoraUpdate.exe")
        self.assertIn("Pelmora", self.strings.get("LegalCopyright", ""))


class Signature(unittest.TestCase):
    def test_is_present_exactly_when_the_build_signs(self):
        verdict = Verdict(OPTIONS.updater)
        self.assertEqual(verdict.signed, OPTIONS.signed, verdict.report)
        if OPTIONS.signed:
            self.assertTrue(verdict.digest_matches, verdict.report)
            self.assertEqual(verdict.digest_algorithm, "SHA256")


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--updater", required=True)
    parser.add_argument("--application", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--signed", action="store_true")
    OPTIONS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
