"""The simulated modem: a pseudo-terminal that answers AT command lines and
delivers messages as unsolicited +CMT results, with scriptable faults."""

import collections
import os
import pty
import termios
import time
import tty

from . import pdu

OK = b"\r\nOK\r\n"
ERROR = b"\r\nERROR\r\n"
PLACES = ("before", "inside", "after")
LINE_ENDS = {"crlf": "\r\n", "cr": "\r", "lf": "\n"}


class OrderError(Exception):
    pass


class Message:
    """A queued delivery: its PDU, and its text when the sim built it."""

    def __init__(self, pdu_hex, text=None):
        self.pdu_hex = pdu_hex
        self.text = text

    def delivery(self, text_mode, line_end):
        """As a modem routed by +CNMI=1,2 sends it: in PDU mode the header and the PDU; in text
        mode the sender and time stamp, then the text (of a message given as a PDU, its user
        data in hex, as a modem shows 8-bit data)."""
        if text_mode:
            originator, user_data = pdu.text_mode_fields(self.pdu_hex)
            header = '+CMT: "%s",,"%s"' % (originator, time.strftime("%y/%m/%d,%H:%M:%S+00"))
            body = user_data if self.text is None else self.text
        else:
            header = "+CMT: ,%d" % pdu.tpdu_length(self.pdu_hex)
            body = self.pdu_hex
        return line_end.join(("", header, body, "")).encode("latin-1", "replace")


def printable(data):
    return "".join(chr(b) if 32 <= b < 127 and b != 0x5C else "\\x%02x" % b for b in data)


