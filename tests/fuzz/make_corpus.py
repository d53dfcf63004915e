#!/usr/bin/env python3
"""Writes the starting inputs of the receive-path fuzzer into corpus/.

Layout (see fuzz_script.h): mode byte, request mask, reissue mask, then ops.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def frame(msg_type, payload=b"", second=0, length=None):
    n = len(payload) if length is None else length
    return bytes([msg_type, second]) + struct.pack("<i", n) + payload


def single(x):
    return struct.pack("<f", x)


def record(time, *prices):
    return time.encode("latin-1").ljust(8, b" ")[:8] + b"".join(single(p) for p in prices)


class Seed:
    def __init__(self, login=0, requests=(), reissue=(), keep=False, swap=0):
        mode = login | swap << 2 | (0x80 if keep else 0)
        req = sum(1 << t for t in requests)
        rei = sum(1 << t for t in reissue)
        self.data = bytes([mode]) + struct.pack("<HH", req, rei)

    def arrive(self, data, sizes=None):
        """One arrival per size (the rest in a last one)."""
        sizes = list(sizes or [])
        at = 0
        for s in sizes + [None]:
            chunk = data[at:] if s is None else data[at:at + s]
            if s is None and not chunk and sizes:
                break
            at += len(chunk)
            if len(chunk) < 0xA0:
                self.data += bytes([len(chunk)]) + chunk
            else:
                self.data += bytes([0xA0 | len(chunk) >> 8, len(chunk) & 0xFF]) + chunk
        return self

    def tick(self, timer):
        self.data += bytes([0xC0 | timer])
        return self

    def request(self, msg_type):
        self.data += bytes([0xD0 | (msg_type - 2)])
        return self

    def login(self):
        self.data += b"\xE0"
        return self

    def disconnect(self):
        self.data += b"\xE8"
        return self

    def arm_disconnect(self):
        self.data += b"\xEC"
        return self

    def nested(self, data, then_close=False):
        self.data += bytes([0xE6 if then_close else 0xE4, len(data)]) + data
        return self

    def reconnect(self):
        self.data += b"\xF0"
        return self

    def fill(self, count, byte):
        """One arrival of `count` (even) copies of `byte`."""
        self.data += b"\xF8" + struct.pack("<HB", count // 2, byte)
        return self

    def rest(self, data):
        self.data += b"\xFC" + data
        return self


def seeds():
    long_text = bytes(range(0x20, 0x7F)) + bytes(range(0x80, 0x100)) + b"\x00tail"
    yield "debug_messages", Seed().arrive(
        frame(0, b"hello") + frame(0) + frame(0, long_text, second=7), [3, 4, 1, 30])

    ok = frame(1, struct.pack("<i", 0) + b"OK")
    yield "login_accepted_split_header", Seed(login=1).arrive(ok, [1, 2, 3]).request(4)

    yield "login_refused_and_short", Seed(login=1).arrive(
        frame(1, struct.pack("<i", 5) + b"Denied")).login().arrive(frame(1, struct.pack("<i", 0))).login().arrive(
        frame(1, struct.pack("<i", 0) + b"ok"))

    yield "session_texts", Seed(login=2, requests=(2, 3, 4)).arrive(
        frame(4, b"09:30:00") + frame(3, b"") + frame(2, b"12/8/2026 9:30:00 AM\x00"), [5, 9, 14]).tick(2)

    rows = record("09:30   ", 1.5, 2.5, 0.5, 1.0) + record("09:31\x00\x93x", float("nan"), -0.0, 1e-45, 3.4e38)
    yield "price_channel_rows", Seed(login=2, requests=(5, 6)).arrive(
        frame(5, rows + b"\x01") + frame(6, b""), [7, 20, 2])

    yield "price_channel_partial_record", Seed(login=2, requests=(5,)).arrive(
        frame(5, rows[:30])).tick(1).arrive(frame(5, rows))

    yield "previous_session_prices", Seed(login=2, requests=(7, 8, 9, 10, 11)).arrive(
        frame(7, single(101.25) + b"more") + frame(8) + frame(9, b"\x01\x02\x03") + frame(10, single(99.5))
        + frame(11, single(1.5) + single(2.5) + single(0.5) + single(1.0)), [6, 6, 10])

    yield "support_resistance_short", Seed(login=2, requests=(11,)).arrive(frame(11, b"\x00" * 15)).request(11).arrive(
        frame(11))

    yield "bogus_length_then_reconnect", Seed().arrive(
        frame(0, b"before") + frame(0, length=100001) + b"never read").reconnect().arrive(frame(0, b"after"))

    yield "negative_length", Seed(login=2).arrive(
        frame(0, b"x") + frame(5, length=-1) + b"junk", [8]).request(5).reconnect().login()

    yield "exact_limit_accepted", Seed(login=2).arrive(frame(0, length=100000) + b"partial").disconnect().request(2)

    ungated = b"".join(frame(t, b"\x00\x00\x00\x00OK", second=0xFF) for t in [1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 255])
    yield "ungated_answers_dropped", Seed(login=2).arrive(ungated + frame(0, b"still in step"), [1] * 20)

    yield "reissue_from_events", Seed(login=2, requests=(4, 5), reissue=(4, 5), keep=True).arrive(
        frame(4, b"t1") + frame(5, rows) + frame(4, b"t2") + frame(5, rows[:24])).tick(1).tick(2).tick(2)

    yield "timeouts_then_late_answers", Seed(login=1, requests=(2, 6)).tick(0).tick(0).arrive(
        ok).login().arrive(ok).request(2).request(6).request(9).tick(1).tick(2).arrive(
        frame(2, b"late") + frame(6) + frame(9, single(1.0))).rest(frame(0, b"end"))

    yield "disconnect_inside_events", Seed(login=2, requests=(4, 5)).arm_disconnect().arrive(
        frame(4, b"t") + frame(5, rows)).reconnect().arm_disconnect().arrive(
        frame(0, length=200000)).arm_disconnect().reconnect().reconnect().login().arm_disconnect().tick(0)

    yield "nested_arrival_inside_event", Seed(login=2, requests=(3,), reissue=(3,)).nested(
        frame(0, b"pumped") + frame(3, b"second") + b"\x00\x00").arrive(
        frame(3, b"12/8/2026") + frame(0, b"after"), [4]).arrive(b"\x00\x00\x00\x00")

    # Handlers that ask again and wait, pumping, for the answer, three deep,
    # with half a header left for the outer loop to go on from.
    yield "nested_waits_for_answers", Seed(login=2, requests=(3,), reissue=(3,)).nested(frame(3, b"d1")).nested(
        frame(0, b"deeper") + frame(3, b"d2")).nested(frame(0, b"x")[:3]).arrive(
        frame(3, b"d0") + frame(0, b"waiting")).arrive(frame(0, b"x")[3:])

    yield "nested_then_close", Seed(login=2, requests=(2, 4)).nested(frame(4, b"t") + frame(0, b"last"),
                                                                   then_close=True).arrive(
        frame(2, b"dt") + frame(0, b"waiting")).reconnect().nested(frame(0, b"hi")).login().arrive(
        frame(1, struct.pack("<i", 0) + b"OK"))

    ok = frame(1, struct.pack("<i", 0) + b"OK")
    yield "nested_inside_timeout_and_connected", Seed(login=2, requests=(5, 9)).nested(
        frame(9, single(2.0)) + frame(5, length=30)).tick(1).arrive(b"c" * 30).disconnect().nested(
        frame(0, b"on connect") + frame(0, b"x")[:2], then_close=True).reconnect().reconnect().nested(
        frame(0, length=100001)).arm_disconnect().login().arrive(ok)

    yield "largest_payloads", Seed(login=2, requests=(5,)).arrive(frame(0, length=100000)).fill(100000, 0xE9).arrive(
        frame(5, length=99984)).fill(99984, 0x41).request(5).arrive(frame(5, length=100000)).fill(100000, 0x3F).arrive(
        frame(0, b"still in step"))

    for swap, name in [(1, "cleared"), (2, "foreign_object"), (3, "other_record_set")]:
        yield "argument_" + name, Seed(login=2, requests=(5, 6), reissue=(6,), swap=swap).arrive(
            frame(5, rows) + frame(6) + frame(6, rows[:24]))


def main():
    out = os.path.join(HERE, "corpus")
    os.makedirs(out, exist_ok=True)
    for name, seed in seeds():
        with open(os.path.join(out, name + ".bin"), "wb") as f:
            f.write(seed.data)


if __name__ == "__main__":
    main()
