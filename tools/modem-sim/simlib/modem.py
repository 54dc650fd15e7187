"""The simulated modem: a pseudo-terminal that answers AT command lines, routes
incoming messages as AT+CNMI says (+CMT, or stored and announced with +CMTI),
keeps a message storage, and plays scriptable faults and modem families."""

import collections
import os
import pty
import random
import termios
import time
import tty

from . import chaos, faults, offers, pdu, ports
from .basics import OrderError, info, restart_words, seconds as _seconds
from .storage import ALL, READ, SENT, STAT_NAMES, UNREAD, UNSENT, Storage

OK = b"\r\nOK\r\n"
ERROR = b"\r\nERROR\r\n"
PLACES = ("before", "inside", "after")
LINE_ENDS = {"crlf": "\r\n", "cr": "\r", "lf": "\n"}
# The sim starts as if AT+CSMS=1 and AT+CNMI=1,2 had been given, so that a receiver that
# sets nothing up still gets +CMT; a restart brings the module's own power-on routing.
STARTING_ROUTING = (1, 2, 0, 0, 0)
POWER_ON_ROUTING = (0, 0, 0, 0, 0)
STORAGE_SIZE = 30
MEMORIES = ("SM", "ME")  # the SIM's and the phone's own message memory
MEM1, MEM3 = 0, 2  # AT+CPMS: where +CMGL/+CMGR/+CMGD act; where what comes in is stored
STARTING_MEMORIES = ("SM", "SM", "SM")
FULL_STORAGE = ("lose", "retry")
STORED_STATS = {"unread": UNREAD, "read": READ, "unsent": UNSENT, "sent": SENT}
IDENTITY = {"+CGMI": "Pelvaro Sim", "+CGMM": "GSM Modem Sim 1", "+CGMR": "1.0"}
ANY_KIND = ("", "=", "?", "=?")
# The message commands that need a ready SIM, and of which kinds: reading the +CSMS and
# +CNMI settings needs none, nor does anything of +CMGF.
NEEDS_SIM = {"+CSMS": ("=", "=?"), "+CNMI": ("=", "=?"), "+CPMS": ANY_KIND, "+CMGL": ANY_KIND,
             "+CMGR": ANY_KIND, "+CMGD": ANY_KIND, "+CNMA": ANY_KIND}
SIM_LOCKED = {"pin": 311, "puk": 316}  # +CMS ERROR of message commands; busy: as sim busy says
PIN_TRIES = 3
SIM_READY_AFTER = 1.0  # from the right PIN to +CPIN: READY
SMS_READY_AFTER = 0.5  # from +CPIN: READY to SMS Ready
BUSY_ANSWERS = {"cme14": ("cpin", "cme14"), "notready": ("cpin", "notready"),
                "cms314": ("cms", 314), "cms515": ("cms", 515)}
DEFAULT_REFUSAL = "+CMS ERROR: 500"
# A module that is on again still has to be set up: a restart or an unplugging counts as a fault
# until the client has routed what comes in to itself again, or, where the module's power-on
# routing does, until this long after it is on.
SETTLING_SECONDS = 5.0
HUAWEI_REPORTS = (
    "^RSSI:17",
    "^DSFLOWRPT:0000001E,00000000,00000000,0000000000000000,0000000000000000,0003E800,0003E800",
    "^MODE:5,4",
    "^BOOT:20952548,0,0,0,75",
)


class Message:
    """A queued delivery: its PDU, and its text when the sim built it."""

    def __init__(self, pdu_hex, text=None, label=None):
        self.pdu_hex = pdu_hex
        self.text = text
        self.label = label  # what a chaos run calls the message it belongs to
        self.held = False  # whether the network ever held it for want of room
        self.message_class = pdu.message_class(pdu_hex)
        self.submit = pdu.is_submit(pdu_hex)

    def text_fields(self):
        """(sender, time stamp, text) as text mode shows them; of a message given as a PDU,
        the user data in hex, as a modem shows 8-bit data."""
        originator, user_data = pdu.text_mode_fields(self.pdu_hex)
        stamp = time.strftime("%y/%m/%d,%H:%M:%S+00")
        return originator, stamp, user_data if self.text is None else self.text

    def delivery(self, text_mode, line_end):
        """As a modem routed by +CNMI=1,2 sends it: in PDU mode the header and the PDU; in text
        mode the sender and time stamp, then the text."""
        if text_mode:
            originator, stamp, body = self.text_fields()
            header = '+CMT: "%s",,"%s"' % (originator, stamp)
        else:
            header = "+CMT: ,%d" % pdu.tpdu_length(self.pdu_hex)
            body = self.pdu_hex
        return line_end.join(("", header, body, "")).encode("latin-1", "replace")


def cms_error(code):
    return info("+CMS ERROR: %d" % code)


def cme_error(code):
    return info("+CME ERROR: %d" % code)


