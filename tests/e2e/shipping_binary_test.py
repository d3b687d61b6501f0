"""The shipping updater is a 32-bit Windows GUI program that needs nothing beside it but the
system's own libraries."""
import argparse
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
from pe import PortableExecutable  # noqa: E402

PROGRAM = None
I386, PE32, WINDOWS_GUI = 0x14C, 0x10B, 2
# Libraries every Windows installation has; anything else would have to ship beside the updater.
SYSTEM_LIBRARIES = {"kernel32.dll", "user32.dll", "wininet.dll", "msvcrt.dll", "advapi32.dll", "gdi32.dll"}


class ShippingBinary(unittest.TestCase):
    def test_is_a_32_bit_gui_program(self):
        program = PortableExecutable(PROGRAM)
        self.assertEqual(program.machine, I386)
        self.assertEqual(program.magic, PE32)
        self.assertEqual(program.subsystem, WINDOWS_GUI)

    def test_imports_only_system_libraries(self):
        libraries = {name.lower() for name in PortableExecutable(PROGRAM).imported_libraries()}
        self.assertIn("wininet.dll", libraries)
        self.assertLessEqual(libraries, SYSTEM_LIBRARIES)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    options, rest = parser.parse_known_args()
    PROGRAM = options.program
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
