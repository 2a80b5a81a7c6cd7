#!/usr/bin/env python3
"""Checks, without running them, that the shipped programs import only
functions the oldest supported Windows exports. Windows refuses to start a
program with an import its DLLs lack, and Wine cannot show it: its DLLs export
everything whatever version they report.

  check-imports.py OBJDUMP TABLE WIDTH EXE...
  WIDTH 32: floor Windows 95 and NT 4.0; WIDTH 64: floor NT 5.2 (XP x64)

TABLE: one import a line, "DLL function 9x NT" ('#' starts a comment):
9x is the first of 95, 98, ME that exports it, or '-'; NT the first NT
version (3.1, 3.5, 3.51, 4.0, 5.0, 5.1, 5.2, 6.0, ...), or '-'. An import
missing from the table fails too, so a new dependency is a decision.
"""
import re
import subprocess
import sys

NINE_X = {'95': 1, '98': 2, 'ME': 3}


def nt_version(text):
    if text == '-':
        return None
    major, _, minor = text.partition('.')
    return (int(major), int(minor or 0))


def read_table(path):
    table = {}
    with open(path, encoding='utf-8') as f:
        for number, line in enumerate(f, 1):
            line = line.split('#', 1)[0].split()
            if not line:
                continue
            if len(line) != 4 or (line[2] != '-' and line[2] not in NINE_X):
                raise SystemExit(f'{path}:{number}: expected "DLL function 9x NT"')
            dll, function, nine, nt = line
            table[(dll.lower(), function)] = (nine, nt_version(nt))
    return table


def read_imports(objdump, exe):
    """[(dll, function)], ordinal imports as '#N'; None when unreadable."""
    run = subprocess.run([objdump, '-p', exe], capture_output=True, text=True)
    if run.returncode != 0:
        return None
    imports = []
    dll = None
    for line in run.stdout.splitlines():
        m = re.match(r'\s*DLL Name: (\S+)', line)
        if m:
            dll = m.group(1).lower()
            continue
        if dll is None:
            continue
        if not line.strip():
            continue
        if line.lstrip().startswith('vma:'):
            continue
        # "	0001a2b4	  123  GetTickCount" or an ordinal "<none>" entry
        m = re.match(r'\s*[0-9a-fA-F]+\s+(\d+)\s+(\S+)\s*$', line)
        if m:
            name = m.group(2)
            imports.append((dll, '#' + m.group(1) if name == '<none>' else name))
            continue
        # Anything else ends this DLL's list (the next section of the dump).
        dll = None
    return imports


def main(argv):
    if len(argv) < 5 or argv[3] not in ('32', '64'):
        print(__doc__, file=sys.stderr)
        return 2
    objdump, table_path, width, exes = argv[1], argv[2], argv[3], argv[4:]
    table = read_table(table_path)
    if width == '32':
        floor_text = 'Windows 95 and NT 4.0'
        def too_new(nine, nt):
            return nine == '-' or NINE_X[nine] > NINE_X['95'] or nt is None or nt > (4, 0)
    else:
        floor_text = 'NT 5.2 (XP x64)'
        def too_new(nine, nt):
            return nt is None or nt > (5, 2)

    status = 0
    for exe in exes:
        imports = read_imports(objdump, exe)
        if not imports:
            print(f'FAIL: {exe}: no import table read')
            status = 1
            continue
        failed = 0
        for dll, function in imports:
            entry = table.get((dll, function))
            if entry is None:
                print(f'FAIL: {exe}: {dll} {function} is not in the table')
                failed += 1
            elif too_new(*entry):
                nine, nt = entry
                nt_text = '-' if nt is None else f'{nt[0]}.{nt[1]}'
                print(f'FAIL: {exe}: {dll} {function} (9x {nine}, NT {nt_text}) is newer than the floor, {floor_text}')
                failed += 1
        if failed:
            status = 1
        else:
            print(f'{exe}: {len(imports)} imports, all within {floor_text}')
    return status


if __name__ == '__main__':
    sys.exit(main(sys.argv))