def split_command(body):
    """(name, kind, arguments): ("+CNMI", "=", "1,2") from +CNMI=1,2; kind is "=?" for a test
    command, "?" for a read command, "=" for a setting and "" for an action."""
    for at, ch in enumerate(body):
        if ch in "=?":
            name, rest = body[:at], body[at:]
            for kind in ("=?", "?", "="):
                if rest.startswith(kind):
                    return name, kind, rest[len(kind):]
    return body, "", ""


def printable(data):
    return "".join(chr(b) if 32 <= b < 127 and b != 0x5C else "\\x%02x" % b for b in data)


class Modem:
    def __init__(self, link, centre="+491700000000", echo=True, hold=True, log=None,
                 personality="modem"):
        self.link = link
        self.personality = personality
        self.noise = ports.Noise()
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
        self.timers = {}  # name -> (when, action)
        self.reset_state()
        self.open_pty()

    # ---- state -----------------------------------------------------------

    def reset_state(self):
        if getattr(self, "chaos", None):
            self.chaos.close()
        self.hold = self.default_hold
        self.line_end = LINE_ENDS["crlf"]
        self.pending = collections.deque()  # messages that have not yet come in
        self.timers.clear()
        self.refusals = {}  # upper-case prefix -> final result
        self.offers = dict(offers.DEFAULTS)
        self.stores = {name: Storage(STORAGE_SIZE) for name in MEMORIES}
        self.power_on_memories = STARTING_MEMORIES
        self.full_storage = "lose"
        self.held = collections.deque()  # kept by the network until mem3 has room
        self.lost = 0
        self.strict_ack = False
        self.ack_timeout = None
        self.power_on_routing = POWER_ON_ROUTING
        self.reports = None  # seconds between Huawei-style reports
        self.next_report = 0
        self.last_direct = None  # the last message that went out as +CMT
        self.afterwards = []  # what follows the reply being made
        self.sim = "ready"  # or pin, puk, busy, or starting: +CPIN: READY said, SMS Ready not yet
        self.pin_code = None  # a SIM with a PIN asks for it again after each restart
        self.pin_tries = self.pin_tries_full = PIN_TRIES
        self.pin_sent = 0
        self.sim_ready_after = SIM_READY_AFTER
        self.busy = {"cpin": "cme14", "cms": 314}
        self.random = random.Random(0)  # the faults that come by chance; chaos seeds it
        self.slow = []  # [prefix, seconds, count] of commands answered late
        self.slow_reads = None  # (low, high, probability)
        self.working = None  # the fault entry of a command whose reply is late
        self.backlog = bytearray()  # what came in meanwhile, for after that reply
        self.unknown_lines = None  # (period, probability inside a reply)
        self.restart_every = None  # ((low, high), restart words)
        self.faults = []  # [kind, begin, end or None], wall-clock times, for chaos runs
        self.dropped = None  # the fault entry of routing dropped without a word
        self.chaos = None
        self.power_on(1, STARTING_ROUTING)
        self.errors = 0
        self.silent = 0
        self.split_reply = None  # (offset, pause seconds)
        self.split_delivery = None
        self.during = None  # (place, pause seconds)
        self.together = 1  # deliveries that go out in one write
        self.entries = []  # (seconds since start, bytes) per read from the line
        self.output.clear()
        self.resume_at = None
        if self.personality == "junk":
            self.after("noise", self.noise.pause(), self.junk_unasked)

    def power_on(self, phase, routing):
        """The module's own settings, as a restart leaves them; storage survives."""
        self.echo = self.default_echo
        self.text_mode = False
        self.line = b""
        self.last_line = None
        self.phase = phase
        self.routing = list(routing)
        self.memories = list(self.power_on_memories)
        self.awaiting_ack = False
        self.unacknowledged = []  # what the +CMT awaiting AT+CNMA carried
        self.buffered = []  # announcements kept back under AT+CNMI mode 0
        self.curc = True
        self.booting = False
        self.cancel("ack")
        # A late reply dies with the module, and so does what came in meanwhile.
        self.cancel("slow")
        self.fault_ends(self.working)
        self.working = None
        self.backlog = bytearray()
        if self.pin_code is not None and self.sim != "puk":
            self.sim = "pin"
            self.cancel("sim")

    # ---- timers ----------------------------------------------------------

    def after(self, name, seconds, action):
        """Runs action after seconds, in place of any timer of that name."""
        self.timers[name] = (time.monotonic() + seconds, action)

    def cancel(self, name):
        self.timers.pop(name, None)

    def run_timers(self):
        """Runs the timers that are due; returns when the next one is, or None."""
        now = time.monotonic()
        for name, entry in list(self.timers.items()):
            if entry[0] <= now and self.timers.get(name) is entry:
                del self.timers[name]
                entry[1]()
        return min((when for when, _ in self.timers.values()), default=None)

    def now(self):
        return time.monotonic() - self.start

    # ---- faults, as a chaos run reports them -------------------------------

    def fault_begins(self, kind, lasting=None):
        """Notes a fault from now, for lasting seconds or until fault_ends; returns its entry."""
        now = time.time()
        entry = [kind, now, None if lasting is None else now + lasting]
        self.faults.append(entry)
        return entry

    def fault_ends(self, entry, later=0.0):
        if entry is not None and entry[2] is None:
            entry[2] = time.time() + later

    def drop_routing(self, kind):
        """Routing to the client stops without a word (mt and ds 0), as a module does after an
        acknowledgement timed out."""
        self.routing[1] = self.routing[3] = 0
        if self.dropped is None:
            self.dropped = self.fault_begins(kind)

    def routing_restored(self):
        if self.routing[1] != 0:
            self.fault_ends(self.dropped)
            self.dropped = None

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
        """Runs due timers and writes queued output; returns when to look again, or None."""
        wakes = [w for w in (self.run_timers(), self.write_output()) if w is not None]
        return min(wakes) if wakes else None

    def write_output(self):
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
        if self.personality == "silent":
            return
        if self.booting:
            self.note("*", "restarting: not heard")
            return
        self.take_input(data)

    def take_input(self, data):
        # A modem works on one command at a time: what comes while a reply is late waits.
        for at in range(len(data)):
            if self.working is not None:
                self.backlog += data[at:]
                return
            self.feed(data[at:at + 1])

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
        if self.personality == "junk":
            self.send(self.noise.burst())
            return
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
        if self.personality == "junk":
            self.send(self.noise.burst())
            return
        if self.silent:
            self.silent -= 1
            self.note("*", "silent")
            return
        echo = b"a/" if self.echo else b""
        self.answer(echo, self.last_line or b"AT")

    def answer(self, echo, command):
        delay = faults.delay_for(self, command)
        if delay:
            # The echo comes as the line does; the rest, and what the command does, later.
            self.send(echo)
            self.working = self.fault_begins("slow")
            self.note("*", "answered in %.1f s" % delay)
            self.after("slow", delay, lambda: self.answer_late(command))
            return
        intermediate, final = self.execute(command)
        reply = echo + faults.unknown_inside(self, intermediate)
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
        afterwards, self.afterwards = self.afterwards, []
        for action in afterwards:
            action()

    def answer_late(self, command):
        self.fault_ends(self.working)
        self.working = None
        intermediate, final = self.execute(command)
        self.send(intermediate + final)
        afterwards, self.afterwards = self.afterwards, []
        for action in afterwards:
            action()
        backlog, self.backlog = bytes(self.backlog), bytearray()
        self.take_input(backlog)

    def execute(self, command):
        """(intermediate text, final result); what must follow the reply goes to afterwards."""
        if self.errors:
            self.errors -= 1
            return b"", ERROR
        body = command[2:].upper().decode("latin-1")
        refusal = self.refusal(body)
        if refusal is not None:
            return b"", refusal
        if body in ("E0", "E1"):
            self.echo = body == "E1"
            return b"", OK
        name, kind, arguments = split_command(body)
        if self.personality == "at-no-sms":
            result = ports.without_sms(name, kind)
            if result is not None or name not in NO_SMS_PORT_COMMANDS:
                return b"", info(result) if result else OK
        if kind in NEEDS_SIM.get(name, ()) and self.sim != "ready":
            return b"", cms_error(SIM_LOCKED.get(self.sim, self.busy["cms"]))
        if kind == "=?":
            offer = self.offers.get(name)
            return (b"" if offer is None else info("%s: %s" % (name, offer))), OK
        handler = COMMANDS.get(name)
        if handler is None:
            return b"", OK
        return handler(self, kind, arguments.strip())

    def refusal(self, body):
        """The final result of the longest refused prefix the command starts with, or None."""
        prefixes = [p for p in self.refusals if body.startswith(p)]
        return info(self.refusals[max(prefixes, key=len)]) if prefixes else None

    def not_offered(self, name, values):
        """Whether a setting has a value outside what the test command offers."""
        offer = self.offers.get(name)
        return offer is not None and offers.first_refused(offers.parse(offer), values) is not None

    def storage_offered(self):
        return bool(offers.parse(self.offers["+CPMS"])[0]) if "+CPMS" in self.offers else True

    def stored(self, head, place):
        """One entry of a +CMGL or +CMGR answer: header line and PDU (or text)."""
        stat, message = place
        if self.text_mode:
            number, stamp, body = message.text_fields()
            fields = '"%s","%s",' % (STAT_NAMES[stat], number)
            fields += "" if message.submit else ',"%s"' % stamp  # a draft has no time stamp
        else:
            fields = "%d,,%d" % (stat, pdu.tpdu_length(message.pdu_hex))
            body = message.pdu_hex
        return ("%s%s\r\n%s\r\n" % (head, fields, body)).encode("latin-1", "replace")

    def stat_parameter(self, text):
        """The <stat> of AT+CMGL: a number in PDU mode, a quoted name in text mode; None when
        it is neither (0, unread, when omitted)."""
        if not text:
            return UNREAD
        if self.text_mode:
            name = text[1:-1] if len(text) >= 2 and text[0] == text[-1] == '"' else None
            return STAT_NAMES.index(name) if name in STAT_NAMES else None
        return int(text) if text.isdigit() and int(text) <= ALL else None

    # ---- deliveries ------------------------------------------------------

    @staticmethod
    def message(pdu_hex, text=None, label=None):
        return Message(pdu_hex, text, label)

    def queue_delivery(self, message, first=False):
        if first:
            self.pending.appendleft(message)
        else:
            self.pending.append(message)
        self.deliver_pending()

    def holding(self):
        # Only phase 2+ (AT+CSMS=1) makes a +CMT wait for AT+CNMA.
        return self.hold and self.phase == 1 and self.awaiting_ack

    def memory(self, position):
        """The storage AT+CPMS has set at MEM1 or MEM3."""
        return self.stores[self.memories[position]]

    def keep(self, message):
        """Stores a message that came in, in mem3; its index, or None when mem3 was full."""
        index = self.memory(MEM3).put(message)
        if index is None and self.full_storage == "retry":
            message.held = True
            self.held.append(message)
            self.note("*", "storage full: the network holds the message")
        elif index is None:
            self.lost += 1
            self.note("*", "storage full: message lost")
        return index

    def retry_held(self):
        # As a network does once the modem says it has room again: in order, routed anew.
        if self.held and not self.memory(MEM3).full():
            self.pending.extendleft(reversed(self.held))
            self.held.clear()

    def route(self, message):
        """A message comes in: what the line gets for it as AT+CNMI routes it, its +CMT or
        +CMTI, or nothing (stored silently, or lost)."""
        mt, cls = self.routing[1], message.message_class
        if (mt == 2 and cls != 2) or (mt == 3 and cls == 3):
            if self.phase == 1:  # phase 2 needs no acknowledgement
                self.awaiting_ack = True
                self.unacknowledged.append(message)
            self.last_direct = message
            data = message.delivery(self.text_mode, self.line_end)
        else:
            index = self.keep(message)
            if index is None or mt == 0:
                return b""
            data = self.line_end.join(("", '+CMTI: "%s",%d' % (self.memories[2], index), ""))
            data = data.encode("latin-1")
        if self.routing[0] == 0:
            self.buffered.append(data)
            return b""
        return data

    def start_ack_clock(self):
        if (self.ack_timeout is not None and self.unacknowledged and self.hold
                and "ack" not in self.timers):
            self.after("ack", self.ack_timeout, self.ack_timed_out)

    def ack_timed_out(self):
        # The module stores what was not acknowledged and stops routing to the TE.
        kept, self.unacknowledged = self.unacknowledged, []
        self.awaiting_ack = False
        for message in kept:
            self.keep(message)
        self.drop_routing("ack-timeout")
        self.note("*", "acknowledgement timed out: stored, routing mt 0")
        self.deliver_pending()

    def acknowledged(self):
        self.awaiting_ack = False
        self.unacknowledged = []
        self.cancel("ack")
        self.deliver_pending()

    def receiving(self):
        """Whether what comes in may be routed; until then the network keeps it."""
        return not self.booting and self.sim == "ready"

    def take_attached(self):
        if not self.during or not self.pending or not self.receiving():
            return None
        during, self.during = self.during, None
        data = self.route(self.pending.popleft())
        self.start_ack_clock()
        return during, data

    def deliver_pending(self):
        self.retry_held()
        while self.pending and not self.during and self.receiving():
            if self.holding():
                return
            if len(self.pending) < self.together:
                return
            count, self.together = self.together, 1
            data = b"".join(self.route(self.pending.popleft()) for _ in range(count))
            self.start_ack_clock()
            if not data:
                continue
            if self.split_delivery:
                self.send_split(data, self.split_delivery)
                self.split_delivery = None
            else:
                self.send(data)

    # ---- the SIM ---------------------------------------------------------

    def sim_busy(self, seconds):
        self.sim = "busy"
        self.after("sim", seconds, self.sim_up)

    def sim_up(self):
        if self.after_boot(self.sim_up):
            return
        self.sim = "starting"
        self.send(info("+CPIN: READY"))
        self.after("sim", SMS_READY_AFTER, self.sms_up)

    def sms_up(self):
        if self.after_boot(self.sms_up):
            return
        self.sim = "ready"
        self.send(info("SMS Ready"))
        self.deliver_pending()

    def after_boot(self, action):
        # A module that is off says nothing yet: it says it once it is on.
        if self.booting:
            self.after("sim", 0.05, action)
        return self.booting

    # ---- restarts and reports --------------------------------------------

    def restart(self, announcements, off, again_after, retry_after=None, unplugged=False):
        """Reboots the module; with again_after (seconds, or None) its last +CMT comes in once
        more that long after the announcements; with retry_after the network sends again, that
        long after, what the module had not acknowledged. Unplugged, the port is gone meanwhile
        and comes back as a new one."""
        fault = self.fault_begins("unplug" if unplugged else "restart")
        unacknowledged = list(self.unacknowledged) if retry_after is not None else []
        if unplugged:
            self.close_pty()
        self.output.clear()
        self.resume_at = None
        self.cancel("redeliver")
        self.cancel("retry")
        self.fault_ends(self.dropped)  # the restart's own fault takes over
        self.dropped = None
        self.power_on(0, self.power_on_routing)
        self.booting = True
        again = self.last_direct if again_after is not None else None

        def up():
            self.booting = False
            if self.routing[1] == 0:
                self.dropped = fault  # on until the client routes to itself again
            else:
                self.fault_ends(fault, SETTLING_SECONDS)
            if unplugged and self.gone():
                self.open_pty()
            for text in announcements:
                self.send(info(text))
            if again is not None:
                self.after("redeliver", again_after,
                           lambda: self.queue_delivery(again, first=True))
            if unacknowledged:
                self.after("retry", retry_after, lambda: self.retry(unacknowledged))
            self.deliver_pending()

        self.after("boot", off, up)

    def retry(self, messages):
        # The network had no acknowledgement for these: it sends them again, in order.
        self.pending.extendleft(reversed(messages))
        self.deliver_pending()

    def junk_unasked(self):
        self.after("noise", self.noise.pause(), self.junk_unasked)
        # Not while the line is backed up: nobody reads it, and the rubbish would pile up.
        if not self.output and not self.gone():
            self.send(self.noise.burst())

    def report(self, text):
        self.send(info(text))

    def next_huawei_report(self):
        text = HUAWEI_REPORTS[self.next_report % len(HUAWEI_REPORTS)]
        self.next_report += 1
        return text

    def report_periodically(self):
        self.after("reports", self.reports, self.report_periodically)
        # AT^CURC=0 stops them, and a module that is down or unplugged says nothing.
        if self.curc and not self.booting and not self.gone():
            self.report(self.next_huawei_report())

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
        if self.personality != "modem" and name not in ports.PORT_ORDERS:
            raise OrderError("a port of personality %s takes only %s"
                             % (self.personality, ", ".join(ports.PORT_ORDERS)))
        self.note("*", line)
        return handler(self, rest) or ""


