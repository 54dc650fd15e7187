"""What the sim's modules share: the orders' error and words, and a line framed as a modem
frames it."""

import shlex


class OrderError(Exception):
    pass


def info(text):
    """An information response or unsolicited line, framed as a modem frames it."""
    return ("\r\n%s\r\n" % text).encode("latin-1", "replace")


def seconds(text, what="SECONDS"):
    try:
        value = float(text)
    except ValueError:
        value = -1.0
    if value < 0:
        raise OrderError("expected %s, a number of seconds" % what)
    return value


def seconds_range(text, what="LOW[-HIGH]"):
    """(low, high) from "5-7.5", or (5, 5) from "5"."""
    low, _, high = text.partition("-")
    low = seconds(low, what)
    high = seconds(high, what) if high else low
    if high < low:
        raise OrderError("expected %s with LOW at most HIGH" % what)
    return low, high


def probability(text):
    try:
        value = float(text)
    except ValueError:
        value = -1.0
    if not 0 <= value <= 1:
        raise OrderError("expected a probability from 0 to 1")
    return value


def is_number(text):
    try:
        float(text)
        return True
    except ValueError:
        return False


def restart_words(rest, default_off):
    """What a restart is made of: [off SECONDS] [ANNOUNCEMENT...] [redeliver [SECONDS]]
    [retry [SECONDS]], as the keyword arguments of Modem.restart (announcements a list, maybe
    empty; again_after and retry_after None where not given)."""
    try:
        words = shlex.split(rest)
    except ValueError as error:
        raise OrderError(str(error))
    found = {"announcements": [], "off": default_off, "again_after": None, "retry_after": None}
    while words:
        word = words.pop(0)
        if word.lower() == "off":
            found["off"] = seconds(words.pop(0) if words else "", "off SECONDS")
        elif word.lower() in ("redeliver", "retry"):
            after = seconds(words.pop(0)) if words and is_number(words[0]) else 0.0
            found["again_after" if word.lower() == "redeliver" else "retry_after"] = after
        else:
            found["announcements"].append(word)
    return found
