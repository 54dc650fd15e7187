"""A scenario file: orders carried out in turn, with pauses and waits."""

import time

from .modem import OrderError

OWN_ORDERS = ("sleep", "wait-for", "quit")


class ScenarioError(Exception):
    pass


class Scenario:
    def __init__(self, lines):
        self.lines = lines  # (line number, text)
        self.wake = None
        self.awaited = None  # (bytes, where in the received text the wait began)
        self.quit = False
        self.failed = None

    @classmethod
    def load(cls, path, orders):
        lines = []
        with open(path, encoding="utf-8") as source:
            for number, text in enumerate(source, 1):
                text = text.strip()
                if not text or text.startswith("#"):
                    continue
                name = text.split()[0].lower()
                if name not in orders and name not in OWN_ORDERS:
                    raise ScenarioError("%s:%d: unknown order %r" % (path, number, name))
                if name == "sleep":
                    try:
                        float(text.split(None, 1)[1])
                    except (IndexError, ValueError):
                        raise ScenarioError("%s:%d: sleep needs SECONDS" % (path, number))
                lines.append((number, text))
        return cls(lines)

    def advance(self, modem):
        """Carries out what is due; returns when to look again, or None."""
        while self.lines and not self.quit:
            if self.wake is not None:
                if time.monotonic() < self.wake:
                    return self.wake
                self.wake = None
            if self.awaited is not None:
                text, since = self.awaited
                if modem.received.find(text, since) < 0:
                    return None
                self.awaited = None
            number, line = self.lines.pop(0)
            name, _, rest = line.partition(" ")
            name = name.lower()
            if name == "sleep":
                self.wake = time.monotonic() + float(rest)
            elif name == "wait-for":
                self.awaited = (rest.strip().encode("utf-8"), len(modem.received))
            elif name == "quit":
                self.quit = True
            else:
                try:
                    modem.order(line)
                except OrderError as error:
                    self.failed = "scenario line %d: %s" % (number, error)
                    self.quit = True
        return None