# ---- commands: each (modem, kind, arguments) -> (intermediate, final) -----


def _csms(modem, kind, arguments):
    if kind == "?":
        return info("+CSMS: %d,1,1,1" % modem.phase), OK
    if kind != "=":
        return b"", OK
    values = offers.split_top(arguments)
    if modem.not_offered("+CSMS", values) or not (values[0] == "" or values[0].isdigit()):
        return b"", cms_error(303)
    if values[0]:
        modem.phase = int(values[0])
        if modem.phase == 0:
            modem.afterwards.append(modem.acknowledged)
    return info("+CSMS: 1,1,1"), OK


def _cmgf(modem, kind, arguments):
    if kind == "?":
        return info("+CMGF: %d" % modem.text_mode), OK
    if kind == "=":
        if arguments not in ("0", "1"):
            return b"", ERROR
        modem.text_mode = arguments == "1"
    return b"", OK


def _cnmi(modem, kind, arguments):
    if kind == "?":
        return info("+CNMI: " + ",".join(map(str, modem.routing))), OK
    if kind != "=":
        return b"", OK
    values = offers.split_top(arguments)
    if (len(values) > len(modem.routing) or modem.not_offered("+CNMI", values)
            or not all(v.isdigit() for v in values if v)):
        return b"", cms_error(303)
    for position, value in enumerate(values):
        if value:
            modem.routing[position] = int(value)
    modem.routing_restored()
    if modem.routing[0] != 0:
        kept, modem.buffered = modem.buffered, []
        if kept and modem.routing[4] == 0:  # <bfr> 0: flushed after the OK
            modem.afterwards.append(lambda: modem.send(b"".join(kept)))
    modem.afterwards.append(modem.deliver_pending)
    return b"", OK


