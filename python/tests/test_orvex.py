"""The Python module against a real bus: the documented examples, every value type,
the command line, the library look-up, errors and the bus's goodbye."""
import datetime
import os
import re
import shutil
import signal
import subprocess
import sys

import pytest

import orvex
from conftest import PYTHON_DIR, child_env

ROOT = os.path.dirname(PYTHON_DIR)


def run(args, timeout=60, **kwargs):
    return subprocess.run([sys.executable] + args, env=kwargs.pop("env", child_env()),
                          capture_output=True, text=True, timeout=timeout, **kwargs)


def test_the_documented_examples_count_up_in_order(bus, link):
    examples = os.path.join(PYTHON_DIR, "examples")
    publisher = subprocess.Popen(
        [sys.executable, os.path.join(examples, "publisher.py"), bus.name, link, "30"],
        env=child_env(), stdout=subprocess.PIPE, text=True)
    subscriber = run([os.path.join(examples, "subscriber.py"), bus.name, link, "30"])
    out, _ = publisher.communicate(timeout=60)
    assert subscriber.returncode == 0, subscriber.stderr
    assert subscriber.stdout.split() == [str(n) for n in range(1, 31)]
    assert publisher.returncode == 0 and out.strip() == "published 30 values"


def test_every_value_type_comes_back_as_it_was_sent(bus, link):
    v2 = link == "v2"
    with orvex.Bus(bus.name, v2=v2) as publisher, orvex.Bus(bus.name, v2=v2) as subscriber:
        publisher.register(sid="py", publisher=True)  # sent as PY
        handle = subscriber.subscribe("@PY:ALL")
        request = next(e for e in publisher if e.kind == "topic_request")
        assert request.text == "ALL"
        sent = [7, -2**40, 2.25, True, False, "é" + "x" * 299, bytes(range(200)),
                datetime.date(2024, 2, 29),
                datetime.datetime(2024, 2, 29, 12, 30, 5, tzinfo=datetime.timezone.utc)]
        for value in sent:
            publisher.publish(request.handle, value)
        received = list(subscriber.values(len(sent)))
    assert [topic for topic, _ in received] == ["@PY:ALL"] * len(sent)
    got = [value for _, value in received]
    assert got == sent
    assert [type(v) for v in got] == [type(v) for v in sent]
    assert handle == 1


def test_refresh_and_unsubscribe_reach_the_publisher(bus):
    with orvex.Bus(bus.name) as publisher, orvex.Bus(bus.name) as subscriber:
        publisher.register(sid="REF", publisher=True)
        handle = subscriber.subscribe("@REF:X")
        request = next(e for e in publisher if e.kind == "topic_request")
        subscriber.refresh([handle])
        refresh = next(e for e in publisher if e.kind == "refresh")
        assert refresh.items == (request.handle,)
        subscriber.unsubscribe(handle)
        closed = next(e for e in publisher if e.kind == "topic_closed")
        assert closed.handle == request.handle


