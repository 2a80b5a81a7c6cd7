#!/usr/bin/env python3
"""Rewrites the few instructions above the Pentium in MinGW-w64 start-up
objects that every program links, and which Debian builds for the Pentium
Pro. Each rewrite is an equivalent branch over the same bytes, made only
where the object holds exactly the bytes expected (no relocation inside and
no jump into the middle); anything else stops the build, so a changed
runtime is looked at again rather than linked unchecked.

  rewrite_objects.py CRT2_O LIBMINGW32_A OUTDIR
Writes OUTDIR/crt2.o, OUTDIR/pesect.o and OUTDIR/pseudo-reloc.o.
"""
import os
import struct
import subprocess
import sys
import tempfile

# (object, .text offset, bytes found, bytes written)
REWRITES = {
    # Command-line quote toggling in the start-up code:
    #   mov %ecx,%ebx; xor $1,%ebx; cmp $'"',%dl; cmove %ebx,%ecx; jmp loop
    # becomes cmp $'"',%dl; jne loop; xor $1,%ecx; jmp loop (ebx is dead:
    # reloaded after the loop).
    'crt2.o': [(0x289, '89cb 83f301 80fa22 0f44cb ebe8',
                       '80fa22 75f0 83f101 ebeb 909090')],
    # __GetPEImageBase: cmove %edx,%eax; ret becomes jne ret; mov %edx,%eax;
    # ret, spilling one byte into the alignment padding behind the ret.
    'pesect.o': [(0x27e, '0f44c2 c3 8d', '7502 89d0 c3')],
    # _mark_section_writable: the protection for VirtualProtect,
    # eax == 2 ? PAGE_READWRITE : PAGE_EXECUTE_READWRITE, with a branch;
    # edx, the cmove's source only, is overwritten right after.
    'pseudo-reloc.o': [(0x120, '83f802 ba04000000 b840000000 8b4c2420 0f44c2',
                              '8b4c2420 83f802 b840000000 7505 b804000000 90')],
}
MEMBERS = {'pesect.o': 'lib32_libmingw32_a-pesect.o', 'pseudo-reloc.o': 'lib32_libmingw32_a-pseudo-reloc.o'}


def text_section(data):
    """(raw offset, raw size, [relocation offsets]) of the one .text section."""
    machine, count = struct.unpack_from('<HH', data, 0)
    if machine != 0x14c:
        raise SystemExit('not an i386 COFF object')
    opt = struct.unpack_from('<H', data, 16)[0]
    found = None
    for i in range(count):
        h = 20 + opt + 40 * i
        name = data[h:h + 8].rstrip(b'\0')
        size, ptr, relptr = struct.unpack_from('<III', data, h + 16)
        nrel = struct.unpack_from('<H', data, h + 32)[0]
        if name == b'.text':
            if found:
                raise SystemExit('more than one .text section')
            relocs = [struct.unpack_from('<I', data, relptr + 10 * r)[0] for r in range(nrel)]
            found = (ptr, size, relocs)
    if not found:
        raise SystemExit('no .text section')
    return found


def rewrite(data, name):
    data = bytearray(data)
    ptr, size, relocs = text_section(bytes(data))
    for offset, old, new in REWRITES[name]:
        old, new = bytes.fromhex(old.replace(' ', '')), bytes.fromhex(new.replace(' ', ''))
        if len(old) != len(new):
            raise SystemExit(f'{name}: rewrite at {offset:#x} changes the length')
        if offset + len(old) > size or data[ptr + offset:ptr + offset + len(old)] != old:
            raise SystemExit(f'{name}: the bytes at {offset:#x} are not the expected ones: '
                             'a changed runtime, rewrite it again')
        if any(r + 4 > offset and r < offset + len(old) for r in relocs):
            raise SystemExit(f'{name}: a relocation lies in the bytes at {offset:#x}')
        data[ptr + offset:ptr + offset + len(new)] = new
    return bytes(data)


def main(argv):
    if len(argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    crt2, archive, out = argv[1:]
    os.makedirs(out, exist_ok=True)
    with open(crt2, 'rb') as f:
        sources = {'crt2.o': f.read()}
    with tempfile.TemporaryDirectory() as tmp:
        for name, member in MEMBERS.items():
            subprocess.run(['ar', 'x', os.path.abspath(archive), member], cwd=tmp, check=True)
            with open(os.path.join(tmp, member), 'rb') as f:
                sources[name] = f.read()
    for name, data in sources.items():
        with open(os.path.join(out, name), 'wb') as f:
            f.write(rewrite(data, name))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
