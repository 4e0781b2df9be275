#!/usr/bin/env python3
"""Checks that dependencies between the library folders point one way.

docs/ARCHITECTURE.md lists, for each library folder, the folders it depends
on. A folder may include headers of its own, and of the folders it depends on
directly or through others; it may link only those folders' libraries. The
check fails, naming file and line, for every include or link outside that,
and when the listed dependencies form a cycle.
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
TABLE_ROW = re.compile(r"^\|\s*`(\w+)/`\s*\|([^|]*)\|")
INCLUDE = re.compile(r'^\s*#\s*include\s*[<"]([^>"]+)[>"]')
LINKED_LIBRARY = re.compile(r"\bvx_(\w+)\b")


def read_dependencies():
    """{folder: set of folders it depends on directly}, from the doc's table."""
    depends = {}
    for line in (ROOT / "docs/ARCHITECTURE.md").read_text(encoding="utf-8").splitlines():
        row = TABLE_ROW.match(line)
        if row:
            depends[row.group(1)] = set(re.findall(r"`(\w+)/`", row.group(2)))
    return depends


def reachable(depends, folder, seen=()):
    """The folders `folder` depends on, directly or not; None on a cycle."""
    found = set()
    for lower in depends.get(folder, ()):
        if lower == folder or lower in seen:
            return None
        below = reachable(depends, lower, seen + (folder,))
        if below is None:
            return None
        found |= {lower} | below
    return found


def main():
    depends = read_dependencies()
    if not depends:
        print("docs/ARCHITECTURE.md: no dependency table found")
        return 1
    allowed = {folder: reachable(depends, folder) for folder in depends}
    cycles = [folder for folder, below in allowed.items() if below is None]
    if cycles:
        print(f"docs/ARCHITECTURE.md: the dependencies of {', '.join(cycles)} form a cycle")
        return 1
    for folder in depends:
        allowed[folder].add(folder)

    problems = []

    # Which folder owns each header; test helpers belong to no library.
    owner = {}
    for folder in list(depends) + ["tests/support"]:
        for header in (ROOT / folder).rglob("*.h"):
            owner[header.name] = folder

    for folder in depends:
        for source in sorted((ROOT / folder).rglob("*")):
            if source.suffix not in (".cpp", ".h"):
                continue
            lines = source.read_text(encoding="utf-8", errors="replace").splitlines()
            for number, line in enumerate(lines, 1):
                include = INCLUDE.match(line)
                if not include:
                    continue
                target = owner.get(pathlib.PurePath(include.group(1)).name)
                if target and target not in allowed[folder]:
                    problems.append(f"{source.relative_to(ROOT)}:{number}: {folder}/ includes "
                                    f"\"{include.group(1)}\" of {target}/")
        cmake = ROOT / folder / "CMakeLists.txt"
        for number, line in enumerate(cmake.read_text(encoding="utf-8").splitlines(), 1):
            if not line.lstrip().startswith("#"):
                for library in LINKED_LIBRARY.findall(line):
                    if library in depends and library not in allowed[folder]:
                        problems.append(f"{cmake.relative_to(ROOT)}:{number}: {folder}/ links vx_{library}")

    for problem in problems:
        print(problem)
    if problems:
        print(f"check-layering: {len(problems)} dependencies against docs/ARCHITECTURE.md")
        return 1
    print(f"check-layering: {len(depends)} library folders include and link only what they depend on")
    return 0


if __name__ == "__main__":
    sys.exit(main())
