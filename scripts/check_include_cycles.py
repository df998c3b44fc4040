#!/usr/bin/env python3
"""Fails when units include each other in a loop.

A unit is a header with its source file (foo.h and foo.cpp are the unit foo).
Unit A depends on unit B when A's header or source includes B's header. Any
loop of such dependencies, even between two units of one folder, is a cycle.

    check_include_cycles.py [--root DIR] [--known FILE] FOLDER...

FOLDER is relative to the root (default: the repository). Includes are
resolved the way the build resolves them: next to the including file, then
from each of --include-dir (default: the root, src and include). Only units
inside the checked folders take part.

--known names cycles that exist already and are being taken apart: one per
line, its units separated by spaces ("#" starts a comment). A cycle passes
when all its units are on one such line; a new cycle, or a known one that
takes in another unit, fails. Exit status 1 lists each failing cycle with
the includes that close it.
"""

import argparse
import os
import re
import sys

SOURCE_SUFFIXES = (".h", ".hpp", ".c", ".cc", ".cpp")
INCLUDE_LINE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.MULTILINE)


def unit_of(path):
    return os.path.splitext(path)[0]


def collect_files(root, folders):
    files = []
    for folder in folders:
        top = os.path.join(root, folder)
        if not os.path.isdir(top):
            sys.exit(f"check_include_cycles: no folder {folder!r} under {root}")
        for directory, subdirs, names in os.walk(top):
            subdirs.sort()
            for name in sorted(names):
                if name.endswith(SOURCE_SUFFIXES):
                    files.append(os.path.relpath(os.path.join(directory, name), root))
    return files


def resolve(root, include_dirs, including_file, text, known):
    candidates = [os.path.join(os.path.dirname(including_file), text)]
    candidates += [os.path.join(d, text) for d in include_dirs]
    for candidate in candidates:
        path = os.path.normpath(candidate)
        if path in known:
            return path
    return None


def unit_graph(root, folders, include_dirs):
    files = collect_files(root, folders)
    known = set(files)
    # unit -> {unit: [(file, included text), ...]}
    edges = {unit_of(f): {} for f in files}
    for path in files:
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as source:
            text = source.read()
        for included in INCLUDE_LINE.findall(text):
            target = resolve(root, include_dirs, path, included, known)
            if target is None:
                continue
            source_unit, target_unit = unit_of(path), unit_of(target)
            if source_unit != target_unit:
                edges[source_unit].setdefault(target_unit, []).append((path, included))
    return edges


def strongly_connected(edges):
    """Tarjan's algorithm, iterative; returns components of more than one unit."""
    index, low, on_stack, stack, found = {}, {}, set(), [], []
    counter = 0
    for start in sorted(edges):
        if start in index:
            continue
        work = [(start, iter(sorted(edges[start])))]
        index[start] = low[start] = counter
        counter += 1
        stack.append(start)
        on_stack.add(start)
        while work:
            node, successors = work[-1]
            advanced = False
            for succ in successors:
                if succ not in index:
                    index[succ] = low[succ] = counter
                    counter += 1
                    stack.append(succ)
                    on_stack.add(succ)
                    work.append((succ, iter(sorted(edges[succ]))))
                    advanced = True
                    break
                if succ in on_stack:
                    low[node] = min(low[node], index[succ])
            if advanced:
                continue
            work.pop()
            if work:
                parent = work[-1][0]
                low[parent] = min(low[parent], low[node])
            if low[node] == index[node]:
                component = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    component.append(member)
                    if member == node:
                        break
                if len(component) > 1:
                    found.append(sorted(component))
    return sorted(found)


def read_known(path):
    known = []
    if path is None:
        return known
    with open(path, encoding="utf-8") as lines:
        for line in lines:
            units = line.split("#", 1)[0].split()
            if units:
                known.append(set(units))
    return known


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", default=os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    parser.add_argument("--include-dir", action="append", dest="include_dirs",
                        help="include root relative to --root (repeatable)")
    parser.add_argument("--known", help="file of cycles that are allowed for now")
    parser.add_argument("folders", nargs="+", help="folders to check, relative to --root")
    args = parser.parse_args(argv)
    root = os.path.abspath(args.root)
    include_dirs = args.include_dirs or ["", "src", "include"]

    edges = unit_graph(root, args.folders, include_dirs)
    known = read_known(args.known)
    failing = []
    for members in strongly_connected(edges):
        if any(set(members) <= allowed for allowed in known):
            print(f"known include cycle (still to take apart): {', '.join(members)}")
        else:
            failing.append(members)
    if not failing:
        print(f"no new include cycle among {len(edges)} units in {' '.join(args.folders)}")
        return 0
    for number, members in enumerate(failing, 1):
        print(f"include cycle {number}: {', '.join(members)}")
        inside = set(members)
        for unit in members:
            for target in sorted(edges[unit]):
                if target in inside:
                    for path, included in edges[unit][target]:
                        print(f"  {path} includes \"{included}\"")
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
