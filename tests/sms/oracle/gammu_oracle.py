#!/usr/bin/env python3
"""Pelvaro's full reading against Gammu's, on thousands of random messages.

Gammu (Debian's python3-gammu) encodes each message as SMS-DELIVER PDUs: GSM 7-bit text with
extension characters, UCS2 with emoji, 8-bit data, long messages in parts with 8-bit and 16-bit
references, and 7-bit text under the Turkish and Portuguese locking shift tables. The parts of a
few messages at a time are shuffled together, some parts come twice, and all of it goes through
`pelvaro-decode --full --json` as one captured session. Each message must come out once, joined,
with the sender, the centre, the text, the coding and the class that Gammu reads back, and the
time stamp of its first part: each part is stamped at random, 1990 to 2089, in a random zone.

Where Gammu is known to read a message wrongly, the standard decides instead, and the message
counts as agreeing with the standard:
  - 7-bit text: Gammu leaves a NUL for every escape, so its text ends in junk;
  - shift tables: Gammu ignores the national language elements (TS 23.040 9.2.3.24.15 and .16)
    and reads the septets with the default alphabet; the characters the standard gives are those
    of TS 23.038 A.3.1 and A.3.3, here as Android's telephony tests write them
    (frameworks/opt/telephony, tests/.../GsmSmsTest.java, sBasicTables);
  - names (alphanumeric senders, TS 23.040 9.1.2.5): Gammu gives each septet as the ASCII
    character of the same value, so "§" comes out as "_", and reads a septet more or fewer than
    the semi-octets hold; the standard's characters are the default alphabet's, as many as the
    semi-octets hold, read here from the PDU by name_in. (Gammu's encoder also writes a letter
    outside ASCII as other septets than the standard's, and counts a name's semi-octets wrongly
    then, so the name in the PDU is not always the one asked for; the PDU is what counts.)
  - time stamps: Gammu reads a year of 90 to 99 as 2080 to 2089 rather than 1990 to 1999
    (TS 23.040 9.2.3.11 leaves the century open; phones take 19xx), and its datetime drops the
    zone, so the zone compared is always the one written.

8-bit data is compared as hexadecimal digits, which is how Pelvaro shows it.

Usage: gammu_oracle.py PELVARO_DECODE [--messages N]
"""

import argparse
import datetime
import json
import random
import subprocess
import sys

try:
    import gammu
except ImportError:
    sys.exit("gammu_oracle: python3-gammu is not installed (scripts/bootstrap installs it)")

SEED = 14

# Characters of the GSM 7-bit default alphabet and its extension table (TS 23.038 6.2.1).
GSM_BASIC = ("@£$¥èéùìòÇ\nØøÅåΔ_ΦΓΛΩΠΨΣΘΞÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?"
             "¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà")
GSM_EXTENSION = "^{}\\[~]|€"
# The default alphabet in septet order, and two locking shift tables in the same order, the escape
# at 0x1B written as '@' (Android's GsmSmsTest.sBasicTables).
DEFAULT_TABLE = ("@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞ@ÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?"
                 "¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà")
LOCKING_TABLES = {
    1: ("@£$¥€éùıòÇ\nĞğ\rÅåΔ_ΦΓΛΩΠΨΣΘΞ@ŞşßÉ !\"#¤%&'()*+,-./0123456789:;<=>?"
        "İABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§çabcdefghijklmnopqrstuvwxyzäöñüà"),
    3: ("@£$¥êéúíóç\nÔô\rÁáΔ_ªÇÀ∞^\\€Ó|@ÂâÊÉ !\"#º%&'()*+,-./0123456789:;<=>?"
        "ÍABCDEFGHIJKLMNOPQRSTUVWXYZÃÕÚÜ§~abcdefghijklmnopqrstuvwxyzãõ`üà"),
}
UCS2_SAMPLES = ("Привет мир ", "Γειά σου ", "你好世界", "こんにちは", "👋😀🎉", "ça déjà vu ",
                "’“”…", "مرحبا", "ℝ∑∞", "🇩🇪")
