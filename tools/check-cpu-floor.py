#!/usr/bin/env python3
"""Refuses, without running them, programs that hold an instruction of a CPU
later than the floor. Windows 95 and 98 ran on 486 and Pentium machines,
where such an instruction stops the program as illegal.

  check-cpu-floor.py OBJDUMP FLOOR EXE...
  FLOOR i586: the Pentium without MMX; i486: the 486 as well

Every code section is disassembled (objdump -d); the pointer tables the
linker keeps in .text (constructors and destructors) are data and skipped.
Each instruction found is named with its function, so the runtime object or
source that brought it in can be found.
"""
import re
import subprocess
import sys

# P6 and later, by mnemonic (AT&T names as objdump prints them).
P6_AND_LATER = re.compile(
    r'^(cmov\w+|fcmov\w+|fcomip?|fucomip?|sysenter|sysexit|rdpmc|ud1'
    r'|fxsave|fxrstor|fxsave64|fxrstor64|ldmxcsr|stmxcsr|lfence|mfence|sfence|clflush\w*'
    r'|prefetch\w*|movnti|fisttp\w*|popcnt|lzcnt|tzcnt|movbe|crc32\w*|rdrand|rdseed'
    r'|xgetbv|xsetbv|xsave\w*|xrstor\w*|endbr32|endbr64|rdtscp|nop[wl]|syscall|sysret'
    r'|monitor|mwait|adcx|adox|andn|bextr|blsi|blsmsk|blsr|bzhi|mulx|pdep|pext|rorx|sarx|shlx|shrx)$')
# MMX, SSE and AVX work on these registers, whatever the mnemonic.
VECTOR_REGISTER = re.compile(r'%(mm\d|xmm\d+|ymm\d+|zmm\d+|k\d)\b')
# The Pentium's own additions, refused for a 486 floor.
PENTIUM = re.compile(r'^(cmpxchg8b|rdtsc|rdmsr|wrmsr|rsm|cpuid)$')
DATA_SYMBOLS = re.compile(r'^(__CTOR_LIST__|__DTOR_LIST__|\.ctors.*|\.dtors.*)$')
PREFIXES = {'lock', 'rep', 'repz', 'repe', 'repnz', 'repne', 'data16', 'data32', 'addr16', 'addr32',
            'cs', 'ds', 'es', 'fs', 'gs', 'ss', 'notrack', 'bnd'}


def refusal(instruction, floor):
    """Why the instruction is above the floor, or None."""
    words = instruction.split()
    while words and words[0] in PREFIXES:
        words = words[1:]
    if not words:
        return None
    mnemonic = words[0]
    if mnemonic in ('(bad)', '.byte'):
        return 'cannot be decoded'
    if P6_AND_LATER.match(mnemonic):
        return 'Pentium Pro or later'
    if VECTOR_REGISTER.search(instruction):
        return 'MMX or SSE'
    if floor == 'i486' and PENTIUM.match(mnemonic):
        return 'Pentium'
    return None


def check(objdump, floor, exe):
    run = subprocess.run([objdump, '-d', '--no-show-raw-insn', exe], capture_output=True, text=True)
    if run.returncode != 0 or 'file format pei-i386' not in run.stdout:
        print(f'FAIL: {exe}: not a 32-bit Windows program objdump can read')
        return None, 0
    found = []
    symbol = None
    count = 0
    for line in run.stdout.splitlines():
        m = re.match(r'^[0-9a-f]+ <(.*)>:$', line)
        if m:
            symbol = m.group(1)
            continue
        m = re.match(r'^\s*([0-9a-f]+):\t(.*)$', line)
        if not m or (symbol and DATA_SYMBOLS.match(symbol)):
            continue
        instruction = m.group(2).split('#')[0].strip()
        count += 1
        why = refusal(instruction, floor)
        if why:
            found.append((m.group(1), symbol, instruction, why))
    return found, count


def main(argv):
    if len(argv) < 4 or argv[2] not in ('i486', 'i586'):
        print(__doc__, file=sys.stderr)
        return 2
    objdump, floor, exes = argv[1], argv[2], argv[3:]
    status = 0
    for exe in exes:
        found, count = check(objdump, floor, exe)
        if found is None:
            status = 1
            continue
        if count == 0:
            print(f'FAIL: {exe}: no instructions read')
            status = 1
            continue
        for address, symbol, instruction, why in found[:50]:
            print(f'FAIL: {exe}: {address} in {symbol}: {instruction} ({why})')
        if found:
            print(f'FAIL: {exe}: {len(found)} instructions above the {floor} floor')
            status = 1
        else:
            print(f'{exe}: {count} instructions, none above the {floor} floor')
    return status


if __name__ == '__main__':
    sys.exit(main(sys.argv))
