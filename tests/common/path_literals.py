#!/usr/bin/env python3
"""Fails when a source file outside the Paths module names a location of the
system as a string literal: every such path must come from Paths.h, the one
place that maps the classic and the debian layouts.

Kernel and runtime interfaces (/proc, /sys, /dev, /run) are not locations of
a layout; they may appear, but only in the Linux files behind Platform/ (and
/dev/null anywhere). A literal appended to another path ("+ "/bin/"") is a
relative part, not an absolute path.

Usage: path_literals.py SOURCES_FOLDER"""
import pathlib
import re
import sys

SYSTEM = re.compile(r'(?<!\+ )"(/(?:Library|etc|usr|var|lib|lib64|opt|srv|home|root|bin|sbin|'
                    r'boot|mnt|media|tmp)(?:/[^"]*)?)"')
KERNEL = re.compile(r'(?<!\+ )"(/(?:proc|sys|dev|run)(?:/[^"]*)?)"')


def code_of(line):
    """The line without a // comment that starts before any string."""
    at = line.find('//')
    quote = line.find('"')
    if at >= 0 and (quote < 0 or at < quote):
        return line[:at]
    return '' if line.lstrip().startswith('*') else line


def main(root):
    root = pathlib.Path(root)
    faults = []
    for path in sorted(root.rglob('*')):
        if path.suffix not in ('.cc', '.h', '.cpp') or path.stem == 'Paths':
            continue
        platform = 'Platform' in path.parts and path.stem.endswith('Linux')
        for number, line in enumerate(path.read_text(errors='replace').splitlines(), 1):
            code = code_of(line)
            found = [m.group(1) for m in SYSTEM.finditer(code)]
            found += [m.group(1) for m in KERNEL.finditer(code)
                      if not platform and m.group(1) != '/dev/null']
            faults += [f'{path.relative_to(root)}:{number}: "{p}"' for p in found]
    for fault in faults:
        print(fault)
    if faults:
        print(f'{len(faults)} absolute path(s) outside the Paths module; add them to Paths.h')
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1]))