def _cnma(modem, kind, arguments):
    if modem.strict_ack and (modem.phase == 0 or not modem.awaiting_ack):
        return b"", cms_error(340)  # no acknowledgement expected
    modem.afterwards.append(modem.acknowledged)
    return b"", OK


def _cpms(modem, kind, arguments):
    if not modem.storage_offered():
        return b"", cms_error(303)
    counts = lambda m: "%d,%d" % (modem.stores[m].used(), modem.stores[m].size)  # noqa: E731
    if kind == "?":
        return info("+CPMS: " + ",".join('"%s",%s' % (m, counts(m)) for m in modem.memories)), OK
    if kind != "=":
        return b"", OK
    values = offers.split_top(arguments)
    names = [v[1:-1] if len(v) >= 2 and v[0] == v[-1] == '"' else None for v in values]
    if (len(values) > 3 or modem.not_offered("+CPMS", values)
            or not all(n in MEMORIES for v, n in zip(values, names) if v)):
        return b"", cms_error(303)
    for position, name in enumerate(names):
        if name:
            modem.memories[position] = name
    modem.afterwards.append(modem.deliver_pending)  # a new mem3 may have room
    return info("+CPMS: " + ",".join(counts(m) for m in modem.memories)), OK


def _cmgl(modem, kind, arguments):
    if kind not in ("", "="):
        return b"", OK
    if not modem.storage_offered():
        return b"", cms_error(303)
    stat = modem.stat_parameter(arguments)
    if stat is None:
        return b"", cms_error(305 if modem.text_mode else 304)
    places = modem.memory(MEM1).matching(stat)
    listing = b"".join(modem.stored("+CMGL: %d," % index, place) for index, place in places)
    for _, place in places:
        if place[0] == UNREAD:
            place[0] = READ
    return (b"\r\n" + listing if listing else b""), OK


