"""SMS-DELIVER and SMS-SUBMIT PDUs built from a number and a text.

The packer is written from the GSM rules on its own, without the receiver's
decoder, so that a message built here is an independent check of it.
"""

import time

# GSM 03.38 default alphabet; position = septet value. 0x1B is the escape to
# the extension table and has no character of its own.
DEFAULT_ALPHABET = (
    "@\u00a3$\u00a5\u00e8\u00e9\u00f9\u00ec\u00f2\u00c7\n\u00d8\u00f8\r\u00c5\u00e5"
    "\u0394_\u03a6\u0393\u039b\u03a9\u03a0\u03a8\u03a3\u0398\u039e\x1b\u00c6\u00e6\u00df\u00c9"
    " !\"#\u00a4%&'()*+,-./0123456789:;<=>?"
    "\u00a1ABCDEFGHIJKLMNOPQRSTUVWXYZ\u00c4\u00d6\u00d1\u00dc\u00a7"
    "\u00bfabcdefghijklmnopqrstuvwxyz\u00e4\u00f6\u00f1\u00fc\u00e0"
)
assert len(DEFAULT_ALPHABET) == 128

EXTENSION = {
    "\f": 0x0A, "^": 0x14, "{": 0x28, "}": 0x29, "\\": 0x2F,
    "[": 0x3C, "~": 0x3D, "]": 0x3E, "|": 0x40, "\u20ac": 0x65,
}
ESCAPE = 0x1B
MAX_SEPTETS = 160


def to_septets(text):
    """Septet values of `text`; characters outside the alphabet become '?'."""
    septets = []
    for ch in text:
        if ch in EXTENSION:
            septets += [ESCAPE, EXTENSION[ch]]
            continue
        index = DEFAULT_ALPHABET.find(ch)
        if index < 0 or index == ESCAPE:
            index = DEFAULT_ALPHABET.index("?")
        septets.append(index)
    return septets


def pack_septets(septets):
    """Packs septets LSB first: septet i fills bits 7i .. 7i+6 of the stream."""
    bits = 0
    for i, septet in enumerate(septets):
        bits |= (septet & 0x7F) << (7 * i)
    count = (7 * len(septets) + 7) // 8
    return bits.to_bytes(count, "little")


def semi_octets(digits):
    """Swapped-nibble BCD, padded with F when the count is odd."""
    if len(digits) % 2:
        digits += "F"
    return bytes(int(digits[i + 1] + digits[i], 16) for i in range(0, len(digits), 2))


def split_number(number):
    """(type of address, digits): 0x91 for an international '+' number."""
    international = number.startswith("+")
    digits = number[1:] if international else number
    if not digits or not digits.isdigit():
        raise ValueError("a number is digits, optionally after '+': %r" % number)
    return (0x91 if international else 0x81), digits


def service_centre(number):
    toa, digits = split_number(number)
    body = bytes([toa]) + semi_octets(digits)
    return bytes([len(body)]) + body


def address(number):
    toa, digits = split_number(number)
    return bytes([len(digits), toa]) + semi_octets(digits)


def timestamp(moment):
    """TP-SCTS: year to second as swapped BCD pairs, then a zero time zone."""
    fields = time.strftime("%y%m%d%H%M%S", moment) + "00"
    return semi_octets(fields)


def septets_of(text):
    septets = to_septets(text)
    if len(septets) > MAX_SEPTETS:
        raise ValueError("text needs %d septets; one message holds %d"
                         % (len(septets), MAX_SEPTETS))
    return septets


def coding(message_class):
    # General data coding, 7-bit default alphabet; bit 4 says that bits 0-1 are the class.
    return 0x00 if message_class is None else 0x10 | message_class


def deliver_pdu(sender, text, centre, moment=None, message_class=None):
    """Hexadecimal SMS-DELIVER (7-bit, one part) as a modem shows it in PDU mode; with a
    message class (0 to 3) its data coding scheme says so.

    Returns (hex text, TPDU length in octets for the +CMT header)."""
    septets = septets_of(text)
    sca = service_centre(centre)
    tpdu = (bytes([0x04])  # SMS-DELIVER, no more messages waiting
            + address(sender)
            + bytes([0x00, coding(message_class)])  # protocol identifier, data coding scheme
            + timestamp(moment or time.gmtime())
            + bytes([len(septets)])
            + pack_septets(septets))
    return (sca + tpdu).hex().upper(), len(tpdu)


def gsm_encodable(text):
    """Whether every character has a place in the default alphabet or its extension."""
    return all(ch in EXTENSION or (ch in DEFAULT_ALPHABET and ch != "\x1b") for ch in text)


# What one part holds besides the 6 octets of a concatenation header: 153 septets or 67 UCS2
# characters; unsplit, 160 septets or 70 characters.
PART_SEPTETS, PART_UNITS, WHOLE_UNITS = 153, 67, 70


def _septet_parts(septets):
    parts, current = [], []
    for septet in septets:
        # An escape and the character after it stay in one part.
        if len(current) >= PART_SEPTETS or (len(current) == PART_SEPTETS - 1
                                           and septet == ESCAPE):
            parts.append(current)
            current = []
        current.append(septet)
    return parts + [current]


