"""python3 -m vorlan_kernel: runs the kernel, or installs its kernel spec.

    python3 -m vorlan_kernel install [--user] [--prefix P] [--name N]

installs the spec system-wide (the default), into the user's Jupyter data
directory (--user) or under the prefix P (P/share/jupyter/kernels, found
by Jupyter when P/share/jupyter is on JUPYTER_PATH). The spec starts the
kernel with the Python that ran the install.
"""

from __future__ import annotations

import argparse
import json
import sys
import tempfile
from pathlib import Path


def kernel_spec() -> dict:
    return {
        "argv": [sys.executable, "-m", "vorlan_kernel", "-f", "{connection_file}"],
        "display_name": "Vorlan",
        "language": "vorlan",
        "interrupt_mode": "signal",
    }


def install(arguments: list[str]) -> None:
    parser = argparse.ArgumentParser(prog="python3 -m vorlan_kernel install",
                                     description="Installs the Vorlan kernel spec for Jupyter.")
    where = parser.add_mutually_exclusive_group()
    where.add_argument("--user", action="store_true", help="into the user's Jupyter data directory")
    where.add_argument("--prefix", help="under PREFIX/share/jupyter/kernels")
    parser.add_argument("--name", default="vorlan", help="the kernel's name (default: vorlan)")
    options = parser.parse_args(arguments)
    from jupyter_client.kernelspec import KernelSpecManager
    with tempfile.TemporaryDirectory() as directory:
        (Path(directory) / "kernel.json").write_text(json.dumps(kernel_spec(), indent=1) + "\n")
        placed = KernelSpecManager().install_kernel_spec(directory, options.name, user=options.user,
                                                         prefix=options.prefix)
    print(f"Installed the Vorlan kernel spec in {placed}")


def main() -> None:
    if sys.argv[1:2] == ["install"]:
        install(sys.argv[2:])
        return
    from ipykernel.kernelapp import IPKernelApp
    from .kernel import VorlanKernel
    IPKernelApp.launch_instance(kernel_class=VorlanKernel)


if __name__ == "__main__":
    main()