def _cmgr(modem, kind, arguments):
    if kind != "=":
        return b"", OK
    if not modem.storage_offered():
        return b"", cms_error(303)
    place = modem.memory(MEM1).get(int(arguments)) if arguments.isdigit() else None
    if place is None:
        return b"", cms_error(321)  # invalid memory index
    answer = b"\r\n" + modem.stored("+CMGR: ", place)
    if place[0] == UNREAD:
        place[0] = READ
    return answer, OK


def _cmgd(modem, kind, arguments):
    if kind != "=":
        return b"", OK
    if not modem.storage_offered():
        return b"", cms_error(303)
    values = offers.split_top(arguments) + ["0"]
    index, flag = values[0], values[1] or "0"
    if not flag.isdigit() or int(flag) > 4:
        return b"", cms_error(305 if modem.text_mode else 304)
    storage = modem.memory(MEM1)
    if flag == "0" and not (index.isdigit() and 1 <= int(index) <= storage.size):
        return b"", cms_error(321)
    storage.delete(int(index) if index.isdigit() else 0, int(flag))
    modem.afterwards.append(modem.deliver_pending)  # what the network holds may fit now
    return b"", OK


def _cpin(modem, kind, arguments):
    if kind == "?":
        if modem.sim == "busy" and modem.busy["cpin"] == "cme14":
            return b"", cme_error(14)  # SIM busy
        state = {"pin": "SIM PIN", "puk": "SIM PUK", "busy": "NOT READY"}.get(modem.sim, "READY")
        return info("+CPIN: " + state), OK
    if kind != "=":
        return b"", OK
    modem.pin_sent += 1
    code = offers.split_top(arguments)[0].strip('"')
    if modem.sim == "pin" and code == modem.pin_code:
        modem.pin_tries = modem.pin_tries_full
        modem.sim_busy(modem.sim_ready_after)
        return b"", OK
    if modem.sim == "pin":
        modem.pin_tries -= 1
        if modem.pin_tries == 0:
            modem.sim = "puk"
    if modem.sim in ("pin", "puk"):
        return b"", cme_error(16)  # incorrect password
    # Busy: not now; ready: nothing to enter.
    return b"", cme_error(14 if modem.sim == "busy" else 3)


