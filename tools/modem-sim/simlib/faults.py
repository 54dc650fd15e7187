"""Faults that modems in the field show now and then, as orders: replies that come after the
client's deadline, lines no table knows, a port that vanishes and comes back as a new device,
restarts at random, routing dropped without a word. Each is noted in the modem's fault list,
which a chaos run reports."""

import re

from .basics import OrderError, info, probability, restart_words, seconds, seconds_range

# The SIM reads: what slow-reads makes late.
READS = ("+CMGR", "+CMGL", "+CPMS")
# Unsolicited lines of other vendors and of firmware newer than any table, and a blank line.
UNKNOWN_LINES = ("+XYZ: 1,2", "^NEWTHING: 3", "+ZUSIMR:2", "*EMRDY: 1", "#QSS: 2", "+PACSP1",
                 "$VENDOR,NOISE,7", "")
# Where a listing may take a line that is no part of it: before an entry other than the first.
LISTING_ENTRY = re.compile(rb"\r\n\+CMGL: ")
RESTART_OFF_SECONDS = 0.5
# How long a restart that comes due while the module is down waits.
RESTART_POSTPONED = 5.0


def delay_for(modem, command):
    """The seconds by which the reply to this command line comes late, or None."""
    body = command[2:].upper().decode("latin-1", "replace")
    for rule in modem.slow:
        if body.startswith(rule[0]):
            rule[2] -= 1
            if rule[2] == 0:
                modem.slow.remove(rule)
            return rule[1]
    if modem.slow_reads and body.startswith(READS):
        low, high, chance = modem.slow_reads
        if modem.random.random() < chance:
            return modem.random.uniform(low, high)
    return None


def unknown_inside(modem, intermediate):
    """The information text of a reply, now and then with an unknown line between its
    entries or after them, where modems put their unsolicited lines."""
    if not modem.unknown_lines or not intermediate:
        return intermediate
    chance = modem.unknown_lines[1]
    if modem.random.random() >= chance:
        return intermediate
    places = [m.start() + 2 for m in LISTING_ENTRY.finditer(intermediate)][1:]
    at = modem.random.choice(places + [len(intermediate)])
    modem.fault_begins("unknown", 0.0)
    return intermediate[:at] + info(modem.random.choice(UNKNOWN_LINES)) + intermediate[at:]


def say_unknown(modem):
    period = modem.unknown_lines[0]
    modem.after("unknown", modem.random.uniform(0.5, 1.5) * period, lambda: say_unknown(modem))
    if not modem.booting and not modem.gone():
        modem.fault_begins("unknown", 0.0)
        modem.send(info(modem.random.choice(UNKNOWN_LINES)))


def unplug(modem, back_after, words):
    """The port vanishes; after back_after seconds a new one stands behind the link, with the
    module restarted behind it: its set-up forgotten, its storage kept."""
    modem.restart(**dict(words, off=back_after), unplugged=True)


def restart_now(modem, words):
    if modem.booting:
        modem.after("restart-every", RESTART_POSTPONED, lambda: restart_now(modem, words))
        return
    modem.restart(**dict(words, announcements=words["announcements"] or ["RDY"]))


def restart_by_schedule(modem):
    (low, high), words = modem.restart_every
    modem.after("restart-every", modem.random.uniform(low, high),
                lambda: (restart_now(modem, words), restart_by_schedule(modem)))


# ---- orders ------------------------------------------------------------------


def _slow(modem, rest):
    words = rest.split()
    if not 2 <= len(words) <= 3 or (len(words) == 3 and not words[2].isdigit()):
        raise OrderError("expected PREFIX SECONDS [COUNT]")
    count = int(words[2]) if len(words) == 3 else 1
    if count < 1:
        raise OrderError("expected a COUNT of 1 or more")
    modem.slow.append([words[0].upper(), seconds(words[1]), count])


def _slow_reads(modem, rest):
    words = rest.split()
    if words == ["off"]:
        modem.slow_reads = None
        return
    if len(words) != 2:
        raise OrderError("expected LOW[-HIGH] PROBABILITY, or off")
    modem.slow_reads = seconds_range(words[0]) + (probability(words[1]),)


def _unknown_lines(modem, rest):
    words = rest.lower().split()
    if words == ["off"]:
        modem.unknown_lines = None
        modem.cancel("unknown")
        return
    if len(words) not in (1, 3) or (len(words) == 3 and words[1] != "inside"):
        raise OrderError("expected PERIOD_S [inside PROBABILITY], or off")
    period = seconds(words[0], "PERIOD_S")
    if period <= 0:
        raise OrderError("the period must be more than 0 s")
    modem.unknown_lines = (period, probability(words[2]) if len(words) == 3 else 0.0)
    modem.after("unknown", modem.random.uniform(0.5, 1.5) * period, lambda: say_unknown(modem))


def _unplug(modem, rest):
    first, _, others = rest.strip().partition(" ")
    if not first:
        raise OrderError("expected SECONDS [ANNOUNCEMENT...] [redeliver [S]] [retry [S]]")
    back_after = seconds(first)
    unplug(modem, back_after, restart_words(others, back_after))


def _restart_every(modem, rest):
    first, _, others = rest.strip().partition(" ")
    if first.lower() == "off" and not others:
        modem.restart_every = None
        modem.cancel("restart-every")
        return
    if not first:
        raise OrderError("expected MIN[-MAX] [restart options], or off")
    modem.restart_every = (seconds_range(first, "MIN[-MAX]"),
                           restart_words(others, RESTART_OFF_SECONDS))
    restart_by_schedule(modem)


def _routing_drop(modem, rest):
    if rest.strip():
        raise OrderError("routing-drop takes nothing more")
    modem.drop_routing("drop")


ORDERS = {
    "slow": _slow,
    "slow-reads": _slow_reads,
    "unknown-lines": _unknown_lines,
    "unplug": _unplug,
    "restart-every": _restart_every,
    "routing-drop": _routing_drop,
}
