"""A subscriber: asks for @DEMO:COUNTER and prints COUNT values as they arrive; exits
with 1 unless each is one more than the one before.
    python3 subscriber.py [BUS] [classic|v2] [COUNT]"""
import sys

import orvex

bus_name = sys.argv[1] if len(sys.argv) > 1 else orvex.DEFAULT_BUS
v2 = len(sys.argv) > 2 and sys.argv[2] == "v2"
count = int(sys.argv[3]) if len(sys.argv) > 3 else 100

previous = 0
with orvex.Bus(bus_name, v2=v2) as bus:
    bus.subscribe("@DEMO:COUNTER")
    for topic, value in bus.values(count):
        print(value, flush=True)
        if value != previous + 1:
            sys.exit(1)
        previous = value
sys.exit(0 if previous == count else 1)
