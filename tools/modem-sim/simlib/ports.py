"""What answers on ports that are not the modem, for a client that searches the COM ports
for it: a port that says nothing, one that says only rubbish, and an AT port without the
message service, such as a stick's second AT port or a diagnostic port."""

import random
import re

PERSONALITIES = ("modem", "silent", "junk", "at-no-sms")
# The orders every port takes; a port that is no modem takes only these.
PORT_ORDERS = ("ping", "reset", "log", "clear-log", "status", "go-away", "come-back", "send",
               "trickle", "echo")
# Message commands an AT port without the message service does not know.
SMS_COMMANDS = ("+CSMS", "+CNMI", "+CPMS", "+CMGF", "+CMGL", "+CMGR", "+CMGD", "+CNMA", "+CMGS",
                "+CMGW", "+CMSS", "+CSCA")
JUNK_TEXT = (
    b"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n",  # a GPS receiver
    b"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n",
    b"\r\nlogin: ",
    b"?SYNTAX ERR\r\n",
    b"\x1b[2J\x1b[H>> ",
)
OK_ANYWHERE = re.compile(rb"[oO][kK]")


class Noise:
    """Bytes of a port that is no modem: text of other devices and binary rubbish. A fixed seed
    makes a run repeat itself."""

    def __init__(self, seed=7):
        self.random = random.Random(seed)

    def burst(self):
        binary = bytes(self.random.randrange(256) for _ in range(self.random.randint(4, 24)))
        parts = [self.random.choice(JUNK_TEXT), binary]
        self.random.shuffle(parts)
        # Nothing in it may pass for a modem's OK.
        return OK_ANYWHERE.sub(b"0K", b"".join(parts))

    def pause(self):
        return self.random.uniform(0.5, 2.0)


def without_sms(name, kind):
    """The final result of a port without the message service for a message command, or None
    for another command: it knows neither the format command nor the test commands, and turns
    the others down as a message service error."""
    if name not in SMS_COMMANDS:
        return None
    return "ERROR" if name == "+CMGF" or kind == "=?" else "+CMS ERROR: 500"
