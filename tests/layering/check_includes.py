#!/usr/bin/env python3
"""Checks every `#include "folder/..."` under src/ and tools/ against the layer
table in src/layers.txt; prints each upward or sideways include and exits 1."""
import pathlib
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_0-9]+)/([^"]+)"', re.M)


def read_table(path):
    allowed, engine_files = {}, set()
    for line in path.read_text().splitlines():
        line = line.split("#", 1)[0].strip()
        if not line:
            continue
        name, _, rest = line.partition(":")
        if name == "vm-engine-files":
            engine_files = set(rest.split())
        else:
            allowed[name] = set(rest.split()) | {name}
    return allowed, engine_files


def layer_of(folder, file_name, engine_files):
    if folder == "vm":
        return "vm" if file_name in engine_files else "machine"
    return folder


def main(root):
    root = pathlib.Path(root)
    allowed, engine_files = read_table(root / "src" / "layers.txt")
    problems = []
    sources = [p for p in (root / "src").rglob("*") if p.suffix in (".h", ".cpp", ".inc")]
    sources += [p for p in (root / "tools").rglob("*") if p.suffix in (".h", ".cpp")]
    for path in sorted(sources):
        rel = path.relative_to(root)
        top = "tools" if rel.parts[0] == "tools" else rel.parts[1]
        here = layer_of(top, path.name, engine_files)
        if here not in allowed:
            problems.append(f"{rel}: folder '{top}' is not in src/layers.txt")
            continue
        for folder, name in INCLUDE.findall(path.read_text(errors="replace")):
            there = layer_of(folder, pathlib.PurePath(name).name, engine_files)
            if there not in allowed[here]:
                problems.append(f'{rel}: includes "{folder}/{name}" ({here} may not use {there})')
    for p in problems:
        print(p)
    print(f"{len(sources)} files checked, {len(problems)} layering problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parents[2]))