def _identity(text):
    def handler(modem, kind, arguments):
        return (info(text) if kind == "" else b""), OK
    return handler


def _curc(modem, kind, arguments):
    # Huawei's switch for its periodic reports.
    if kind == "?":
        return info("^CURC: %d" % modem.curc), OK
    if kind == "=" and arguments in ("0", "1"):
        modem.curc = arguments == "1"
    return b"", OK


COMMANDS = {
    "+CSMS": _csms,
    "+CMGF": _cmgf,
    "+CNMI": _cnmi,
    "+CNMA": _cnma,
    "+CPMS": _cpms,
    "+CMGL": _cmgl,
    "+CMGR": _cmgr,
    "+CMGD": _cmgd,
    "^CURC": _curc,
    "+CPIN": _cpin,
}
COMMANDS.update((name, _identity(text)) for name, text in IDENTITY.items())
# What an AT port without the message service answers as the modem does; anything else: OK.
NO_SMS_PORT_COMMANDS = ("+CPIN",) + tuple(IDENTITY)


# ---- orders ------------------------------------------------------------------


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


def _message(modem, rest, submit=False):
    """A message given as "pdu HEX", "text NUMBER TEXT" or "classN NUMBER TEXT"; one the
    sim builds is an SMS-SUBMIT to NUMBER where submit is true."""
    words = rest.split(None, 1)
    kind = words[0].lower() if words else ""
    message_class = None
    if kind in ("class0", "class1", "class2", "class3"):
        kind, message_class = "text", int(kind[-1])
    if kind == "pdu" and len(words) == 2:
        hex_text = words[1].strip().upper()
        try:
            bytes.fromhex(hex_text)
        except ValueError:
            raise OrderError("not hexadecimal: %r" % hex_text)
        return Message(hex_text)
    if kind == "text" and len(words) == 2:
        number, _, text = words[1].partition(" ")
        try:
            # Escapes such as \xff may make bytes that are no UTF-8, or end the line unfinished.
            text = text.encode("utf-8").decode("unicode_escape").encode("latin-1").decode("utf-8")
        except UnicodeError as error:
            raise OrderError("bad escape in the text: %s" % error.reason)
        try:
            if submit:
                return Message(pdu.submit_pdu(number, text, message_class), text)
            built = pdu.deliver_pdu(number, text, modem.centre, message_class=message_class)
            return Message(built[0], text)
        except ValueError as error:
            raise OrderError(str(error))
    raise OrderError("expected: pdu HEX | text NUMBER TEXT | class0..class3 NUMBER TEXT")


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
    back_after = _seconds(rest.strip()) if rest.strip() else None
    modem.close_pty()
    if back_after is not None:
        modem.after("come-back", back_after, lambda: _come_back(modem, ""))


