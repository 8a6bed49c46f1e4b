"""The Python module against a real bus: the documented examples, every value type,
the command line, the library look-up, errors and the bus's goodbye."""
import datetime
import os
import re
import shutil
import signal
import subprocess
import sys
import time

import pytest

import orvex
from conftest import PYTHON_DIR, BusHost, child_env

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
    missing = run(["-m", "orvex", "sub", "--bus", bus.name + "Missing", "--connect-timeout",
                   "300", "@BUS:TICKER"])
    assert missing.returncode == 1
    assert "no bus answered" in missing.stderr
    assert run(["-m", "orvex", "pub", "--bus", bus.name]).returncode == 2  # no --sid


def test_clients_started_before_the_bus_wait_for_it(link):
    name = f"Local\\OrvexPyLate{os.getpid()}_{link}"
    v2 = ["--v2"] if link == "v2" else []
    sub = subprocess.Popen(
        [sys.executable, "-m", "orvex", "sub", "--bus", name, "--count", "1",
         "--connect-timeout", "30000", "@BUS:TICKER"] + v2,
        env=child_env(), stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    pub = subprocess.Popen(
        [sys.executable, "-m", "orvex", "pub", "--bus", name, "--sid", "EARLY", "--duration",
         "1500", "--connect-timeout", "30000"] + v2,
        env=child_env(), stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    time.sleep(1.0)
    host = BusHost(name)
    try:
        out, err = sub.communicate(timeout=60)
        assert sub.returncode == 0, err
        assert out.startswith("@BUS:TICKER\tint32\t")
        # --duration ends a publisher that nobody asked anything of, with success.
        _, err = pub.communicate(timeout=60)
        assert pub.returncode == 0, err
    finally:
        for child in (sub, pub):
            if child.poll() is None:
                child.kill()
                child.wait()
        host.stop()


def test_what_the_bus_cannot_carry_as_given_is_refused_not_changed(bus):
    with orvex.Bus(bus.name) as publisher, orvex.Bus(bus.name) as subscriber:
        publisher.register(sid="PYA", publisher=True)
        with pytest.raises(ValueError):
            subscriber.subscribe("@PYA:ONE\x00TWO")
        with pytest.raises(ValueError):
            subscriber.subscribe("@PYA:ONE", handle=-5)
        with pytest.raises(ValueError):
            subscriber.subscribe("@PYA:ONE", handle=2**32)
        handle = subscriber.subscribe("@PYA:ONE")
        with pytest.raises(ValueError):
            subscriber.refresh([handle, -1])
        with pytest.raises(ValueError):
            subscriber.unsubscribe(2**40)
        request = next(e for e in publisher if e.kind == "topic_request")
        assert request.text == "ONE"
        tid = request.handle
        for topic_id, value in [(tid, "ab\x00cd"), (tid, 2**70), (tid, -2**63 - 1),
                                (2**32 + tid, 5), (-1, 5)]:
            with pytest.raises(ValueError):
                publisher.publish(topic_id, value)
        with pytest.raises(TypeError):
            publisher.publish(1.5, 5)
        # An id the bus never gave this publisher is the C library's E_TOPIC.
        with pytest.raises(orvex.OrvexError) as unasked:
            publisher.publish(tid + 1, 5)
        assert unasked.value.code == -9
        # The limits themselves pass, whole.
        publisher.publish(tid, 2**63 - 1)
        publisher.publish(tid, "ab")
        got = [value for _, value in subscriber.values(2, timeout=10)]
        assert got == [2**63 - 1, "ab"]
        with pytest.raises(ValueError):
            publisher.register(sid="A\x00B", publisher=True)


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


def test_the_bus_goodbye_ends_iteration_with_an_error_naming_its_reason(bus, link):
    with orvex.Bus(bus.name, v2=link == "v2") as client, \
            orvex.Bus(bus.name, v2=link == "v2") as other:
        client.subscribe("@BUS:TICKER")
        other.subscribe("@BUS:TICKER")
        assert client.disconnect_reason == ""
        # A link that receives nothing: the time-outs of iteration and values() speak up.
        with orvex.Bus(bus.name, v2=link == "v2") as idle:
            with pytest.raises(orvex.OrvexTimeout) as quiet:
                list(idle.events(timeout=0.3))
            assert quiet.value.code == -4 and isinstance(quiet.value, TimeoutError)
            with pytest.raises(orvex.OrvexTimeout):
                list(idle.values(timeout=0.3))
        bus.stop()
        kinds = []
        with pytest.raises(orvex.LinkEnded) as ended:
            for event in client:
                kinds.append(event.kind)
        assert kinds[-1] == "disconnect"
        assert ended.value.reason == "Server shutting down"
        assert ended.value.code == -6 and isinstance(ended.value, orvex.OrvexError)
        assert "Server shutting down" in str(ended.value)
        assert client.disconnect_reason == "Server shutting down"
        with pytest.raises(orvex.LinkEnded):
            list(other.values())


def test_poll_batch_takes_what_arrived_in_order_up_to_its_size(bus, link):
    v2 = link == "v2"
    with orvex.Bus(bus.name, v2=v2) as publisher, orvex.Bus(bus.name, v2=v2) as subscriber, \
            orvex.Bus(bus.name, v2=v2) as sentinel:
        publisher.register(sid="BAT", publisher=True)
        subscriber.subscribe("@BAT:ITEM")
        item = next(e for e in publisher if e.kind == "topic_request")
        sentinel.subscribe("@BAT:END")
        end = next(e for e in publisher if e.kind == "topic_request")
        sent = [n if n % 2 else f"{n}:" + "t" * 200 for n in range(30)]
        for value in sent:
            publisher.publish(item.handle, value)
        publisher.publish(end.handle, 1)
        # The bus routed every value before the sentinel's; its goodbye then comes last.
        assert next(sentinel.values(1, timeout=10)) == ("@BAT:END", 1)
        bus.stop()
        deadline = time.monotonic() + 10
        while subscriber.disconnect_reason == "" and time.monotonic() < deadline:
            time.sleep(0.01)
        assert subscriber.disconnect_reason == "Server shutting down"
        with pytest.raises(ValueError):
            subscriber.poll_batch(0)
        batches = []
        with pytest.raises(orvex.LinkEnded):
            while True:
                batches.append(subscriber.poll_batch(8, timeout=1.0))
    assert [len(b) for b in batches] == [8, 8, 8, 7]
    events = [e for b in batches for e in b]
    assert [e.kind for e in events] == ["value"] * 30 + ["disconnect"]
    assert [e.value for e in events[:30]] == sent
    assert {e.topic for e in events[:30]} == {"@BAT:ITEM"}


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
