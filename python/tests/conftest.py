"""Shared set-up: the packages the tests need, and a fresh kernel per test.

A missing package fails the run with the Debian package to install rather
than skipping tests silently.
"""

import importlib
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parent.parent))
sys.path.insert(0, str(Path(__file__).resolve().parent))

REQUIRED = {
    "ipykernel": "python3-ipykernel",
    "jupyter_client": "python3-jupyter-client",
    "nbformat": "python3-nbformat",
    "nbclient": "python3-nbclient",
    "nbconvert": "jupyter-nbconvert",
}


def pytest_sessionstart(session):
    missing = []
    for module, package in REQUIRED.items():
        try:
            importlib.import_module(module)
        except ImportError:
            missing.append(f"{module} (Debian package {package})")
    if missing:
        pytest.exit(f"{sys.executable} lacks " + ", ".join(missing), returncode=2)


@pytest.fixture(autouse=True)
def fresh_kernel():
    import vorlan
    vorlan.set_print_handler(None)
    vorlan.reset()
    yield