class Modem:
    def __init__(self, link, centre="+491700000000", echo=True, hold=True, log=None):
        self.link = link
        self.centre = centre
        self.default_echo = echo
        self.default_hold = hold
        self.log_file = log
        self.start = time.monotonic()
        self.master = self.slave = None
        self.pty_name = None
        self.received = bytearray()  # everything ever received, for scenario waits
        self.output = collections.deque()  # bytes to write, or a float: a pause in seconds
        self.resume_at = None
        self.reset_state()
        self.open_pty()

    # ---- state -----------------------------------------------------------

    def reset_state(self):
        self.echo = self.default_echo
        self.hold = self.default_hold
        self.text_mode = False
        self.line_end = LINE_ENDS["crlf"]
        self.line = b""
        self.last_line = None
        self.pending = collections.deque()  # deliveries not yet written
        self.awaiting_ack = False
        self.errors = 0
        self.silent = 0
        self.split_reply = None  # (offset, pause seconds)
        self.split_delivery = None
        self.during = None  # (place, pause seconds)
        self.together = 1  # deliveries that go out in one write
        self.entries = []  # (seconds since start, bytes) per read from the line
        self.output.clear()
        self.resume_at = None

    def now(self):
        return time.monotonic() - self.start

    def note(self, kind, data):
        if self.log_file:
            text = data if isinstance(data, str) else printable(data)
            self.log_file.write("%9.3f %s %s\n" % (self.now(), kind, text))
            self.log_file.flush()

    # ---- the pseudo-terminal ---------------------------------------------

    def open_pty(self):
        master, slave = pty.openpty()
        tty.setraw(slave)
        os.set_blocking(master, False)
        self.master, self.slave = master, slave
        self.pty_name = os.ttyname(slave)
        # The sim keeps the slave open too, so the master never sees a hang-up
        # while no client has the port open.
        staging = self.link + ".new"
        if os.path.lexists(staging):
            os.unlink(staging)
        os.symlink(self.pty_name, staging)
        os.replace(staging, self.link)
        self.note("*", "pty %s linked as %s" % (self.pty_name, self.link))

    def close_pty(self):
        if self.master is None:
            return
        try:
            if os.readlink(self.link) == self.pty_name:
                os.unlink(self.link)
        except OSError:
            pass
        os.close(self.master)
        os.close(self.slave)
        self.master = self.slave = None
        self.output.clear()
        self.resume_at = None
        self.note("*", "pty closed")

    def gone(self):
        return self.master is None

    def flush_line(self):
        """Drops what the client has not read yet, so a new test starts clean."""
        if self.slave is not None:
            termios.tcflush(self.slave, termios.TCIOFLUSH)

    # ---- output ----------------------------------------------------------

    def send(self, *pieces):
        """Queues bytes and pauses (floats, in seconds) in order."""
        for piece in pieces:
            if isinstance(piece, float) or piece:
                self.output.append(piece)

    def send_split(self, data, split):
        offset, pause = split
        self.send(data[:offset], pause, data[offset:])

    def wants_write(self):
        return bool(self.output) and not isinstance(self.output[0], float)

    def pump(self):
        """Writes queued output; returns when the next pause ends, or None."""
        while self.output and self.master is not None:
            item = self.output[0]
            if isinstance(item, float):
                if self.resume_at is None:
                    self.resume_at = time.monotonic() + item
                if time.monotonic() < self.resume_at:
                    return self.resume_at
                self.resume_at = None
                self.output.popleft()
                continue
            try:
                count = os.write(self.master, item)
            except BlockingIOError:
                return None
            self.note(">", item[:count])
            if count < len(item):
                self.output[0] = item[count:]
                return None
            self.output.popleft()
        return None

    # ---- input -----------------------------------------------------------

    def read_line_side(self):
        try:
            data = os.read(self.master, 4096)
        except (BlockingIOError, InterruptedError):
            return
        except OSError:
            return
        if not data:
            return
        self.entries.append((self.now(), data))
        self.received += data
        self.note("<", data)
        for value in data:
            self.feed(bytes([value]))

    def feed(self, ch):
        if not self.line and ch in (b"\n", b" "):
            return
        if ch == b"\r":
            line, self.line = self.line, b""
            self.on_line(line)
            return
        self.line += ch
        if self.line.lower() == b"a/":
            self.line = b""
            self.on_repeat()

    def on_line(self, line):
        if self.silent:
            self.silent -= 1
            self.note("*", "silent")
            return
        command = line.strip()
        if not command:
            return
        echo = line + b"\r" if self.echo else b""
        if not command.upper().startswith(b"AT"):
            self.send(echo)  # a modem ignores lines that do not start with AT
            return
        self.last_line = command
        self.answer(echo, command)

    def on_repeat(self):
        if self.silent:
            self.silent -= 1
            self.note("*", "silent")
            return
        echo = b"a/" if self.echo else b""
        self.answer(echo, self.last_line or b"AT")

    def answer(self, echo, command):
        intermediate, final, acknowledged = self.execute(command)
        reply = echo + intermediate
        attached = self.take_attached()
        pieces = [reply + final]
        if attached:
            (place, pause), delivery = attached
            if place == "before":
                pieces = [delivery, pause, reply + final]
            elif place == "inside":
                pieces = [reply, pause, delivery + final]
            else:
                pieces = [reply + final, pause, delivery]
        if self.split_reply:
            # A split takes the place of any pause, anywhere in the whole.
            data = b"".join(p for p in pieces if not isinstance(p, float))
            self.send_split(data, self.split_reply)
            self.split_reply = None
        else:
            self.send(*pieces)
        if acknowledged:
            self.awaiting_ack = False
            self.deliver_pending()

    def execute(self, command):
        """(intermediate text, final result, whether this acknowledged a delivery)."""
        if self.errors:
            self.errors -= 1
            return b"", ERROR, False
        body = command[2:].upper()
        if body in (b"E0", b"E1"):
            self.echo = body == b"E1"
        if body.startswith(b"+CSMS="):
            return b"\r\n+CSMS: 1,1,1\r\n", OK, False
        if body.startswith(b"+CMGF="):
            if body[6:] not in (b"0", b"1"):
                return b"", ERROR, False
            self.text_mode = body[6:] == b"1"
        return b"", OK, body == b"+CNMA"

    # ---- deliveries ------------------------------------------------------

    def queue_delivery(self, message):
        self.pending.append(message)
        self.deliver_pending()

    def rendered(self, count):
        return b"".join(self.pending.popleft().delivery(self.text_mode, self.line_end)
                        for _ in range(count))

    def take_attached(self):
        if not self.during or not self.pending:
            return None
        during, self.during = self.during, None
        self.awaiting_ack = True
        return during, self.rendered(1)

    def deliver_pending(self):
        while self.pending and not self.during:
            if self.hold and self.awaiting_ack:
                return
            if len(self.pending) < self.together:
                return
            data = self.rendered(self.together)
            self.together = 1
            if self.split_delivery:
                self.send_split(data, self.split_delivery)
                self.split_delivery = None
            else:
                self.send(data)
            self.awaiting_ack = True

    # ---- orders ----------------------------------------------------------

    def order(self, line):
        """Carries out one order; returns the reply text without "ok"."""
        words = line.split(None, 1)
        if not words:
            raise OrderError("empty order")
        name = words[0].lower()
        rest = words[1] if len(words) > 1 else ""
        handler = ORDERS.get(name)
        if handler is None:
            raise OrderError("unknown order %r" % name)
        self.note("*", line)
        return handler(self, rest) or ""


