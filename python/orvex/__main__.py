"""python3 -m orvex: a small command line over the client library.

    python3 -m orvex sub [--bus NAME] [--v2] [--count N] [--duration MS]
                         [--connect-timeout MS] TOPIC...
        prints one line per value: topic, type, value (tab-separated)
    python3 -m orvex pub --sid SID [--bus NAME] [--v2] [--count N] [--duration MS]
                         [--connect-timeout MS] [--interval MS] [--start N] [--value V]
        answers every topic asked of SID with a counter (from --start, one step every
        --interval ms) or, with --value, with that constant (numbers, true/false, text)

--count and --duration end the run after that many values (steps) or milliseconds,
whichever comes first. A bus that is not there yet is waited for up to
--connect-timeout ms (default 10000).

Exit codes: 0 done, 1 a failure (no bus, refused, link lost), 2 bad arguments."""

import argparse
import signal
import sys
import time

from . import Bus, OrvexError, DEFAULT_BUS


def _parse_constant(text):
    if text in ("true", "false"):
        return text == "true"
    for kind in (int, float):
        try:
            return kind(text)
        except ValueError:
            pass
    return text


def _render(value):
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, bytes):
        return value.hex()
    return str(value)


def _sub(args, bus):
    for topic in args.topics:
        bus.subscribe(topic)
    deadline = time.monotonic() + args.duration / 1000 if args.duration else None
    seen = 0
    while args.count is None or seen < args.count:
        if deadline is not None and time.monotonic() >= deadline:
            break
        event = bus.poll(0.2)
        if event is None:
            continue
        if event.kind in ("disconnect", "bus_lost"):
            print(f"link ended: {event.text}", file=sys.stderr)
            return 1
        if event.kind == "value":
            print(f"{event.topic}\t{event.type}\t{_render(event.value)}", flush=True)
            seen += 1
    return 0


def _pub(args, bus):
    bus.register(sid=args.sid, name=args.name, publisher=True)
    topics = {}
    constant = _parse_constant(args.value) if args.value is not None else None
    counter = args.start
    current = None  # the value of the last step
    steps = 0
    next_step = time.monotonic()
    deadline = time.monotonic() + args.duration / 1000 if args.duration else None
    while args.count is None or steps < args.count:
        if deadline is not None and time.monotonic() >= deadline:
            break
        event = bus.poll(0.01)
        if event is not None:
            if event.kind == "topic_request":
                topics[event.handle] = event.text
                print(f"topic {event.handle} {event.text}", flush=True)
                if current is not None:
                    bus.publish(event.handle, current)
            elif event.kind == "topic_closed":
                topics.pop(event.handle, None)
            elif event.kind == "refresh" and current is not None:
                for topic_id in event.items:
                    if topic_id in topics:
                        bus.publish(topic_id, current)
            elif event.kind in ("disconnect", "bus_lost"):
                print(f"link ended: {event.text}", file=sys.stderr)
                return 1
        if topics and time.monotonic() >= next_step:
            next_step = time.monotonic() + args.interval / 1000
            current = constant if constant is not None else counter
            counter += 1
            for topic_id in topics:
                bus.publish(topic_id, current)
            steps += 1
    return 0


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m orvex")
    commands = parser.add_subparsers(dest="command", required=True)
    for name in ("sub", "pub"):
        command = commands.add_parser(name)
        command.add_argument("--bus", default=DEFAULT_BUS, help="base name of the bus")
        command.add_argument("--v2", action="store_true", help="connect through the V2 acceptor")
        command.add_argument("--count", type=int, help="exit after this many values or steps")
        command.add_argument("--name", default=f"python {name}", help="client name")
        command.add_argument("--duration", type=int, default=0, help="exit after this many ms")
        command.add_argument("--connect-timeout", type=int, default=10000,
                             help="ms to wait for the bus to appear")
    sub = commands.choices["sub"]
    sub.add_argument("topics", nargs="+", help="topic texts, e.g. @BUS:TICKER")
    pub = commands.choices["pub"]
    pub.add_argument("--sid", required=True, help="publisher identifier")
    pub.add_argument("--start", type=int, default=1, help="first value of the counter")
    pub.add_argument("--interval", type=int, default=1000, help="ms between steps")
    pub.add_argument("--value", help="publish this constant instead of a counter")
    args = parser.parse_args(argv)
    # SIGTERM ends a command as Ctrl+C does: the link is closed with a goodbye, so the
    # bus lets this client go at once and a standby publisher takes over.
    signal.signal(signal.SIGTERM, signal.default_int_handler)
    try:
        with Bus(args.bus, v2=args.v2, timeout=args.connect_timeout / 1000) as bus:
            return _sub(args, bus) if args.command == "sub" else _pub(args, bus)
    except OrvexError as error:
        print(f"orvex: {error}", file=sys.stderr)
        return 1
    except ValueError as error:  # a topic or SID the bus cannot carry
        print(f"orvex: {error}", file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        return 0


if __name__ == "__main__":
    sys.exit(main())