def test_command_line_pub_to_sub_and_the_bus_ticker(bus, link):
    v2 = ["--v2"] if link == "v2" else []
    pub = subprocess.Popen(
        [sys.executable, "-m", "orvex", "pub", "--bus", bus.name, "--sid", "CLI",
         "--interval", "20", "--start", "100"] + v2,
        env=child_env(), stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    try:
        sub = run(["-m", "orvex", "sub", "--bus", bus.name, "--count", "5", "@CLI:N"] + v2)
    finally:
        pub.terminate()
        pub.wait(10)
    assert sub.returncode == 0, sub.stderr
    lines = [line.split("\t") for line in sub.stdout.splitlines()]
    assert [line[:2] for line in lines] == [["@CLI:N", "int32"]] * 5
    numbers = [int(line[2]) for line in lines]
    assert numbers == list(range(numbers[0], numbers[0] + 5)) and numbers[0] >= 100

    ticker = run(["-m", "orvex", "sub", "--bus", bus.name, "--count", "2", "@BUS:TICKER"] + v2)
    assert ticker.returncode == 0, ticker.stderr
    assert re.fullmatch(r"@BUS:TICKER\tint32\t-?\d+\n@BUS:TICKER\tint32\t-?\d+\n", ticker.stdout)


def test_command_line_closes_its_link_on_sigterm_and_sigint(bus, link):
    v2 = ["--v2"] if link == "v2" else []
    for number in (signal.SIGTERM, signal.SIGINT):
        sub = subprocess.Popen(
            [sys.executable, "-m", "orvex", "sub", "--bus", bus.name, "@BUS:TICKER"] + v2,
            env=child_env(), stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        try:
            assert sub.stdout.readline().startswith("@BUS:TICKER\t")
            sub.send_signal(number)
            # Ended through the link's close, not by the signal.
            assert sub.wait(10) == 0, sub.stderr.read()
        finally:
            if sub.poll() is None:
                sub.kill()
                sub.wait()


def test_command_line_reports_a_missing_bus_and_bad_arguments(bus):
    missing = run(["-m", "orvex", "sub", "--bus", bus.name + "Missing", "@BUS:TICKER"])
    assert missing.returncode == 1
    assert "no bus answered" in missing.stderr
    assert run(["-m", "orvex", "pub", "--bus", bus.name]).returncode == 2  # no --sid


def test_errors_carry_their_code_and_the_bus_status(bus):
    with pytest.raises(orvex.OrvexError) as missing:
        orvex.Bus(bus.name + "Missing", timeout=0.3)
    assert missing.value.code == -2
    with orvex.Bus(bus.name) as client:
        with pytest.raises(orvex.OrvexError) as refused:
            client.register(sid="BUS", publisher=True)
        assert refused.value.code == -3
        assert "SID BUS is reserved for the bus" in str(refused.value)
        with pytest.raises(TypeError):
            client.publish(1, object())


def test_the_bus_goodbye_ends_iteration_with_its_reason(bus, link):
    with orvex.Bus(bus.name, v2=link == "v2") as client:
        client.subscribe("@BUS:TICKER")
        assert client.disconnect_reason == ""
        bus.stop()
        kinds = [event.kind for event in client]
        assert kinds[-1] == "disconnect"
        assert client.disconnect_reason == "Server shutting down"


def test_the_library_is_found_beside_the_module_or_where_the_variable_points(tmp_path, bus):
    library = os.environ["ORVEX_CLIENT_LIBRARY"]
    package = tmp_path / "orvex"
    shutil.copytree(os.path.join(PYTHON_DIR, "orvex"), package)
    shutil.copy(library, package / "liborvex_client.so")
    env = dict(os.environ, PYTHONPATH=str(tmp_path))
    env.pop("ORVEX_CLIENT_LIBRARY")
    script = ("import orvex, sys; b = orvex.Bus(sys.argv[1]); b.close(); "
              "print(orvex.library()._name)")
    beside = run(["-c", script, bus.name], env=env, cwd=tmp_path)
    assert beside.returncode == 0, beside.stderr
    assert beside.stdout.strip() == str(package / "liborvex_client.so")

    env["ORVEX_CLIENT_LIBRARY"] = str(tmp_path / "nowhere.so")
    wrong = run(["-c", script, bus.name], env=env, cwd=tmp_path)
    assert wrong.returncode != 0
    assert "the Orvex client library was not found" in wrong.stderr


def test_the_sdk_page_shows_the_tested_examples_verbatim():
    with open(os.path.join(ROOT, "docs", "client-sdk.md"), encoding="utf-8") as page:
        text = page.read()
    blocks = re.findall(r"```[a-z+]*\n(.*?)```", text, re.S)
    for path in ["client/examples/publisher.c", "client/examples/subscriber.c",
                 "client/examples/pubsub.cpp", "python/examples/publisher.py",
                 "python/examples/subscriber.py"]:
        with open(os.path.join(ROOT, path), encoding="utf-8") as source:
            assert source.read() in blocks, path
