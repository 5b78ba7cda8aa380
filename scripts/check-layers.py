#!/usr/bin/env python3
"""Checks every include of the tree against the allowed arrows.

The arrows are written once, in the README's table under "Which part may
include which": each row names a part, the folders and files it holds and the
parts it may include. A source belongs to the part whose folder or file is
the longest start of its path. An include of one of our own files must land
in the same part or in one the row allows; a library header that a row claims
(such as <assimp/...>) may be included only by the parts that list it. No
folder of the import may hold more than twelve units.

    scripts/check-layers.py [SOURCE_DIR]

Prints each include that runs against the arrows and exits 1 when there is
one, 2 when the table cannot be read.
"""

import os
import re
import subprocess
import sys

HEADING = '### Which part may include which'
SOURCE_ENDINGS = ('.cpp', '.h', '.hpp', '.c')
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]', re.MULTILINE)
# Where an include in quotes is looked for, besides the including file's own
# folder: the source root and the Win32 stand-in's headers.
INCLUDE_DIRS = ('', 'platform/include')
# No folder of the import holds more units (a source with its header) than
# one reads through in a sitting.
IMPORT = 'hostapp/import/'
MOST_UNITS = 12


class TableError(Exception):
    pass


def cells(line):
    return [cell.strip() for cell in line.strip().strip('|').split('|')]


def names(cell):
    """The names in backticks of a table cell."""
    return re.findall(r'`([^`]+)`', cell)


def read_table(readme):
    """The parts: {name: (paths, allowed parts, allowed library headers)}."""
    with open(readme, encoding='utf-8') as f:
        lines = f.read().splitlines()
    try:
        start = lines.index(HEADING)
    except ValueError:
        raise TableError(f'{readme} has no heading "{HEADING}"') from None
    rows = []
    for line in lines[start + 1:]:
        if line.startswith('#'):
            break
        if line.startswith('|'):
            rows.append(cells(line))
    if len(rows) < 3:
        raise TableError(f'no table under "{HEADING}" in {readme}')
    parts = {}
    for row in rows[2:]:
        if len(row) != 3:
            raise TableError('a row of three cells, not: ' + ' | '.join(row))
        part = names(row[0])
        if len(part) != 1:
            raise TableError(f'a row names one part: {row[0]}')
        allowed = names(row[2])
        libraries = [n[1:-1] for n in allowed if n.startswith('<')]
        ours = [n for n in allowed if not n.startswith('<')]
        parts[part[0]] = (names(row[1]), ours, libraries)
    for part, (_, allowed, _) in parts.items():
        for other in allowed:
            if other != '*' and other not in parts:
                raise TableError(
                    f'{part} may include {other}, which no row names')
    return parts


def tracked_sources(root):
    command = ['git', '-C', root, 'ls-files', '--cached', '--others',
               '--exclude-standard']
    try:
        listed = subprocess.run(command, check=True, capture_output=True,
                                text=True).stdout.split('\n')
    except (OSError, subprocess.CalledProcessError):
        listed = [os.path.relpath(os.path.join(folder, name), root)
                  for folder, _, files in os.walk(root) for name in files]
    return sorted(p for p in listed if p.endswith(SOURCE_ENDINGS)
                  and os.path.isfile(os.path.join(root, p)))


def part_of(path, parts):
    best, length = None, -1
    for part, (paths, _, _) in parts.items():
        for start in paths:
            fits = path == start or (start.endswith('/')
                                     and path.startswith(start))
            if fits and len(start) > length:
                best, length = part, len(start)
    return best


def resolve(root, source, included):
    """The tree's path of an include in quotes, or None when it is not ours."""
    for folder in (os.path.dirname(source),) + INCLUDE_DIRS:
        candidate = os.path.normpath(os.path.join(folder, included))
        if os.path.isfile(os.path.join(root, candidate)):
            return candidate
    return None


def problems(root, parts):
    claimed = {lib for _, _, libs in parts.values() for lib in libs}
    found = []
    for source in tracked_sources(root):
        part = part_of(source, parts)
        if part is None:
            found.append(f'{source}: belongs to no part of the table')
            continue
        _, allowed, libraries = parts[part]
        with open(os.path.join(root, source), encoding='utf-8',
                  errors='replace') as f:
            text = f.read()
        # Text in raw strings (a test's scene files) is no include.
        text = re.sub(r'R"([^(]*)\((.|\n)*?\)\1"', '', text)
        for match in INCLUDE.finditer(text):
            kind, included = match.groups()
            line = text.count('\n', 0, match.start()) + 1
            where = f'{source}:{line}'
            library = next((lib for lib in claimed
                            if included.startswith(lib)), None)
            if kind == '<' or library:
                if library and library not in libraries \
                        and '*' not in allowed:
                    owners = [p for p, v in parts.items() if library in v[2]]
                    found.append(f'{where}: {part} includes <{included}>, '
                                 f'which only {", ".join(owners)} may include')
                continue
            target = resolve(root, source, included)
            if target is None:
                continue
            other = part_of(target, parts)
            if other is None:
                found.append(f'{where}: {included} belongs to no part '
                             'of the table')
            elif other != part and other not in allowed \
                    and '*' not in allowed:
                may = ', '.join(allowed) or 'nothing of ours'
                found.append(f'{where}: {part} includes {included} of '
                             f'{other}; {part} may include {may}')
    return found


def crowded_folders(sources):
    units = {}
    for source in sources:
        if source.startswith(IMPORT):
            folder, name = os.path.split(source)
            units.setdefault(folder, set()).add(os.path.splitext(name)[0])
    return [f'{folder}/: {len(names)} units, more than {MOST_UNITS}'
            for folder, names in sorted(units.items())
            if len(names) > MOST_UNITS]


def main(argv):
    root = argv[1] if len(argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), '..')
    try:
        parts = read_table(os.path.join(root, 'README.md'))
    except (OSError, TableError) as error:
        print(f'check-layers: {error}')
        return 2
    found = problems(root, parts) + crowded_folders(tracked_sources(root))
    for problem in found:
        print(problem)
    if found:
        print(f'check-layers: {len(found)} problems with the arrows of '
              'README.md')
        return 1
    print(f'check-layers: every include of {len(tracked_sources(root))} '
          f'sources keeps to the arrows of {len(parts)} parts')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
