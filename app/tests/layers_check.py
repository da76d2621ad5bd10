#!/usr/bin/env python3
"""The program's layers include one another one way only.

Usage: layers_check.py SOURCE_DIR

Every quoted #include of a source under app/ and engine/ is resolved to the folder that
holds the header, and that folder must be one the including folder may use: the entry uses
the windows, the main window uses the update window, both windows use the ui layer, the
device boundaries and the logic; the logic uses only the engine's public headers (its
codec, palette and contract), and nothing below includes anything above. The tests,
benchmarks and fuzz targets may use everything. Prints every include that breaks the rule and exits 1 when
there is one.
"""
import re
import sys
from pathlib import Path

ENGINE_PUBLIC = {"engine/include", "engine/codec"}

# What each folder may include besides its own files.
MAY_USE = {
    "engine/include": set(),
    "engine/codec": {"engine/include"},
    "engine/src": ENGINE_PUBLIC,
    "engine/tools": ENGINE_PUBLIC | {"engine/src"},
    "app/logic": ENGINE_PUBLIC,
    "app/ui": ENGINE_PUBLIC | {"app/logic"},
    "app/network": set(),
    "app/sim": set(),
    "app/stepper": set(),
    "app/capture": {"app/sim"},
    "app/VexolanUpdate": ENGINE_PUBLIC | {"app/logic", "app/ui", "app/network"},
    "app/window": ENGINE_PUBLIC
    | {"app/logic", "app/ui", "app/capture", "app/stepper", "app/VexolanUpdate"},
    "app/entry": ENGINE_PUBLIC
    | {"app/logic", "app/ui", "app/capture", "app/stepper", "app/network", "app/sim"}
    | {"app/VexolanUpdate", "app/window"},
    "app": ENGINE_PUBLIC
    | {"app/logic", "app/ui", "app/sim", "app/VexolanUpdate", "app/window", "app/entry"},
}
# Free to use everything.
UNCHECKED = ("app/tests", "app/bench", "app/fuzz", "engine/tests", "engine/bench", "engine/fuzz")

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def header_folder(root, folder, allowed, name):
    """The folder, relative to the root, that holds the header `name` a source in `folder`
    includes; None for a header that none of the layers' folders holds."""
    if "/" in name:  # "logic/numbers.h": a folder of the program, the build's own too
        first = name.split("/")[0]
        return "app/" + first if (root / "app" / first).is_dir() else None

    def holds(f):
        return (root / f / name).exists() or (root / f / (name + ".in")).exists()

    # the compiler's search: the source's own folder, then what it is given
    for f in [folder] + sorted(allowed) + sorted(MAY_USE):
        if holds(f):
            return f
    return None


def main():
    root = Path(sys.argv[1]).resolve()
    faults = []
    sources = sorted(p for top in ("app", "engine") for p in (root / top).rglob("*")
                     if p.suffix in (".cpp", ".h") or p.name.endswith(".h.in"))
    for source in sources:
        folder = str(source.parent.relative_to(root))
        if folder.startswith(UNCHECKED):
            continue
        allowed = MAY_USE.get(folder)
        if allowed is None:
            faults.append(f"{source.relative_to(root)}: the folder {folder} has no place "
                          "among the layers (add it to MAY_USE)")
            continue
        for name in INCLUDE.findall(source.read_text(encoding="utf-8", errors="replace")):
            used = header_folder(root, folder, allowed, name)
            if used is None and folder == "engine/tools" and name == "version.h":
                continue  # generated beside the command
            if used is None:
                faults.append(f"{source.relative_to(root)}: \"{name}\" is in none of the "
                              "layers' folders")
            elif used != folder and used not in allowed:
                faults.append(f"{source.relative_to(root)}: includes \"{name}\" of {used}, "
                              f"which {folder} may not use")
    for f in faults:
        print(f)
    print(f"layers: {len(sources)} sources, {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
