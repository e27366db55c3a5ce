#!/usr/bin/env python3
"""Corrects widl's -Oicf description of top-level [out] string parameters.

widl (7.0 and 8.0) gives a parameter such as `[out, string] LPWSTR *ppString`
the type offset of the inner string pointer instead of the
`FC_RP [allocated_on_stack] [pointer_deref]` entry that it emits four bytes
earlier.  The NDR engine then unmarshals one pointer level too deep and the
caller receives S_OK with a NULL string.  An [out] parameter is always a
reference pointer at the top level, so a parameter whose type offset lands on
a unique/full/object pointer that is directly preceded by such an FC_RP entry
pointing at it is re-pointed at that entry.

Usage: fix_widl_out_strings.py IN_P_C OUT_P_C
The script checks its own reading of the format strings against widl's offset
comments and fails rather than write a file it does not fully understand.
"""
import re
import sys

FC_RP, FC_UP, FC_OP, FC_FP = 0x11, 0x12, 0x13, 0x14
RP_ALLOCATED_ON_STACK, RP_POINTER_DEREF = 0x04, 0x10
PARAM_OUT, PARAM_BASETYPE = 0x0010, 0x0040

TOKEN = re.compile(r"NdrFcLong\((0x[0-9a-fA-F]+|\d+)\)|NdrFcShort\((0x[0-9a-fA-F]+|\d+)\)|(0x[0-9a-fA-F]+|\b\d+\b)")
OFFSET_COMMENT = re.compile(r"^/\*\s*(\d+)\b")


class FormatError(Exception):
    pass


def find_block(lines, name):
    """Returns (first, last) line indices of the byte list of the named format string."""
    start = next((i for i, l in enumerate(lines) if re.search(r"\b%s\s*=" % name, l)), None)
    if start is None:
        raise FormatError("no %s in the file" % name)
    # "{", "0,", "{" then the bytes up to the closing "}" of the inner list.
    i = start
    while lines[i].strip() != "0,":
        i += 1
    first = i + 2
    last = first
    while lines[last].strip() != "}":
        last += 1
    return first, last


def read_bytes(lines, first, last):
    """Tokenises a format string, verifying widl's '/* N' offset comments."""
    data = bytearray()
    for l in lines[first:last]:
        stripped = l.strip()
        m = OFFSET_COMMENT.match(stripped)
        if m and int(m.group(1)) != len(data):
            raise FormatError("offset comment %s found at byte %d" % (m.group(1), len(data)))
        code = l.split("/*")[0]
        for long_, short, byte in TOKEN.findall(code):
            if long_:
                data += int(long_, 0).to_bytes(4, "little")
            elif short:
                data += int(short, 0).to_bytes(2, "little")
            else:
                data.append(int(byte, 0))
    return data


PARAM_LINES = re.compile(
    r"^/\* (\d+) \(parameter (\w+)\) \*/\n"
    r"(\s*NdrFcShort\((0x[0-9a-f]+)\),[^\n]*\n)"
    r"(\s*NdrFcShort\((0x[0-9a-f]+)\),[^\n]*\n)"
    r"(\s*)NdrFcShort\((0x[0-9a-f]+)\),(\s*)/\* type offset = (\d+) \*/",
    re.MULTILINE)


def fix(text):
    lines = text.split("\n")
    tfirst, tlast = find_block(lines, "__MIDL_TypeFormatString")
    types = read_bytes(lines, tfirst, tlast)
    pfirst, plast = find_block(lines, "__MIDL_ProcFormatString")
    read_bytes(lines, pfirst, plast)  # only to prove the layout is understood

    fixed = []

    def repoint(m):
        flags = int(m.group(4), 16)
        offset = int(m.group(8), 16)
        if offset != int(m.group(10)):
            raise FormatError("type offset comment disagrees for %s" % m.group(2))
        if not (flags & PARAM_OUT) or (flags & PARAM_BASETYPE) or offset < 4:
            return m.group(0)
        if types[offset] not in (FC_UP, FC_OP, FC_FP):
            return m.group(0)
        rp = offset - 4
        wanted_flags = RP_ALLOCATED_ON_STACK | RP_POINTER_DEREF
        rel = int.from_bytes(types[rp + 2:rp + 4], "little", signed=True)
        if types[rp] != FC_RP or (types[rp + 1] & wanted_flags) != wanted_flags or rp + 2 + rel != offset:
            return m.group(0)
        fixed.append(m.group(2))
        return "/* %s (parameter %s) */\n%s%s%sNdrFcShort(0x%x),%s/* type offset = %d */" % (
            m.group(1), m.group(2), m.group(3), m.group(5), m.group(7), rp, m.group(9), rp)

    out = PARAM_LINES.sub(repoint, text)
    return out, fixed


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    with open(argv[1], encoding="utf-8") as f:
        text = f.read()
    try:
        out, fixed = fix(text)
    except FormatError as e:
        sys.stderr.write("%s: %s\n" % (argv[1], e))
        return 1
    with open(argv[2], "w", encoding="utf-8") as f:
        f.write(out)
    sys.stdout.write("%s: re-pointed %d [out] string parameter(s)%s\n" % (
        argv[2], len(fixed), (": " + ", ".join(fixed)) if fixed else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
