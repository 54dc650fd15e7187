"""A chaos run: many messages, each with a text of its own, reach the modem at random times
while faults drawn from a seeded schedule strike it. The run's record (JSON lines) says when
each message reached the modem and which faults touched it, so that a receiver can be judged:
what it raised against what was sent, and the latency of the messages no fault touched."""

import json
import random
import time

from . import pdu
from .basics import OrderError, probability, seconds, seconds_range
from .storage import READ, UNREAD

SENDER = "+4915112345678"
# key: (parse, default); "late" is how late a slow reply comes, "touch" how long after its
# arrival a fault still counts as touching a message.
OPTIONS = {
    "messages": (int, 40),
    "minutes": (float, 8.0),
    "long": (probability, 0.0),
    "ucs2": (probability, 0.0),
    "restarts": (int, 2),
    "unplugs": (int, 1),
    "unplug-seconds": (seconds, 9.0),
    "drops": (int, 2),
    "slows": (int, 2),
    "late": (seconds_range, (5.1, 7.5)),
    "slow-reads": (probability, 0.05),
    "unknown": (seconds, 30.0),
    "inside": (probability, 0.05),
    "reports": (seconds, 10.0),
    "storage": (int, 10),
    "memory": (str.upper, "ME"),
    "touch": (seconds, 5.0),
    "record": (str, None),
    "sender": (str, SENDER),
}
ANNOUNCEMENTS = (("RDY",), ("+CFUN: 1", "SMS Ready"), ("^SYSSTART",))
SLOW_COMMANDS = ("+CPMS", "+CMGR", "+CMGD", "+CMGL")
WORDS = ("alpha", "bravo", "Grüße", "20 €", "{x}", "[ok]", "delta", "echo", "foxtrot", "golf",
         "hotel", "ÄÖÜ", "kilo", "lima", "mike", "50%", "oscar", "papa", "quebec", "@home")
UCS2_WORDS = ("Привет", "👋", "Ελλάδα", "中文", "émoji", "ok", "№5", "😀")
# Nothing happens in the first 3 s of a run nor in its last 8 (less in a short run), so that a
# receiver has the time to take the last message before the run ends.
FIRST_AT, LAST_BEFORE_END = 3.0, 8.0
RETRY_AFTER = 3.0  # the network's new attempt at what a restarted module had not acknowledged


def parse_options(words):
    values = {key: default for key, (_, default) in OPTIONS.items()}
    if len(words) % 2:
        raise OrderError("expected SEED and KEY VALUE pairs")
    for key, value in zip(words[::2], words[1::2]):
        if key not in OPTIONS:
            raise OrderError("unknown chaos option %r" % key)
        try:
            values[key] = OPTIONS[key][0](value)
        except ValueError:
            raise OrderError("bad value for %s: %r" % (key, value))
    if values["memory"] not in ("SM", "ME") or not 1 <= values["messages"] <= 9999:
        raise OrderError("expected memory SM or ME, and 1 to 9999 messages")
    if values["minutes"] <= 0:
        raise OrderError("expected minutes more than 0")
    return values


