"""How scripts/soak judges a run: what the simulated modem's chaos record says was sent, and
what touched it, against what each client process recorded (SoakClient.cpp). The goals: nothing
lost, at most one duplicate per kill, nothing wrong, nothing left in the modem's storage, and no
client that ended by itself."""

import json
import math
import re
import statistics

TEXT_LINE = "\r\nText: "
SENDER_LINE = re.compile(r"(?:^|\r\n)Sender No: ([^\r\n]*)")
LABEL = re.compile(r"c\d{4}")
MINUTE_MS = 60000


def read_chaos(path):
    """(messages by label, faults, status) from the sim's record after chaos report."""
    messages, faults, status = {}, [], {}
    with open(path, encoding="utf-8") as lines:
        for line in lines:
            entry = json.loads(line)
            if "message" in entry:
                messages[entry["message"]] = entry
            elif "fault" in entry:
                faults.append(entry)
            elif "report" in entry:
                status = dict(field.split("=", 1) for field in entry["report"].split())
    return messages, faults, status


# How a client process ended, as the soak saw it: killed inside its handler, stopped when asked,
# its start refused (StartReceiving failed), ended by itself, or still running when asked to stop.
ENDS = ("killed", "stopped", "refused", "exited", "stuck")


class Client:
    """One client process, as its record tells it, and how it ended."""

    def __init__(self, lines, end="stopped"):
        self.end = end
        self.start = self.ready = self.hang = self.stopped = None
        self.failed = None
        self.sms = []  # (unix ms, MsgText)
        self.samples = []  # (unix ms, {"private": n, "handles": n, "threads": n})
        self.held = (0, 0, 0)  # total us, longest us, wall ms
        for line in lines:
            kind, _, rest = line.rstrip("\n").partition(" ")
            stamp, _, rest = rest.partition(" ")
            if not stamp.isdigit():
                continue  # a line cut short by a kill
            stamp = int(stamp)
            if kind == "start":
                self.start = stamp
            elif kind == "ready":
                self.ready = stamp
            elif kind == "start-failed":
                self.failed = rest
            elif kind == "sms":
                try:
                    self.sms.append((stamp, bytes.fromhex(rest).decode("utf-8")))
                except ValueError:
                    self.sms.append((stamp, "(not UTF-8: %s)" % rest[:40]))
            elif kind == "hang":
                self.hang = stamp
            elif kind == "sample":
                self.samples.append((stamp, {k: int(v) for k, v in
                                             (f.split("=") for f in rest.split())}))
            elif kind == "held":
                self.held = tuple(int(v) for v in rest.split())
            elif kind == "stopped":
                self.stopped = stamp

    @classmethod
    def read(cls, path, end):
        with open(path, encoding="utf-8", errors="replace") as lines:
            return cls(lines.readlines(), end)


def percentile(values, share):
    ordered = sorted(values)
    return ordered[max(0, math.ceil(share * len(ordered)) - 1)]


def digits(number):
    return number.lstrip("+")


