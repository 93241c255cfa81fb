"""A new Python interpreter for tests whose failure mode would kill or hang the test run."""
from __future__ import annotations

import os
import subprocess
import sys


def run_python(code: str, timeout: float) -> subprocess.CompletedProcess:
    """Runs `code` in a new interpreter with the test run's environment. Under the sanitizer
    build the child gets the sanitizer runtime preloaded, as the test interpreter had it."""
    env = dict(os.environ)
    runtime = env.get("NELVOR_SANITIZER_RUNTIME")
    if runtime:
        env["LD_PRELOAD"] = runtime
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                          timeout=timeout, env=env)
