"""A publisher: serves COUNTER under the SID DEMO with 1, 2, 3..., one every 10 ms from
the moment a subscriber asks for it, then leaves.
    python3 publisher.py [BUS] [classic|v2] [COUNT]"""
import sys

import orvex

bus_name = sys.argv[1] if len(sys.argv) > 1 else orvex.DEFAULT_BUS
v2 = len(sys.argv) > 2 and sys.argv[2] == "v2"
count = int(sys.argv[3]) if len(sys.argv) > 3 else 100

with orvex.Bus(bus_name, v2=v2) as bus:  # leaving the block waits until the bus has all
    bus.register(sid="DEMO", name="Python publisher", publisher=True)
    topic = None  # the bus's id of COUNTER, once someone asks for it
    sent = 0
    while sent < count:
        event = bus.poll(timeout=0.01)
        if event is None:
            if topic is not None:
                sent += 1
                bus.publish(topic, sent)
        elif event.kind == "topic_request" and event.text == "COUNTER":
            topic = event.handle
        elif event.kind == "refresh" and topic in event.items and sent > 0:
            bus.publish(topic, sent)
        elif event.kind == "topic_closed" and event.handle == topic:
            topic = None
print(f"published {sent} values")