def _ucs2_parts(units):
    parts, at = [], 0
    while at < len(units):
        end = min(at + PART_UNITS, len(units))
        if end < len(units) and 0xD800 <= units[end - 1] < 0xDC00:  # keep a surrogate pair
            end -= 1
        parts.append(units[at:end])
        at = end
    return parts


def deliver_parts(sender, text, centre, reference=0, moment=None):
    """Hexadecimal SMS-DELIVERs for text as a phone sends it: GSM 7-bit where every character
    has a place in it, else UCS2; text too long for one message in parts with an 8-bit
    concatenation header (reference, count, number)."""
    sca = service_centre(centre)
    stamp = timestamp(moment or time.gmtime())
    if gsm_encodable(text):
        septets = to_septets(text)
        parts = [septets] if len(septets) <= MAX_SEPTETS else _septet_parts(septets)
        coding_scheme = 0x00
    else:
        data = text.encode("utf-16-be")
        units = [int.from_bytes(data[i:i + 2], "big") for i in range(0, len(data), 2)]
        parts = [units] if len(units) <= WHOLE_UNITS else _ucs2_parts(units)
        coding_scheme = 0x08
    pdus = []
    for number, part in enumerate(parts, 1):
        header = b"" if len(parts) == 1 else bytes([5, 0, 3, reference & 0xFF, len(parts), number])
        if coding_scheme == 0x00:
            # The header fills whole septets: the text starts at the next septet boundary.
            fill = (len(header) * 8 + 6) // 7
            packed = bytearray(pack_septets([0] * fill + part))
            packed[:len(header)] = header
            length = fill + len(part)
        else:
            packed = header + b"".join(unit.to_bytes(2, "big") for unit in part)
            length = len(packed)
        first = 0x44 if header else 0x04  # SMS-DELIVER; 0x40: the user data holds a header
        tpdu = (bytes([first]) + address(sender) + bytes([0x00, coding_scheme]) + stamp
                + bytes([length]) + bytes(packed))
        pdus.append((sca + tpdu).hex().upper())
    return pdus


def submit_pdu(destination, text, message_class=None):
    """Hexadecimal SMS-SUBMIT (7-bit, unsplit, valid for four days) as a modem keeps a
    message written to it: with no service centre of its own, so the default one."""
    septets = septets_of(text)
    tpdu = (bytes([0x11, 0x00])  # SMS-SUBMIT with a relative validity period; reference 0
            + address(destination)
            + bytes([0x00, coding(message_class), 0xAA, len(septets)])
            + pack_septets(septets))
    return "00" + tpdu.hex().upper()


def is_submit(pdu_hex):
    octets = bytes.fromhex(pdu_hex)
    at = 1 + octets[0] if octets else 0
    return len(octets) > at and octets[at] & 0x03 == 0x01


# Octets of an SMS-SUBMIT's validity period by its format, bits 3-4 of the first octet.
VALIDITY_OCTETS = (0, 7, 1, 7)


def text_mode_fields(pdu_hex):
    """(originator, or destination of an SMS-SUBMIT; user data in hex), as a modem in text
    mode shows a message whose data it cannot show as text; empty where the PDU is too
    short."""
    octets = bytes.fromhex(pdu_hex)
    first = 1 + octets[0] if octets else 0  # the first octet of the TPDU
    if len(octets) <= first:
        return "", ""
    submit = octets[first] & 0x03 == 0x01
    at = first + (2 if submit else 1)  # the address's length octet, past a SUBMIT's reference
    if len(octets) < at + 2:
        return "", ""
    count, toa = octets[at], octets[at + 1]
    digits = "".join("%x%x" % (o & 15, o >> 4) for o in octets[at + 2:at + 2 + (count + 1) // 2])
    number = ("+" if toa == 0x91 else "") + digits[:count].upper()
    after = VALIDITY_OCTETS[(octets[first] >> 3) & 3] if submit else 7  # or the time stamp
    user_data = at + 2 + (count + 1) // 2 + 2 + after + 1  # past PID, DCS, those and UDL
    return number, octets[user_data:].hex().upper()


def message_class(pdu_hex):
    """The class (0 to 3) an SMS-DELIVER's data coding scheme gives it, or None where it has
    none or the PDU cannot be read that far."""
    try:
        octets = bytes.fromhex(pdu_hex)
        at = 1 + octets[0]  # the first octet of the TPDU
        if octets[at] & 0x03 != 0:  # not an SMS-DELIVER
            return None
        digits = octets[at + 1]
        dcs = octets[at + 1 + 2 + (digits + 1) // 2 + 1]
    except (ValueError, IndexError):
        return None
    # Groups 00xx and 01xx (general, or marked for deletion) carry a class only with bit 4 set;
    # group 1111 always does.
    if dcs & 0x80 == 0 and dcs & 0x10:
        return dcs & 0x03
    if dcs & 0xF0 == 0xF0:
        return dcs & 0x03
    return None


def tpdu_length(pdu_hex):
    """Octets after the service-centre address, as the +CMT header counts them."""
    octets = bytes.fromhex(pdu_hex)
    if not octets:
        return 0
    return max(0, len(octets) - 1 - octets[0])
