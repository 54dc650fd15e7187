#!/usr/bin/env python3
"""scripts/soak's judgement: each way a run can miss a goal is seen and named, and only
messages no fault or missing client touched count for the latency."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from soak_judgement import Client, Judgement  # noqa: E402

SENDER = "+4915112345678"
T0 = 1700000000.0


def summary(text, sender="4915112345678"):
    return "Service Center No: 491700000000\r\nSender No: %s\r\nText: %s" % (sender, text)


def sent(label, at, touched=()):
    return label, {"message": label, "text": label + " hello", "sender": SENDER, "parts": 1,
                   "coding": "gsm7", "first": T0 + at, "arrived": T0 + at,
                   "touched": list(touched)}


def client(events, end="stopped", ready=0.0):
    """A client's record from (seconds after T0, kind, rest) events."""
    lines = ["start %d 7" % (1000 * (T0 + ready) - 500), "ready %d" % (1000 * (T0 + ready))]
    for at, kind, rest in events:
        payload = rest.encode("utf-8").hex() if kind == "sms" else rest
        lines.append(("%s %d %s" % (kind, 1000 * (T0 + at), payload)).rstrip())
    return Client(lines, end)


def sms(at, text, **kwargs):
    return at, "sms", summary(text, **kwargs)


class Verdicts(unittest.TestCase):
    def judge(self, clients, left="-", messages=None):
        messages = dict(messages or [sent("c0001", 1), sent("c0002", 2)])
        status = {"left-ids": left, "network": "0"}
        return Judgement(messages, [], status, clients)

    def test_each_missed_goal_is_named(self):
        cases = [  # what, the clients, left in storage, the failures expected
            ("all well", [client([sms(1.1, "c0001 hello"), sms(2.1, "c0002 hello")])], "-", []),
            ("one lost", [client([sms(1.1, "c0001 hello")])], "-", ["1 lost"]),
            ("delivered but left stored", [client([sms(1.1, "c0001 hello"),
                                                   sms(2.1, "c0002 hello")])], "c0002",
             ["1 left in storage"]),
            ("a duplicate without a kill", [client([sms(1.1, "c0001 hello"),
                                                    sms(1.2, "c0001 hello"),
                                                    sms(2.1, "c0002 hello")])], "-",
             ["1 duplicates for 0 kills"]),
            ("a duplicate for a kill", [client([sms(1.1, "c0001 hello"), (1.2, "hang", "")],
                                               "killed"),
                                        client([sms(4, "c0001 hello"), sms(4.1, "c0002 hello")],
                                               ready=3.5)], "-", []),
            ("garbled, and from another sender", [client([sms(1.1, "c0001 hellp"),
                                                          sms(2.1, "c0002 hello", sender="49")])],
             "-", ["2 lost", "2 wrong"]),
            ("never sent", [client([sms(1.1, "c0001 hello"), sms(2.1, "c0002 hello"),
                                    sms(2.2, "Hi there")])], "-", ["1 wrong"]),
            ("a client that ended by itself", [client([sms(1.1, "c0001 hello")], "exited"),
                                               client([sms(2.1, "c0002 hello")], ready=1.5)],
             "-", ["1 client processes ended by themselves"]),
        ]
        for what, clients, left, failures in cases:
            self.assertEqual(self.judge(clients, left).failures(), failures, what)

    def test_latency_counts_only_untouched_messages_and_their_first_delivery(self):
        messages = [sent("c0001", 1), sent("c0002", 2, ["restart"]), sent("c0003", 10),
                    sent("c0004", 20)]
        clients = [client([sms(1.05, "c0001 hello"), sms(9, "c0002 hello"),
                           (10.05, "hang", "")], "killed"),
                   client([sms(11.5, "c0001 hello"), sms(12, "c0003 hello"),
                           sms(20.2, "c0004 hello")], ready=11)]
        judgement = self.judge(clients, messages=messages)
        # c0002 a fault touched, c0003 the kill; c0001's repeat is not its latency.
        self.assertEqual(sorted(round(x, 3) for x in judgement.untouched_latencies()),
                         [0.05, 0.2])
        self.assertEqual(judgement.failures(), [])


if __name__ == "__main__":
    unittest.main()
