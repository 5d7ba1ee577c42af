"""The offline install that README.md documents, in a temporary virtual environment."""

import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

PYTHON_DIR = Path(__file__).resolve().parent.parent


def test_pip_installs_without_network_and_the_packages_work():
    with tempfile.TemporaryDirectory(prefix="vorlan-venv-") as place:
        place = Path(place)
        # pip builds in the source directory; a copy keeps the tree clean.
        source = place / "source"
        shutil.copytree(PYTHON_DIR, source, ignore=shutil.ignore_patterns("__pycache__", "*.egg-info", "build"))
        venv = place / "venv"
        subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", str(venv)], check=True)
        python = venv / "bin" / "python"
        install = subprocess.run(
            [str(python), "-m", "pip", "install", "--no-build-isolation", "--no-index", str(source)],
            capture_output=True, text=True, env={**os.environ, "PIP_NO_CACHE_DIR": "1"})
        assert install.returncode == 0, install.stdout + install.stderr
        check = subprocess.run(
            [str(python), "-c", "import vorlan, vorlan_kernel.kernel; print(vorlan.evaluate('2^64'), vorlan.__file__)"],
            capture_output=True, text=True, cwd=place)
        assert check.returncode == 0, check.stderr
        value, location = check.stdout.split()
        assert value == "18446744073709551616"
        assert location.startswith(str(venv))
