"""The notebook kernel through a real Jupyter client."""

import time

import pytest
from jupyter_client.manager import start_new_kernel

from jupyter_env import JupyterPlace

TIMEOUT = 60


@pytest.fixture(scope="module")
def kernel():
    place = JupyterPlace()
    manager, client = start_new_kernel(kernel_name="vorlan", startup_timeout=TIMEOUT)
    try:
        yield manager, client
    finally:
        client.stop_channels()
        manager.shutdown_kernel(now=True)
        place.close()


def run(client, code):
    """The reply and the iopub messages of one execution, up to the idle status."""
    msg_id = client.execute(code)
    reply = client.get_shell_msg(timeout=TIMEOUT)
    while reply["parent_header"].get("msg_id") != msg_id:
        reply = client.get_shell_msg(timeout=TIMEOUT)
    outputs = []
    while True:
        message = client.get_iopub_msg(timeout=TIMEOUT)
        if message["parent_header"].get("msg_id") != msg_id:
            continue
        kind, content = message["msg_type"], message["content"]
        if kind == "status" and content["execution_state"] == "idle":
            return reply["content"], outputs
        if kind in ("execute_result", "stream", "error"):
            outputs.append((kind, content))


def results(outputs):
    return [c["data"]["text/plain"] for kind, c in outputs if kind == "execute_result"]


def streams(outputs, name):
    return "".join(c["text"] for kind, c in outputs if kind == "stream" and c["name"] == name)


def test_several_inputs_print_and_messages(kernel):
    _, client = kernel
    reply, outputs = run(client, 'a = 2^10\nf(n?) := n + a\n{1,\n 2}[3]\nPrint("x =", f(1)); 1/2\nb = 1;')
    assert reply["status"] == "ok"
    assert results(outputs) == ["1024", "{1, 2}[3]", "1/2"]
    assert streams(outputs, "stdout") == "x =1025\n"
    assert streams(outputs, "stderr") == "Part::Position: Part 3 of {1, 2} does not exist.\n"
    kinds = [kind for kind, _ in outputs]
    assert kinds.index("stream") < kinds.index("execute_result", 2)  # in the order they happened


def test_results_are_typeset(kernel):
    _, client = kernel
    _, outputs = run(client, "{Sqrt(2), x^2/3, 2*Pi*I}")
    result = [c for kind, c in outputs if kind == "execute_result"][0]
    assert result["data"]["text/latex"] == r"$\left\{\sqrt{2}, \frac{x^{2}}{3}, 2\,i\,\pi\right\}$"


def test_a_syntax_error_runs_nothing(kernel):
    _, client = kernel
    reply, outputs = run(client, "never = 1\n1 +")
    assert reply["status"] == "error" and reply["ename"] == "SyntaxError"
    assert reply["evalue"]
    assert [kind for kind, _ in outputs] == ["error"]
    _, outputs = run(client, "never")
    assert results(outputs) == ["never"]


def test_definitions_last_across_cells(kernel):
    _, client = kernel
    run(client, "square(n?) := n^2")
    _, outputs = run(client, "square(12)")
    assert results(outputs) == ["144"]


def test_interrupt_aborts_the_cell_and_keeps_the_session(kernel):
    manager, client = kernel
    run(client, "before = 7")
    msg_id = client.execute("Nest(# + 1 &, 0, 10^12)\nafter = 1")
    time.sleep(1.5)
    manager.interrupt_kernel()
    reply = client.get_shell_msg(timeout=TIMEOUT)
    assert reply["parent_header"]["msg_id"] == msg_id
    assert reply["content"]["status"] == "error" and reply["content"]["ename"] == "Aborted"
    # After an error ipykernel drops requests that arrive while it clears its
    # queue (stop_on_error); under load the next one can be among them.
    for _ in range(10):
        reply, outputs = run(client, "{before, after}")
        if reply["status"] != "aborted":
            break
        time.sleep(0.5)
    assert results(outputs) == ["{7, after}"], outputs


def test_completion_of_symbol_names(kernel):
    _, client = kernel
    run(client, "myValue = 1; myVector = 2")
    client.complete("x + my", 6)
    content = client.get_shell_msg(timeout=TIMEOUT)["content"]
    assert content["matches"] == ["myValue", "myVector"]
    assert (content["cursor_start"], content["cursor_end"]) == (4, 6)
    client.complete("Fibo", 4)
    assert client.get_shell_msg(timeout=TIMEOUT)["content"]["matches"] == ["Fibonacci"]


def test_inspection_shows_the_reference(kernel):
    _, client = kernel
    client.inspect("Nest(f, x, 3)", 2)
    content = client.get_shell_msg(timeout=TIMEOUT)["content"]
    assert content["found"]
    assert content["data"]["text/plain"].startswith("## Nest\n\nNest(f, x, n): f applied n times to x.")
    client.inspect("unknownThing", 3)
    assert not client.get_shell_msg(timeout=TIMEOUT)["content"]["found"]


def test_is_complete(kernel):
    _, client = kernel
    client.is_complete("f(1,")
    assert client.get_shell_msg(timeout=TIMEOUT)["content"]["status"] == "incomplete"
    client.is_complete("f(1)")
    assert client.get_shell_msg(timeout=TIMEOUT)["content"]["status"] == "complete"


def test_restart_gives_a_fresh_kernel(kernel):
    manager, client = kernel
    run(client, "remembered = 5")
    manager.restart_kernel(now=True)
    client.wait_for_ready(timeout=TIMEOUT)
    _, outputs = run(client, "remembered")
    assert results(outputs) == ["remembered"]
