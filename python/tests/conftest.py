"""A real bus per test: the bus_host tool (ORVEX_BUS_HOST) on a name of its own."""
import os
import signal
import subprocess
import sys
import time

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
PYTHON_DIR = os.path.dirname(HERE)
sys.path.insert(0, PYTHON_DIR)

import orvex  # noqa: E402

_serial = 0


def child_env():
    """The environment for Python children: this package on the path."""
    env = dict(os.environ)
    env["PYTHONPATH"] = PYTHON_DIR + os.pathsep + env.get("PYTHONPATH", "")
    return env


class BusHost:
    def __init__(self, name):
        self.name = name
        self.process = subprocess.Popen([os.environ["ORVEX_BUS_HOST"], name])
        deadline = time.monotonic() + 15
        while True:
            try:
                orvex.Bus(name, timeout=0.5).close()
                return
            except orvex.OrvexError:
                if time.monotonic() > deadline or self.process.poll() is not None:
                    self.stop()
                    raise

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


@pytest.fixture
def bus():
    global _serial
    _serial += 1
    host = BusHost(f"Local\\OrvexPy{os.getpid()}_{_serial}")
    yield host
    host.stop()


@pytest.fixture(params=["classic", "v2"])
def link(request):
    return request.param
