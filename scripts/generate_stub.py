#!/usr/bin/env python3
"""Writes the type stub of one extension module with nanobind's stub generator.

python scripts/generate_stub.py MODULE_FILE DOTTED_NAME OUTPUT [PATTERN_FILE]

The module is loaded from its build output under the name it is installed as
(our classes say they live there, and the generator skips what claims to live
elsewhere). Our own Python package comes from the sources being built; the
framework's packages from the interpreter's environment, else from the
repository's stand-in.
"""
import importlib
import importlib.util
import sys
from pathlib import Path

from nanobind import stubgen

ROOT = Path(__file__).resolve().parent.parent
STANDIN = ROOT / "python"
OURS = ROOT / "src" / "python"


def load(module_file: str, name: str) -> None:
    sys.path.insert(0, str(OURS))
    parent = name.rpartition(".")[0]
    try:
        importlib.import_module(parent)
    except ModuleNotFoundError:
        sys.path.append(str(STANDIN))
        importlib.import_module(parent)
    spec = importlib.util.spec_from_file_location(name, module_file)
    module = importlib.util.module_from_spec(spec)
    sys.modules[name] = module
    spec.loader.exec_module(module)


def main(argv: list) -> int:
    module_file, name, output, *patterns = argv
    load(module_file, name)
    arguments = ["-q", "-m", name, "-o", output]
    for pattern in patterns:
        arguments += ["-p", pattern]
    stubgen.main(arguments)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