CODING_NAMES = {"Default_No_Compression": "gsm7", "Unicode_No_Compression": "ucs2",
                "8bit": "8bit"}


def random_number(rng):
    kind = rng.random()
    if kind < 0.5:
        return "+" + "".join(rng.choice("0123456789") for _ in range(rng.randint(8, 15)))
    if kind < 0.7:
        return "".join(rng.choice("0123456789") for _ in range(rng.randint(3, 12)))
    letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 ÄÖÜäöü@£_-"
    name = rng.choice("ABCDEFGHIJKLMNOPQRSTUVWXYZ")
    return name + "".join(rng.choice(letters) for _ in range(rng.randint(1, 10))).rstrip()


def random_text(rng, kind):
    length = rng.choice([rng.randint(1, 40), rng.randint(41, 160), rng.randint(161, 500)])
    if kind == "ucs2":
        text = ""
        while len(text) < length:
            text += rng.choice(UCS2_SAMPLES)
        return text[:length] if rng.random() < 0.5 else text  # sometimes cut inside a pair
    pool = GSM_BASIC + (GSM_EXTENSION * 3 if kind == "gsm7" else "")
    return "".join(rng.choice(pool) for _ in range(length))


class Message:
    def __init__(self, number, centre, kind, text, language=0):
        self.number, self.centre, self.kind = number, centre, kind
        self.text, self.language = text, language
        self.pdus = []
        self.stamps = []  # each part's (moment, zone in quarter hours)
        self.expected = None  # what Gammu reads back, or the standard where Gammu is wrong
        self.standard = None


def base_sms(number, centre):
    return {"SMSC": {"Location": 0, "Number": centre}, "Number": number, "Type": "Deliver",
            "Folder": 0, "InboxFolder": 0, "Memory": "", "Location": 0, "Name": "",
            "State": "UnRead", "DateTime": None, "SMSCDateTime": None, "DeliveryStatus": 0,
            "ReplyViaSameSMSC": 0, "MessageReference": 0, "ReplaceMessage": 0,
            "RejectDuplicates": 0, "Length": 0, "Class": -1}


def dcs_at(pdu):
    """Where the TP-DCS octet of an SMS-DELIVER is; TP-SCTS follows it."""
    at = 1 + pdu[0]  # first octet
    at += 1  # TP-OA length
    at += 2 + (pdu[at] + 1) // 2  # TP-OA
    return at + 1  # past TP-PID


def set_dcs(pdu, dcs):
    """The PDU with another TP-DCS octet."""
    pdu = bytearray(pdu)
    pdu[dcs_at(pdu)] = dcs
    return bytes(pdu)


def random_stamp(rng):
    """A moment from 1990 to 2089 and a zone of -12:00 to +14:00, in quarter hours."""
    start, end = datetime.datetime(1990, 1, 1), datetime.datetime(2090, 1, 1)
    seconds = rng.randrange(int((end - start).total_seconds()))
    return start + datetime.timedelta(seconds=seconds), rng.randint(-48, 56)


def set_stamp(pdu, stamp):
    """The PDU with TP-SCTS written as the standard has it: swapped semi-octets, the zone's sign in
    bit 3 of its first one."""
    moment, zone = stamp
    digits = moment.strftime("%y%m%d%H%M%S") + "%02d" % abs(zone)
    octets = bytearray(int(digits[i + 1] + digits[i], 16) for i in range(0, 14, 2))
    if zone < 0:
        octets[6] |= 0x08
    pdu = bytearray(pdu)
    at = dcs_at(pdu) + 1
    pdu[at:at + 7] = octets
    return bytes(pdu)