def _switch(rest):
    value = rest.strip().lower()
    if value not in ("on", "off"):
        raise OrderError("expected on or off")
    return value == "on"


def _count(rest):
    value = rest.strip() or "1"
    if not value.isdigit():
        raise OrderError("expected a count")
    return int(value)


def _split(rest):
    parts = rest.split()
    if len(parts) != 2 or not all(p.isdigit() for p in parts):
        raise OrderError("expected OFFSET PAUSE_MS")
    return int(parts[0]), int(parts[1]) / 1000.0


def _message(modem, rest):
    """A message given as "pdu HEX" or "text NUMBER TEXT"."""
    words = rest.split(None, 1)
    kind = words[0].lower() if words else ""
    if kind == "pdu" and len(words) == 2:
        hex_text = words[1].strip().upper()
        try:
            bytes.fromhex(hex_text)
        except ValueError:
            raise OrderError("not hexadecimal: %r" % hex_text)
        return Message(hex_text)
    if kind == "text" and len(words) == 2:
        number, _, text = words[1].partition(" ")
        text = text.encode("utf-8").decode("unicode_escape").encode("latin-1").decode("utf-8")
        try:
            return Message(pdu.deliver_pdu(number, text, modem.centre)[0], text)
        except ValueError as error:
            raise OrderError(str(error))
    raise OrderError("expected: pdu HEX | text NUMBER TEXT")


def _deliver(modem, rest):
    message = _message(modem, rest)
    modem.queue_delivery(message)
    return message.pdu_hex


def _deliver_during(modem, rest):
    parts = rest.split()
    if not parts or parts[0] not in PLACES or len(parts) > 2 or not all(p.isdigit() for p in parts[1:]):
        raise OrderError("expected before|inside|after [PAUSE_MS]")
    pause = int(parts[1]) / 1000.0 if len(parts) == 2 else 0.0
    modem.during = (parts[0], pause)


def _together(modem, rest):
    value = rest.strip() or "2"
    if not value.isdigit() or int(value) < 1:
        raise OrderError("expected a count of 1 or more")
    modem.together = int(value)
    modem.deliver_pending()


def _mode(modem, rest):
    value = rest.strip().lower()
    if value not in ("pdu", "text"):
        raise OrderError("expected pdu or text")
    modem.text_mode = value == "text"


def _line_end(modem, rest):
    value = rest.strip().lower()
    if value not in LINE_ENDS:
        raise OrderError("expected crlf, cr or lf")
    modem.line_end = LINE_ENDS[value]


def _log(modem, rest):
    return " ".join("%.4f:%s" % (t, data.hex()) for t, data in modem.entries)


def _clear_log(modem, rest):
    modem.entries = []


def _send(modem, rest):
    try:
        modem.send(bytes.fromhex(rest.strip()))
    except ValueError:
        raise OrderError("expected hexadecimal bytes")


def _trickle(modem, rest):
    parts = rest.split()
    try:
        data, gap = bytes.fromhex(parts[0]), int(parts[1]) / 1000.0
    except (IndexError, ValueError):
        raise OrderError("expected HEX GAP_MS")
    for i in range(len(data)):
        modem.send(data[i:i + 1], gap)


def _reset(modem, rest):
    modem.reset_state()
    if modem.gone():
        modem.open_pty()
    modem.flush_line()


def _go_away(modem, rest):
    modem.close_pty()


def _come_back(modem, rest):
    if modem.gone():
        modem.open_pty()


def _status(modem, rest):
    return "echo=%s hold=%s mode=%s queued=%d awaiting-ack=%s present=%s" % (
        "on" if modem.echo else "off", "on" if modem.hold else "off",
        "text" if modem.text_mode else "pdu", len(modem.pending),
        "yes" if modem.awaiting_ack else "no", "no" if modem.gone() else "yes")


def _hold(modem, rest):
    modem.hold = _switch(rest)
    modem.deliver_pending()


def _set(attribute, parse):
    def handler(modem, rest):
        setattr(modem, attribute, parse(rest))
    return handler


ORDERS = {
    "ping": lambda modem, rest: None,
    "reset": _reset,
    "echo": _set("echo", _switch),
    "hold": _hold,
    "deliver": _deliver,
    "deliver-during": _deliver_during,
    "together": _together,
    "mode": _mode,
    "line-end": _line_end,
    "error": _set("errors", _count),
    "silent": _set("silent", _count),
    "split-reply": _set("split_reply", _split),
    "split-delivery": _set("split_delivery", _split),
    "send": _send,
    "trickle": _trickle,
    "go-away": _go_away,
    "come-back": _come_back,
    "log": _log,
    "clear-log": _clear_log,
    "status": _status,
}
