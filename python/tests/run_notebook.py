"""Executes a notebook with the Vorlan kernel and checks it ran without an error.

    python3 run_notebook.py NOTEBOOK

The kernel spec goes into a temporary Jupyter directory and the executed
notebook into a temporary file; nothing is left behind. The notebook's own
outputs must hold no error, and the messages and Print output it was meant
to show must be there.
"""

import subprocess
import sys
import tempfile
from pathlib import Path

import nbformat

from jupyter_env import JupyterPlace


def main() -> int:
    notebook = Path(sys.argv[1]).resolve()
    place = JupyterPlace()
    try:
        with tempfile.TemporaryDirectory(prefix="vorlan-notebook-") as out:
            executed = Path(out) / "executed.ipynb"
            run = subprocess.run(
                [sys.executable, "-m", "nbconvert", "--to", "notebook", "--execute",
                 "--ExecutePreprocessor.timeout=120", str(notebook), "--output", str(executed)],
                capture_output=True, text=True)
            if run.returncode != 0:
                print(run.stdout + run.stderr)
                return 1
            cells = nbformat.read(executed, as_version=4).cells
    finally:
        place.close()
    outputs = [o for cell in cells if cell.cell_type == "code" for o in cell.outputs]
    errors = [o for o in outputs if o.output_type == "error"]
    results = [o for o in outputs if o.output_type == "execute_result"]
    streams = {o.name for o in outputs if o.output_type == "stream"}
    if errors or not results or streams != {"stdout", "stderr"}:
        print(f"errors {errors}, {len(results)} results, streams {sorted(streams)}")
        return 1
    if not all("text/latex" in o.data for o in results):
        print("a result without its typeset form")
        return 1
    print(f"{notebook.name}: {len(results)} results, no error")
    return 0


if __name__ == "__main__":
    sys.exit(main())