def _come_back(modem, rest):
    modem.cancel("come-back")
    if modem.gone():
        modem.open_pty()


def _yes(flag):
    return "yes" if flag else "no"


def _status(modem, rest):
    sm, me = modem.stores["SM"], modem.stores["ME"]
    return ("echo=%s hold=%s mode=%s queued=%d awaiting-ack=%s present=%s phase=%d cnmi=%s "
            "ack=%s ack-timeout=%s stored=%d/%d lost=%d reports=%s restarting=%s refused=%s "
            "stored-me=%d/%d memories=%s full-storage=%s held=%d sim=%s pin-tries=%d "
            "pin-sent=%d personality=%s") % (
        "on" if modem.echo else "off", "on" if modem.hold else "off",
        "text" if modem.text_mode else "pdu", len(modem.pending),
        _yes(modem.awaiting_ack), _yes(not modem.gone()), modem.phase,
        ",".join(map(str, modem.routing)), "strict" if modem.strict_ack else "lenient",
        "off" if modem.ack_timeout is None else "%g" % modem.ack_timeout,
        sm.used(), sm.size, modem.lost,
        "off" if modem.reports is None else "huawei/%g" % modem.reports, _yes(modem.booting),
        "|".join(sorted(modem.refusals)) or "none", me.used(), me.size,
        ",".join(modem.memories), modem.full_storage, len(modem.held),
        "busy" if modem.sim == "starting" else modem.sim, modem.pin_tries, modem.pin_sent,
        modem.personality)


def _refuse(modem, rest):
    words = rest.split(None, 1)
    if not words:
        raise OrderError("expected PREFIX [RESULT]")
    modem.refusals[words[0].upper()] = words[1].strip() if len(words) > 1 else DEFAULT_REFUSAL


def _accept(modem, rest):
    prefix = rest.strip().upper()
    if prefix == "ALL":
        modem.refusals.clear()
    elif modem.refusals.pop(prefix, None) is None:
        raise OrderError("%r is not refused" % rest.strip())


def _offer(modem, rest):
    words = rest.split(None, 1)
    if len(words) != 2:
        raise OrderError("expected COMMAND LISTS, e.g. +CNMI (0-2),(0,1)")
    try:
        offers.parse(words[1])
    except ValueError as error:
        raise OrderError("not an offer: %s" % error)
    modem.offers[words[0].upper().rstrip(":")] = words[1].strip()


def _ack(modem, rest):
    value = rest.strip().lower()
    if value not in ("strict", "lenient"):
        raise OrderError("expected strict or lenient")
    modem.strict_ack = value == "strict"


def _ack_timeout(modem, rest):
    value = rest.strip().lower()
    modem.ack_timeout = None if value == "off" else _seconds(value, "SECONDS or off")
    if modem.ack_timeout is None:
        modem.cancel("ack")


def _memory(word):
    name = word.upper()
    if name not in MEMORIES:
        raise OrderError("expected a memory, SM or ME: %r" % word)
    return name


def _store(modem, rest):
    stat, memory = UNREAD, "SM"
    words = rest.split(None, 1)
    # The status and the memory, both optional, in either order.
    while len(words) == 2 and (words[0].lower() in STORED_STATS or words[0].upper() in MEMORIES):
        if words[0].lower() in STORED_STATS:
            stat = STORED_STATS[words[0].lower()]
        else:
            memory = words[0].upper()
        words = words[1].split(None, 1)
    message = _message(modem, " ".join(words), submit=stat in (UNSENT, SENT))
    index = modem.stores[memory].put(message, stat)
    if index is None:
        raise OrderError("the storage %s is full" % memory)
    return "%d %s" % (index, message.pdu_hex)


def _listing(storage, head=""):
    return " ".join("%s%d:%d:%s" % (head, index, place[0], place[1].pdu_hex)
                    for index, place in storage.matching(ALL))


def _storage(modem, rest):
    if rest.strip():
        return _listing(modem.stores[_memory(rest.strip())])
    # SM as it always was; the phone's memory after it, each entry named.
    listings = (_listing(modem.stores["SM"]), _listing(modem.stores["ME"], "ME:"))
    return " ".join(filter(None, listings))


