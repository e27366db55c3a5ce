#!/usr/bin/env python3
"""Checks the [out] string correction against widl's real proxy output.

Arguments: the uncorrected opcda and opccomn proxy sources from the build.
"""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import fix_widl_out_strings as fixer  # noqa: E402

SOURCES = {}


class CorrectionOfWidlOutput(unittest.TestCase):
    def corrected(self, name):
        return fixer.fix(SOURCES[name])

    def test_repoints_exactly_the_top_level_out_strings(self):
        _, fixed = self.corrected("opcda")
        # GetErrorString, GetItemID and GetState's group name; the arrays of
        # strings and the strings inside structs are described correctly.
        self.assertEqual(sorted(fixed), ["ppName", "ppString", "szItemID"])
        _, fixed = self.corrected("opccomn")
        self.assertEqual(fixed, ["ppString"])

    def test_new_offsets_land_on_the_allocated_on_stack_reference(self):
        text, _ = self.corrected("opcda")
        lines = text.split("\n")
        types = fixer.read_bytes(lines, *fixer.find_block(lines, "__MIDL_TypeFormatString"))
        for name in ("ppString", "szItemID", "ppName"):
            idx = next(i for i, l in enumerate(lines) if "(parameter %s)" % name in l)
            offset = int(lines[idx + 3].split("NdrFcShort(")[1].split(")")[0], 16)
            self.assertEqual(types[offset], fixer.FC_RP, name)
            self.assertEqual(types[offset + 1], 0x14, name)

    def test_changes_nothing_but_the_type_offset_lines(self):
        original = SOURCES["opcda"].split("\n")
        text, fixed = self.corrected("opcda")
        changed = [(a, b) for a, b in zip(original, text.split("\n")) if a != b]
        self.assertEqual(len(text.split("\n")), len(original))
        self.assertEqual(len(changed), len(fixed))
        for before, after in changed:
            self.assertIn("type offset", before)
            self.assertIn("type offset", after)

    def test_is_idempotent(self):
        text, _ = self.corrected("opcda")
        again, fixed = fixer.fix(text)
        self.assertEqual(fixed, [])
        self.assertEqual(again, text)

    def test_refuses_a_format_string_it_cannot_read(self):
        damaged = SOURCES["opcda"].replace("/* 54 (LPWSTR *) */", "/* 55 (LPWSTR *) */", 1)
        self.assertNotEqual(damaged, SOURCES["opcda"])
        with self.assertRaises(fixer.FormatError):
            fixer.fix(damaged)


if __name__ == "__main__":
    for key, path in zip(("opcda", "opccomn"), sys.argv[1:3]):
        with open(path, encoding="utf-8") as f:
            SOURCES[key] = f.read()
    unittest.main(argv=sys.argv[:1], verbosity=2)
