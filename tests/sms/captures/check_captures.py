#!/usr/bin/env python3
"""pelvaro-decode --full against the table of real captures in captures.jsonl.

Each line of the table is one message as it was captured: its PDUs (several for a long message
whose parts are all there), where they were published, and the sender, centre and text that
TS 23.040 and TS 23.038 give for them, read by hand ("checked" says what was looked at); some also
with the time stamps, "sent" and a status report's "discharged". Messages marked "malformed" break
the standard; they are read as it has receivers read them, and counted apart.

Usage: check_captures.py PELVARO_DECODE
"""

import json
import os
import subprocess
import sys

FIELDS = ("sender", "center", "text")
STAMPS = ("sent", "discharged")  # where a capture names them


def main():
    decoder = sys.argv[1]
    table = os.path.join(os.path.dirname(os.path.abspath(__file__)), "captures.jsonl")
    with open(table, encoding="utf-8") as lines:
        captures = [json.loads(line) for line in lines if line.strip()]

    right = {True: 0, False: 0}
    wrong = []
    for capture in captures:
        run = subprocess.run([decoder, "--full", "--json"] + capture["pdus"],
                             capture_output=True, check=False)
        messages = [json.loads(line) for line in run.stdout.decode().splitlines()]
        fields = FIELDS + tuple(f for f in STAMPS if f in capture)
        got = [{f: m[f] for f in fields} for m in messages]
        expected = [{f: capture[f] for f in fields}]
        if run.returncode == 0 and got == expected:
            right["malformed" in capture] += 1
        else:
            wrong.append("%s %s\n  expected %r\n  got      %r"
                         % (capture["source"], capture["pdus"][0][:40], expected, got))

    malformed = sum(1 for c in captures if "malformed" in c)
    print("check_captures: %d messages in %d PDUs: sender, centre and text (and the time stamps "
          "of %d) right for %d of %d well-formed and %d of %d malformed"
          % (len(captures), sum(len(c["pdus"]) for c in captures),
             sum(1 for c in captures if "sent" in c), right[False], len(captures) - malformed,
             right[True], malformed))
    for line in wrong:
        print(line)
    sys.exit(1 if wrong else 0)


if __name__ == "__main__":
    main()