def _storage_size(modem, rest):
    words = rest.split()
    if not 1 <= len(words) <= 2:
        raise OrderError("expected N [SM|ME]")
    storage = modem.stores[_memory(words[1]) if len(words) == 2 else "SM"]
    # Not below the highest index in use, or that message could be neither reached nor deleted.
    if not words[0].isdigit() or int(words[0]) < max(1, storage.highest()):
        raise OrderError("expected a size of at least 1 and of the highest index in use")
    storage.size = int(words[0])
    modem.deliver_pending()


def _memories(modem, rest):
    names = [_memory(word.strip()) for word in rest.split(",")]
    if len(names) != 3:
        raise OrderError("expected MEM1,MEM2,MEM3, e.g. SM,SM,ME")
    modem.memories = list(names)
    modem.power_on_memories = tuple(names)
    modem.deliver_pending()


def _full_storage(modem, rest):
    value = rest.strip().lower()
    if value not in FULL_STORAGE:
        raise OrderError("expected lose or retry")
    modem.full_storage = value


def _routing(text):
    values = text.strip().split(",")
    if not 1 <= len(values) <= 5 or not all(v.isdigit() for v in values):
        raise OrderError("expected MODE,MT[,BM,DS,BFR]")
    return tuple(int(v) for v in values) + POWER_ON_ROUTING[len(values):]


def _phase(modem, rest):
    value = rest.strip()
    if value not in ("0", "1"):
        raise OrderError("expected 0 or 1")
    modem.phase = int(value)
    if modem.phase == 0:
        modem.acknowledged()


def _set_routing(modem, rest):
    modem.routing = list(_routing(rest))
    modem.routing_restored()
    modem.deliver_pending()


def _restart(modem, rest):
    words = restart_words(rest, faults.RESTART_OFF_SECONDS)
    words["announcements"] = words["announcements"] or ["RDY"]
    modem.restart(**words)


def _reports(modem, rest):
    words = rest.lower().split()
    if words == ["off"]:
        modem.reports = None
        modem.cancel("reports")
        return
    if not words or words[0] != "huawei" or len(words) > 2:
        raise OrderError("expected huawei [PERIOD_S] or off")
    period = _seconds(words[1], "PERIOD_S") if len(words) == 2 else 2.0
    if period <= 0:
        raise OrderError("the period must be more than 0 s")
    modem.reports = period
    modem.after("reports", period, modem.report_periodically)


def _report(modem, rest):
    text = rest.strip()
    if not text:
        raise OrderError("expected huawei or TEXT")
    modem.report(modem.next_huawei_report() if text.lower() == "huawei" else text)


def _sim_pin(modem, words):
    if (not 1 <= len(words) <= 2 or not all(w.isdigit() for w in words)
            or int((words + ["1"])[1]) < 1):
        raise OrderError("expected pin CODE [TRIES], digits, TRIES 1 or more")
    modem.pin_code = words[0]
    modem.pin_tries = modem.pin_tries_full = int(words[1]) if len(words) == 2 else PIN_TRIES
    modem.sim = "pin"
    modem.cancel("sim")


def _sim_puk(modem, words):
    if words:
        raise OrderError("expected puk")
    modem.pin_code, modem.pin_tries, modem.sim = None, 0, "puk"
    modem.cancel("sim")


def _sim_busy(modem, words):
    if not words or not all(w.lower() in BUSY_ANSWERS for w in words[1:]):
        raise OrderError("expected busy SECONDS [cme14|notready] [cms314|cms515]")
    seconds = _seconds(words[0])
    modem.busy = {"cpin": "cme14", "cms": 314}
    modem.busy.update(BUSY_ANSWERS[w.lower()] for w in words[1:])
    modem.sim_busy(seconds)


def _sim_ready(modem, words):
    if words:
        raise OrderError("expected ready")
    modem.pin_code, modem.sim = None, "ready"
    modem.cancel("sim")
    modem.deliver_pending()


def _sim_ready_after(modem, words):
    if len(words) != 1:
        raise OrderError("expected ready-after SECONDS")
    modem.sim_ready_after = _seconds(words[0])


SIM_ORDERS = {"pin": _sim_pin, "puk": _sim_puk, "busy": _sim_busy, "ready": _sim_ready,
              "ready-after": _sim_ready_after}


def _sim(modem, rest):
    words = rest.split()
    handler = SIM_ORDERS.get(words[0].lower()) if words else None
    if handler is None:
        raise OrderError("expected pin, puk, busy, ready or ready-after")
    handler(modem, words[1:])


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
    "refuse": _refuse,
    "accept": _accept,
    "offer": _offer,
    "ack": _ack,
    "ack-timeout": _ack_timeout,
    "store": _store,
    "storage": _storage,
    "storage-size": _storage_size,
    "memories": _memories,
    "full-storage": _full_storage,
    "sim": _sim,
    "phase": _phase,
    "routing": _set_routing,
    "power-on-routing": _set("power_on_routing", _routing),
    "restart": _restart,
    "reports": _reports,
    "report": _report,
    "log": _log,
    "clear-log": _clear_log,
    "status": _status,
}
ORDERS.update(faults.ORDERS)
ORDERS.update(chaos.ORDERS)