def stamp_text(moment, zone):
    return "%s %s%02d:%02d" % (moment.strftime("%Y-%m-%d %H:%M:%S"), "-" if zone < 0 else "+",
                               abs(zone) // 4, abs(zone) % 4 * 15)


def encode(message, rng):
    """Gammu's PDUs for the message, each part with a time stamp of its own."""
    pdus = gammu_pdus(message, rng)
    message.stamps = [random_stamp(rng) for _ in pdus]
    return [set_stamp(pdu, stamp) for pdu, stamp in zip(pdus, message.stamps)]


def gammu_pdus(message, rng):
    if message.language:
        sms = dict(base_sms(message.number, message.centre), Coding="Default_No_Compression",
                   Text=message.text,
                   UDH={"Type": "UserUDH", "Text": bytes([3, 0x25, 1, message.language])})
        return [gammu.EncodePDU(sms, Layout="Deliver")]
    klass = rng.choice([-1, -1, 0, 1, 2, 3])
    entry = rng.choice(["ConcatenatedTextLong", "ConcatenatedTextLong16bit"])
    info = {"Class": klass, "Unicode": message.kind != "gsm7",
            "Entries": [{"ID": entry, "Buffer": message.text}]}
    pdus = []
    for sms in gammu.EncodeSMS(info):
        sms.update(SMSC={"Location": 0, "Number": message.centre}, Number=message.number,
                   Type="Deliver")
        pdu = gammu.EncodePDU(sms, Layout="Deliver")
        if message.kind == "8bit":
            # Gammu's UCS2 octets taken as 8-bit data: TP-DCS 0x04, or 0xF4 + class.
            pdu = set_dcs(pdu, 0x04 if klass < 0 else 0xF4 | klass)
        pdus.append(pdu)
    return pdus


def gammu_reading(message):
    """What Gammu reads back: sender, centre, text, coding, class and part count."""
    decoded = [gammu.DecodePDU(pdu, SMSC=True) for pdu in message.pdus]
    first = decoded[0]
    if len(decoded) > 1:
        linked = gammu.LinkSMS([[d] for d in decoded])
        if len(linked) != 1:
            raise RuntimeError("Gammu did not link the parts")
        if message.kind == "8bit":
            parts = sorted(decoded, key=lambda d: d["UDH"]["PartNumber"])
            text = b"".join(bytes(d["Text"]) for d in parts)
        else:
            text = gammu.DecodeSMS(linked[0])["Entries"][0]["Buffer"]
    else:
        text = first["Text"]
    if message.kind == "8bit":
        text = bytes(text).hex().upper()
    # Gammu's datetime has no zone: the zone is the one written.
    sent = stamp_text(first["DateTime"], message.stamps[0][1])
    return {"sender": first["Number"], "center": first["SMSC"]["Number"], "sent": sent,
            "text": text,
            "coding": CODING_NAMES[first["Coding"]],
            "class": None if first["Class"] < 0 else first["Class"], "parts": len(decoded)}


def standard_reading(message, gammu_read):
    """Where Gammu is known to be wrong: what the standard gives for the message."""
    text = message.text
    if message.kind == "8bit":
        text = gammu_read["text"]
    if message.language:
        table = LOCKING_TABLES[message.language]
        text = "".join(table[DEFAULT_TABLE.index(c)] for c in message.text)
    sender = gammu_read["sender"]
    pdu = message.pdus[0]
    if (pdu[3 + pdu[0]] >> 4) & 7 == 5:
        sender = name_in(pdu)
    return dict(gammu_read, sender=sender, text=text, sent=stamp_text(*message.stamps[0]))


GSM_ESCAPED = {0x0A: "\f", 0x14: "^", 0x28: "{", 0x29: "}", 0x2F: "\\", 0x3C: "[", 0x3D: "~",
               0x3E: "]", 0x40: "|", 0x65: "€"}


def name_in(pdu):
    """The originator's name as TS 23.040 9.1.2.5 reads it: as many septets as its semi-octets
    hold, without the '@' that the padding of 8n - 1 septets makes."""
    at = 2 + pdu[0]
    semi_octets = pdu[at]
    bits = int.from_bytes(pdu[at + 2:at + 2 + (semi_octets + 1) // 2], "little")
    count = semi_octets * 4 // 7
    septets = [(bits >> (7 * i)) & 0x7F for i in range(count)]
    if count and count % 8 == 0 and septets[-1] == 0:
        septets.pop()
    name, escaped = "", False
    for septet in septets:
        if escaped:
            name += GSM_ESCAPED.get(septet, DEFAULT_TABLE[septet])
            escaped = False
        elif septet == 0x1B:
            escaped = True
        else:
            name += DEFAULT_TABLE[septet]
    return name


def delivery(pdu):
    return "+CMT: ,%d\r\n%s\r\n" % (len(pdu) - 1 - pdu[0], pdu.hex().upper())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("decoder")
    parser.add_argument("--messages", type=int, default=5000)
    args = parser.parse_args()
    rng = random.Random(SEED)

    messages = []
    for i in range(args.messages):
        kind = rng.choices(["gsm7", "ucs2", "8bit", "national"], [45, 35, 10, 10])[0]
        number, centre = random_number(rng), "+" + str(rng.randint(10**9, 10**12))
        if kind == "national":
            language = rng.choice([1, 3])
            # Gammu writes default septets; the locking shift table gives them other characters.
            text = "".join(rng.choice(DEFAULT_TABLE.replace("\r", "")[1:])
                           for _ in range(rng.randint(1, 150)))
            message = Message(number, centre, "gsm7", text, language)
        else:
            message = Message(number, centre, kind, random_text(rng, kind))
        message.pdus = encode(message, rng)
        messages.append(message)

    # A few messages at a time, their parts shuffled together; some parts twice, before their
    # message's last part.
    stream, order = [], []
    for begin in range(0, len(messages), 6):
        group = [(m, p) for m in messages[begin:begin + 6] for p in m.pdus]
        rng.shuffle(group)
        for m in messages[begin:begin + 6]:
            if len(m.pdus) > 1 and rng.random() < 0.2:
                positions = [i for i, (mm, _) in enumerate(group) if mm is m]
                copy = rng.choice(positions[:-1])
                group.insert(copy + 1, group[copy])
        last = {}
        for i, (m, _) in enumerate(group):
            last[id(m)] = i
        order += sorted(messages[begin:begin + 6], key=lambda m: last[id(m)])
        stream += [delivery(p) for _, p in group]

    run = subprocess.run([args.decoder, "--full", "--json"], input="".join(stream).encode(),
                         capture_output=True, check=False)
    if run.returncode != 0:
        sys.exit("gammu_oracle: pelvaro-decode failed: " + run.stderr.decode(errors="replace"))
    results = [json.loads(line) for line in run.stdout.decode().splitlines()]

    agree, standard, failures = 0, {}, []
    if len(results) != len(order):
        failures.append("%d messages in, %d out" % (len(order), len(results)))
    fields = ("sender", "center", "sent", "text", "coding", "class", "parts")
    for message, ours in zip(order, results):
        theirs = gammu_reading(message)
        ours = {k: ours[k] for k in fields}
        if ours == theirs:
            agree += 1
            continue
        right = standard_reading(message, theirs)
        if ours == right:
            reasons = []
            if message.language:
                reasons.append("shift table ignored")
            elif ours["text"] != theirs["text"]:
                reasons.append("junk after escapes")
            if ours["sender"] != theirs["sender"]:
                reasons.append("name read as ASCII or past its end")
            if ours["sent"] != theirs["sent"]:
                reasons.append("19xx read as 20xx")
            reason = ", ".join(reasons)
            standard[reason] = standard.get(reason, 0) + 1
            continue
        failures.append("%r\n  ours:     %r\n  Gammu:    %r\n  standard: %r" % (
            [p.hex().upper() for p in message.pdus], ours, theirs, right))

    parts = sum(len(m.pdus) for m in messages)
    print("gammu_oracle: %d messages in %d deliveries (seed %d): %d agree with Gammu, %d with "
          "the standard where Gammu is known wrong %s, %d disagree"
          % (len(messages), len(stream), SEED, agree, sum(standard.values()), standard,
             len(failures)))
    for failure in failures[:10]:
        print(failure)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