class Judgement:
    def __init__(self, messages, faults, status, clients, touch=5.0):
        self.messages, self.faults, self.status, self.clients = messages, faults, status, clients
        self.touch = touch
        self.kills = sum(c.end == "killed" for c in clients)
        self.crashes = sum(c.end in ("exited", "stuck") for c in clients)
        self.refused = [c.failed for c in clients if c.failed]
        self.outages = self.client_outages()
        self.delivered, self.wrong = {}, []
        for client in clients:
            for stamp, text in client.sms:
                self.take(stamp, text)

    def client_outages(self):
        """(begin, end) in seconds of each time no client listened: from a kill, or the last
        sign of life of one that ended, until touch seconds after the next one was ready."""
        outages = []
        for client, after in zip(self.clients, self.clients[1:]):
            signs = [client.hang, client.sms[-1][0] if client.sms else None, client.ready,
                     client.start]
            gone = next((stamp for stamp in signs if stamp is not None), None)
            back = after.ready or after.start or gone
            if gone is not None:
                outages.append((gone / 1000.0, back / 1000.0 + self.touch))
        return outages

    def take(self, stamp, summary):
        at = summary.find(TEXT_LINE)
        text = summary[at + len(TEXT_LINE):] if at >= 0 else None
        label = LABEL.match(text or "")
        entry = self.messages.get(label.group(0)) if label else None
        sender = SENDER_LINE.search(summary)
        if entry is None:
            self.wrong.append("a text never sent: %r" % summary[-60:])
        elif text != entry["text"] or not sender or digits(sender.group(1)) != digits(
                entry["sender"]):
            self.wrong.append("%s garbled: %r" % (label.group(0), summary[-60:]))
        else:
            self.delivered.setdefault(label.group(0), []).append(stamp / 1000.0)

    # ---- figures ------------------------------------------------------------

    def lost(self):
        return sorted(set(self.messages) - set(self.delivered))

    def duplicates(self):
        return sum(len(times) - 1 for times in self.delivered.values())

    def left(self):
        return [label for label in self.status.get("left-ids", "-").split(",") if label != "-"]

    def untouched_latencies(self):
        """Seconds from the message's arrival at the modem to its first OnNewSms, of the
        messages that neither a fault nor a missing client touched."""
        latencies = []
        for label, times in self.delivered.items():
            entry = self.messages[label]
            if entry["touched"] or "arrived" not in entry:
                continue
            begin, end = entry["first"], entry["arrived"] + self.touch
            if any(start <= end and stop >= begin for start, stop in self.outages):
                continue
            latencies.append(times[0] - entry["arrived"])
        return latencies

    def held(self):
        """(share of the time, longest in ms) the clients' thread was held outside handlers."""
        total = sum(c.held[0] for c in self.clients) / 1000.0
        wall = sum(c.held[2] for c in self.clients)
        longest = max((c.held[1] for c in self.clients), default=0) / 1000.0
        return (100.0 * total / wall if wall else 0.0), longest

    def growth(self):
        """The longest-lived client's figures a minute after it was ready and at its last
        sample, with the minutes between, or None without samples."""
        lived = [c for c in self.clients if c.samples]
        if not lived:
            return None
        client = max(lived, key=lambda c: c.samples[-1][0] - c.samples[0][0])
        ready = client.ready or client.samples[0][0]
        first = next((s for s in client.samples if s[0] >= ready + MINUTE_MS), client.samples[0])
        last = client.samples[-1]
        return first[1], last[1], (first[0] - ready) / MINUTE_MS, (last[0] - ready) / MINUTE_MS

    def fault_counts(self):
        counts = {}
        for fault in self.faults:
            counts[fault["fault"]] = counts.get(fault["fault"], 0) + 1
        full = sum("full" in entry["touched"] for entry in self.messages.values())
        if full:
            counts["full (messages held)"] = full
        return counts

    # ---- the verdict ---------------------------------------------------------

    def failures(self):
        failed = []
        if self.lost():
            failed.append("%d lost" % len(self.lost()))
        if self.duplicates() > self.kills:
            failed.append("%d duplicates for %d kills" % (self.duplicates(), self.kills))
        if self.wrong:
            failed.append("%d wrong" % len(self.wrong))
        if self.left():
            failed.append("%d left in storage" % len(self.left()))
        if self.crashes:
            failed.append("%d client processes ended by themselves" % self.crashes)
        return failed

    def lines(self):
        lost, left = self.lost(), self.left()
        out = ["delivered       %d of %d%s" % (
            len(self.delivered), len(self.messages),
            "; lost: %s (%s still with the network)" % (" ".join(lost), self.status.get(
                "network", "?")) if lost else "")]
        out.append("duplicates      %d, for %d kills (at most one each)" % (self.duplicates(),
                                                                          self.kills))
        out.append("wrong           %d" % len(self.wrong))
        out += ["                  " + text for text in self.wrong[:5]]
        out.append("left in storage %d%s" % (len(left), ": " + " ".join(left) if left else ""))
        latencies = self.untouched_latencies()
        if latencies:
            out.append("latency         of the %d messages no fault touched: median %.0f ms, "
                       "99th percentile %.0f ms, longest %.0f ms" % (
                           len(latencies), 1000 * statistics.median(latencies),
                           1000 * percentile(latencies, 0.99), 1000 * max(latencies)))
        else:
            out.append("latency         no message untouched by faults was delivered")
        share, longest = self.held()
        out.append("client thread   held %.2f%% of the time outside its handlers, at most "
                   "%.1f ms at once" % (share, longest))
        growth = self.growth()
        if growth:
            first, last, at, until = growth
            out.append("client process  private bytes %.1f -> %.1f MB, handles %d -> %d, "
                       "threads %d -> %d (minute %.1f to %.1f of the longest-lived of %d)" % (
                           first["private"] / 2**20, last["private"] / 2**20, first["handles"],
                           last["handles"], first["threads"], last["threads"], at, until,
                           len(self.clients)))
        counts = self.fault_counts()
        out.append("faults          " + (", ".join("%s %d" % item for item in sorted(
            counts.items())) or "none"))
        if self.refused:
            out.append("starts refused  %d: %s" % (len(self.refused), self.refused[0]))
        return out