class Chaos:
    def __init__(self, modem, seed, options):
        self.modem = modem
        self.options = options
        self.seed = seed
        self.began = time.monotonic()
        self.record = open(options["record"], "a", buffering=1) if options["record"] else None
        self.plan = random.Random("schedule %d" % seed)
        self.sent = {}  # label -> what the record says of the message
        self.messages = {}  # label -> the deliveries of its parts, as they reached the modem
        self.schedule = []  # (seconds into the run, what, action)
        self.set_up()
        self.plan_messages()
        self.plan_faults()
        self.schedule.sort(key=lambda item: item[0])
        self.write({"chaos": "start", "seed": seed, "wall": time.time(),
                    **{k: v for k, v in options.items() if k != "record"}})
        self.next_due()

    def set_up(self):
        o, modem = self.options, self.modem
        modem.random = random.Random(self.seed)
        orders = ["storage-size %d %s" % (max(o["storage"], modem.stores[o["memory"]].highest()),
                                          o["memory"]),
                  "memories SM,SM,%s" % o["memory"], "full-storage retry",
                  "slow-reads %g-%g %g" % (o["late"] + (o["slow-reads"],))]
        if o["unknown"] > 0:
            orders.append("unknown-lines %g inside %g" % (o["unknown"], o["inside"]))
        if o["reports"] > 0:
            orders.append("reports huawei %g" % o["reports"])
        for order in orders:
            modem.order(order)

    def span(self):
        return self.options["minutes"] * 60.0

    def window(self):
        span = self.span()
        return min(FIRST_AT, 0.05 * span), span - min(LAST_BEFORE_END, 0.1 * span)

    def at_random(self):
        return self.plan.uniform(*self.window())

    # ---- the plan -----------------------------------------------------------

    def text(self, number, kind):
        label = "c%04d" % number
        words = UCS2_WORDS + WORDS[:6] if kind.startswith("ucs2") else WORDS
        length = {"gsm7": (10, 120), "ucs2": (10, 60), "long": (170, 420),
                  "ucs2-long": (75, 200)}[kind]
        target = self.plan.randint(*length)
        text = label + (" " + self.plan.choice(UCS2_WORDS[:3]) if kind.startswith("ucs2") else "")
        while len(text) < target:
            text += " " + self.plan.choice(words)
        return label, text

    def plan_messages(self):
        o = self.options
        times = sorted(self.at_random() for _ in range(o["messages"]))
        for number, moment in enumerate(times, 1):
            long_one = self.plan.random() < o["long"]
            kind = ("ucs2" if self.plan.random() < o["ucs2"] else "gsm7")
            kind = kind + "-long" if long_one and kind == "ucs2" else ("long" if long_one else kind)
            label, text = self.text(number, kind)
            parts = pdu.deliver_parts(o["sender"], text, self.modem.centre, reference=number)
            order = list(range(len(parts)))
            if len(parts) > 1 and self.plan.random() < 0.3:
                self.plan.shuffle(order)  # parts may come in any order
            at = moment
            for position, index in enumerate(order):
                last = position == len(order) - 1
                self.schedule.append((at, "deliver %s part %d" % (label, index + 1),
                                      self.deliverer(label, text, parts[index], last)))
                at += self.plan.uniform(0.0, 2.0)
            self.sent[label] = {"message": label, "text": text, "sender": o["sender"],
                                "parts": len(parts),
                                "coding": "ucs2" if kind.startswith("ucs2") else "gsm7"}

    def deliverer(self, label, text, pdu_hex, last):
        def deliver():
            entry = self.sent[label]
            entry.setdefault("first", time.time())
            if last:
                entry["arrived"] = time.time()
                self.write({"arrived": label, "time": entry["arrived"]})
            message = self.modem.message(pdu_hex, text, label)
            self.messages.setdefault(label, []).append(message)
            self.modem.queue_delivery(message)
        return deliver

    def plan_faults(self):
        o = self.options
        # Restarts and unplugging each in a stretch of the run of their own, so that they spread.
        disruptive = ["restart"] * o["restarts"] + ["unplug"] * o["unplugs"]
        self.plan.shuffle(disruptive)
        first, last = self.window()
        stretch = (last - first) / max(1, len(disruptive))
        for number, kind in enumerate(disruptive):
            at = first + stretch * (number + self.plan.uniform(0.2, 0.8))
            self.schedule.append((at, kind, self.disruption(kind)))
        for _ in range(o["drops"]):
            self.schedule.append((self.at_random(), "routing-drop",
                                  lambda: self.modem.order("routing-drop")))
        for _ in range(o["slows"]):
            order = "slow %s %.2f" % (self.plan.choice(SLOW_COMMANDS),
                                      self.plan.uniform(*o["late"]))
            self.schedule.append((self.at_random(), order,
                                  lambda order=order: self.modem.order(order)))

    def disruption(self, kind):
        announcements = " ".join('"%s"' % text for text in self.plan.choice(ANNOUNCEMENTS))
        if kind == "unplug":
            order = "unplug %g retry %g" % (self.options["unplug-seconds"], RETRY_AFTER)
        else:
            order = "restart off %.1f %s retry %g" % (self.plan.uniform(0.5, 3.0), announcements,
                                                      RETRY_AFTER)
        return lambda: self.modem.order(order) if not self.modem.booting else None

    # ---- the run ------------------------------------------------------------

    def next_due(self):
        now = time.monotonic() - self.began
        while self.schedule and self.schedule[0][0] <= now:
            _, what, action = self.schedule.pop(0)
            self.modem.note("*", "chaos: " + what)
            action()
        if self.schedule:
            self.modem.after("chaos", self.schedule[0][0] - now, self.next_due)

    def write(self, entry):
        if self.record:
            self.record.write(json.dumps(entry, ensure_ascii=False) + "\n")

    def close(self):
        if self.record:
            self.record.close()
            self.record = None

    def in_network(self):
        """Messages the network still has to hand over: not yet sent, held for want of room,
        sent again after a restart, or sent and not acknowledged."""
        modem = self.modem
        waiting = list(modem.pending) + list(modem.held) + list(modem.unacknowledged)
        return len({m.label for m in waiting if m.label} |
                   {label for label, entry in self.sent.items() if "arrived" not in entry})

    def left(self):
        """The labels of the messages, or parts, still stored as received."""
        return sorted({place[1].label for storage in self.modem.stores.values()
                       for _, place in storage.matching(UNREAD) + storage.matching(READ)
                       if place[1].label})

    def status(self):
        left = self.left()
        arrived = sum("arrived" in entry for entry in self.sent.values())
        return ("done=%s messages=%d arrived=%d network=%d left=%d left-ids=%s lost=%d" % (
            "no" if self.schedule else "yes", len(self.sent), arrived, self.in_network(),
            len(left), ",".join(left) or "-", self.modem.lost))

    def touched(self, entry):
        """The kinds of the faults active from the message's first part reaching the modem
        until touch seconds after its last."""
        if "arrived" not in entry:
            return ["not-arrived"]
        begin, end = entry["first"], entry["arrived"] + self.options["touch"]
        now = time.time()
        kinds = {kind for kind, start, stop in self.modem.faults
                 if start <= end and (now if stop is None else stop) >= begin}
        if any(m.held for m in self.messages.get(entry["message"], ())):
            kinds.add("full")
        return sorted(kinds)

    def report(self):
        for kind, begin, end in self.modem.faults:
            self.write({"fault": kind, "begin": begin, "end": end})
        for label in sorted(self.sent):
            entry = self.sent[label]
            self.write(dict(entry, touched=self.touched(entry)))
        status = self.status()
        self.write({"report": status, "wall": time.time()})
        return status


def _chaos(modem, rest):
    words = rest.split()
    if words in (["status"], ["report"]):
        if modem.chaos is None:
            raise OrderError("no chaos run")
        return modem.chaos.status() if words[0] == "status" else modem.chaos.report()
    if words == ["off"]:
        modem.cancel("chaos")
        if modem.chaos:
            modem.chaos.close()
        modem.chaos = None
        return None
    if not words or not words[0].isdigit():
        raise OrderError("expected SEED [KEY VALUE]..., status, report or off")
    options = parse_options(words[1:])
    if modem.chaos:
        modem.chaos.close()
    modem.chaos = Chaos(modem, int(words[0]), options)
    return "%d messages, %d events" % (len(modem.chaos.sent), len(modem.chaos.schedule))


ORDERS = {"chaos": _chaos}
