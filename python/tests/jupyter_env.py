"""A private Jupyter set-up for tests: the kernel spec in a temporary prefix.

Everything Jupyter writes (kernel spec, connection files, configuration)
goes under one temporary directory, never into the user's home, and the
kernel process imports this source tree's packages.
"""

from __future__ import annotations

import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

PYTHON_DIR = Path(__file__).resolve().parent.parent


class JupyterPlace:
    def __init__(self) -> None:
        self.root = Path(tempfile.mkdtemp(prefix="vorlan-jupyter-"))
        share = self.root / "share" / "jupyter"
        self.env = {
            "JUPYTER_PATH": str(share),
            "JUPYTER_DATA_DIR": str(self.root / "data"),
            "JUPYTER_RUNTIME_DIR": str(self.root / "runtime"),
            "JUPYTER_CONFIG_DIR": str(self.root / "config"),
            "IPYTHONDIR": str(self.root / "ipython"),
            "PYTHONPATH": os.pathsep.join(filter(None, [str(PYTHON_DIR), os.environ.get("PYTHONPATH")])),
            "PYTHONDONTWRITEBYTECODE": "1",
            "PYDEVD_DISABLE_FILE_VALIDATION": "1",  # quiets the debugger's note on frozen modules
        }
        subprocess.run([sys.executable, "-m", "vorlan_kernel", "install", "--prefix", str(self.root)],
                       check=True, env={**os.environ, **self.env}, capture_output=True)
        self.saved = {name: os.environ.get(name) for name in self.env}
        os.environ.update(self.env)

    def close(self) -> None:
        for name, value in self.saved.items():
            if value is None:
                os.environ.pop(name, None)
            else:
                os.environ[name] = value
        shutil.rmtree(self.root, ignore_errors=True)
