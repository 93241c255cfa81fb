"""The product's wheel holds only our files, and installing or removing it leaves the
framework's files as they were.

Uses the wheel that scripts/setup.sh built from this checkout (build/wheelhouse).
"""
from __future__ import annotations

import hashlib
import os
import re
import subprocess
import sys
import zipfile
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
WHEELS = sorted((ROOT / "build" / "wheelhouse").glob("nelvor_postgres_store-*.whl"))
MODULES = "nelvor_data/connections/implementations/"
STUBS = "nelvor_data-stubs/"
# Our files: the two modules and their stubs, the partial stub package, our own package.
OURS = re.compile(
    rf"^({MODULES}(ledger|current)_store(\.cpython-[^/]*\.so|\.pyi)"
    rf"|{STUBS}(py\.typed|connections/implementations/(ledger|current)_store\.pyi)"
    r"|nelvor_pgstore/[^/]+\.(py|pyi)|nelvor_pgstore/py\.typed"
    r"|nelvor_postgres_store-[^/]+\.dist-info/.+)$")

pytestmark = pytest.mark.skipif(not WHEELS, reason="no wheel built (scripts/setup.sh builds it)")


@pytest.fixture(scope="module")
def wheel() -> Path:
    return WHEELS[-1]


def test_wheel_lists_only_our_files(wheel):
    names = zipfile.ZipFile(wheel).namelist()
    assert [name for name in names if not OURS.match(name)] == []
    for store in ("ledger_store", "current_store"):
        assert any(re.fullmatch(rf"{MODULES}{store}\.cpython-.*\.so", name) for name in names)
        assert f"{MODULES}{store}.pyi" in names
        assert f"{STUBS}connections/implementations/{store}.pyi" in names
    assert zipfile.ZipFile(wheel).read(f"{STUBS}py.typed") == b"partial\n"


def _clean_env() -> dict[str, str]:
    # The bare virtualenv sees its own site-packages only, not a staged build
    # that PYTHONPATH names (scripts/dev_build.sh, scripts/sanitize.sh).
    return {key: value for key, value in os.environ.items() if key not in ("PYTHONPATH", "LD_PRELOAD")}


def _pip(*arguments: str) -> None:
    # The test's own pip, offline; `--python` points it at the bare virtualenv.
    subprocess.run([sys.executable, "-m", "pip", "-q", *arguments], check=True,
                   env={**_clean_env(), "PIP_DISABLE_PIP_VERSION_CHECK": "1", "PIP_NO_INDEX": "1"})


def _site_packages(python: Path) -> Path:
    return Path(subprocess.run([str(python), "-c", "import sysconfig; print(sysconfig.get_path('purelib'))"],
                               check=True, capture_output=True, text=True, env=_clean_env()).stdout.strip())


def _snapshot(site: Path) -> dict[str, str]:
    return {str(path.relative_to(site)): hashlib.sha256(path.read_bytes()).hexdigest()
            for path in site.rglob("*") if path.is_file() and "__pycache__" not in path.parts
            and not path.parent.name.startswith("nelvor_postgres_store-")}


def test_install_and_uninstall_leave_the_framework_as_it_was(wheel, tmp_path):
    venv = tmp_path / "venv"
    subprocess.run([sys.executable, "-m", "venv", "--without-pip", str(venv)], check=True)
    python = venv / "bin" / "python"
    # A framework distribution, there first (built here, where its build backend is).
    _pip("wheel", "--no-deps", "--no-build-isolation", "-w", str(tmp_path), str(ROOT / "python"))
    _pip("--python", str(python), "install", "--no-deps", *map(str, tmp_path.glob("nelvor_framework_standin-*.whl")))
    site = _site_packages(python)
    framework = _snapshot(site)
    assert "nelvor_data/connections/implementations/__init__.py" in framework

    _pip("--python", str(python), "install", "--no-deps", str(wheel))
    installed = _snapshot(site)
    assert {name: digest for name, digest in installed.items() if name in framework} == framework
    assert {name for name in installed if name not in framework} >= {
        f"{MODULES}ledger_store.pyi", f"{MODULES}current_store.pyi"}
    imported = subprocess.run(
        [str(python), "-c", "from nelvor_data.connections.implementations import ledger_store, current_store; "
                            "print(ledger_store.PostgresImmutableConnection.__name__, "
                            "current_store.PostgresStateConnection.__name__)"],
        check=True, capture_output=True, text=True, env=_clean_env())
    assert imported.stdout.split() == ["PostgresImmutableConnection", "PostgresStateConnection"]

    _pip("--python", str(python), "uninstall", "-y", "nelvor-postgres-store")
    assert _snapshot(site) == framework
