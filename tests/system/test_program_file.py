"""The Windows program as it ships: no debug data and no symbol table, at
most 1 MiB, and its debug data kept beside it in the build, named by the
program so that a debugger finds it."""

import struct
import unittest

import harness
from harness import is_wine

MAX_PROGRAM_BYTES = 1 << 20


def coff_symbol_count(image):
    """NumberOfSymbols of a PE image's COFF file header."""
    (pe_offset,) = struct.unpack_from("<I", image, 0x3C)
    assert image[pe_offset:pe_offset + 4] == b"PE\0\0"
    (count,) = struct.unpack_from("<I", image, pe_offset + 4 + 12)
    return count


@unittest.skipUnless(is_wine(), "the Windows program")
class ShippedProgram(unittest.TestCase):
    def test_stripped_and_within_one_mebibyte_with_its_debug_file_beside(self):
        with open(harness.Config.exe, "rb") as f:
            image = f.read()
        print(f"\n  {len(image)} bytes", end=" ")
        self.assertLessEqual(len(image), MAX_PROGRAM_BYTES)
        self.assertEqual(coff_symbol_count(image), 0)
        self.assertNotIn(b".debug_info", image)
        self.assertIn(b"Vesklar.exe.debug\0", image)  # the .gnu_debuglink section
        with open(harness.Config.exe + ".debug", "rb") as f:
            self.assertIn(b".debug_info", f.read())


if __name__ == "__main__":
    unittest.main()
