#!/usr/bin/env python3
"""The simulated modem itself: its packer and what it does on the line."""

import json
import os
import subprocess
import sys
import tempfile
import time
import unittest

SIM_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "modem-sim")
sys.path.insert(0, SIM_DIR)

from simlib import pdu  # noqa: E402


class Packer(unittest.TestCase):
    def test_septets_pack_least_significant_bit_first(self):
        cases = [
            ("Hello", "C8329BFD06"),
            ("hellohello", "E8329BFD4697D9EC37"),  # eight septets fill seven octets exactly
            ("\u20ac", "9B32"),  # escape, then 0x65 from the extension table
            ("", ""),
        ]
        for text, packed in cases:
            self.assertEqual(pdu.pack_septets(pdu.to_septets(text)).hex().upper(), packed, text)

    def test_built_pdus_match_known_messages(self):
        moment = time.strptime("2004-12-21 13:52:00", "%Y-%m-%d %H:%M:%S")
        hex_text, length = pdu.deliver_pdu("+12345678901", "Hello", "+1234567890", moment)
        self.assertEqual(hex_text, "06912143658709040B912143658709F100004021123125000005C8329BFD06")
        self.assertEqual(length, 24)
        submit = pdu.submit_pdu("+46708251358", "hellohello")
        self.assertEqual(submit, "0011000B916407281553F80000AA0AE8329BFD4697D9EC37")
        self.assertEqual(pdu.text_mode_fields(submit), ("+46708251358", "E8329BFD4697D9EC37"))

    def test_the_class_is_read_from_the_data_coding_scheme(self):
        known = "06912143658709040B912143658709F100004021123125000005C8329BFD06"
        cases = [
            (pdu.deliver_pdu("+4917", "hi", "+49", message_class=2)[0], 2),
            (known, None),
            (known.replace("F10000", "F10011"), 1),  # general group, bit 4 set
            (known.replace("F10000", "F10002"), None),  # bits 0-1 without bit 4 mean nothing
            (known.replace("F10000", "F10053"), 3),  # marked for deletion, class 3
            (known.replace("F10000", "F100F0"), 0),  # group 1111
            (known.replace("F10000", "F100C8"), None),  # message waiting group
            ("0011AA", None),  # not an SMS-DELIVER
            ("06912143", None),  # cut short
        ]
        for hex_text, expected in cases:
            self.assertEqual(pdu.message_class(hex_text), expected, hex_text)

    def test_too_long_or_bad_input_is_refused(self):
        with self.assertRaises(ValueError):
            pdu.deliver_pdu("+49", "x" * 161, "+49")
        with self.assertRaises(ValueError):
            pdu.deliver_pdu("Bob", "hi", "+49")


class OnTheLine(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="modem-sim-test.")
        self.link = os.path.join(self.folder, "com")
        self.sim, self.request, self.reply = self.launch(self.link)
        self.line = os.open(self.link, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)

    def launch(self, link, *options):
        """A sim on a pty linked as link; its process and control channel."""
        control, ready = link + ".control", link + ".ready"
        sim = subprocess.Popen([sys.executable, os.path.join(SIM_DIR, "modem-sim"), "--link",
                                link, "--control", control, "--ready", ready, *options])
        while not os.path.exists(ready):
            time.sleep(0.02)
        request = open(os.path.join(control, "request"), "w")
        return sim, request, open(os.path.join(control, "reply"))

    def tearDown(self):
        os.close(self.line)
        self.request.close()
        self.reply.close()
        self.sim.terminate()
        self.sim.wait()
        self.assertFalse(os.path.lexists(self.link))

    def order(self, text, channel=None):
        request, reply = channel or (self.request, self.reply)
        request.write(text + "\n")
        request.flush()
        return reply.readline().rstrip("\n")

    def exchange(self, data, settle=0.15, line=None):
        line = self.line if line is None else line
        if data:
            os.write(line, data)
        time.sleep(settle)
        try:
            return os.read(line, 65536)
        except BlockingIOError:
            return b""

    def test_commands_get_echo_and_ok(self):
        self.assertEqual(self.exchange(b"AT+CNMI=1,2\r\n"), b"AT+CNMI=1,2\r\r\nOK\r\n")
        self.assertEqual(self.exchange(b"a/"), b"a/\r\nOK\r\n")
        self.order("echo off")
        self.assertEqual(self.exchange(b"AT+CSMS=1\r\n"), b"\r\n+CSMS: 1,1,1\r\n\r\nOK\r\n")
        self.order("error 1")
        self.assertEqual(self.exchange(b"AT\r\n"), b"\r\nERROR\r\n")

    def test_each_delivery_waits_for_the_acknowledgement(self):
        first = self.order("deliver pdu 0011AA").split()[1]
        self.order("deliver text +4917 hi")
        self.assertEqual(self.exchange(b""), b"\r\n+CMT: ,2\r\n" + first.encode() + b"\r\n")
        self.assertEqual(self.exchange(b""), b"")
        self.assertIn(b"OK\r\n\r\n+CMT: ,", self.exchange(b"AT+CNMA\r\n"))

    def test_text_mode_line_ends_and_bursts_shape_the_deliveries(self):
        self.exchange(b"AT+CMGF=1\r")
        self.order("hold off")
        self.order("line-end lf")
        self.order("deliver text +4917 hi")
        self.assertRegex(self.exchange(b""), rb'^\n\+CMT: "\+4917",,"[0-9/]+,[0-9:]+\+00"\nhi\n$')
        self.assertIn(b"ERROR", self.exchange(b"AT+CMGF=2\r"))
        self.exchange(b"AT+CMGF=0\r")
        self.order("together 3")
        first = self.order("deliver pdu 0011AA").split()[1].encode()
        self.order("deliver pdu 0011AA")
        self.assertEqual(self.exchange(b""), b"")
        self.order("deliver pdu 0011AA")
        self.assertEqual(self.exchange(b""), (b"\n+CMT: ,2\n" + first + b"\n") * 3)

    def test_going_away_removes_the_port_until_it_comes_back(self):
        self.assertEqual(self.order("go-away"), "ok")
        self.assertFalse(os.path.lexists(self.link))
        self.assertEqual(self.order("come-back"), "ok")
        os.close(self.line)
        self.line = os.open(self.link, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        self.assertEqual(self.exchange(b"AT\r"), b"AT\r\r\nOK\r\n")

    def test_bad_orders_are_refused(self):
        for text in ("bogus", "deliver pdu XYZ", "deliver-during later", "echo maybe",
                     "refuse", "offer +CNMI (0-", "ack maybe", "store class5 +49 x",
                     "restart off", "restart 'RDY", "reports huawei 0", "go-away soon",
                     "power-on-routing 2;1", "routing x", "phase 2", "accept +CSMS=1",
                     "deliver text +4917 cut\\", "store text +4917 \\xff"):
            self.assertTrue(self.order(text).startswith("error "), text)

    # ---- modem families ------------------------------------------------------

    def fresh(self, *orders):
        """A reset sim without echo, then the orders; fails on a refused one."""
        for text in ("reset", "echo off") + orders:
            self.assertTrue(self.order(text).startswith("ok"), text)

    def status(self):
        return dict(field.split("=", 1) for field in self.order("status").split()[1:])

    def test_commands_are_answered_as_offered_or_refused(self):
        cms = lambda code: b"\r\n+CMS ERROR: %d\r\n" % code  # noqa: E731
        ok = b"\r\nOK\r\n"
        cases = [
            ((), b"AT+CSMS=?", b"\r\n+CSMS: (0,1)\r\n" + ok),
            ((), b"AT+CNMI=?", b"\r\n+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)\r\n" + ok),
            ((), b"AT+CPMS=?", b'\r\n+CPMS: ("SM","ME"),("SM","ME"),("SM","ME")\r\n' + ok),
            ((), b"AT+CNMI=2,3,0,2,1", ok),  # ranges include their ends
            ((), b"AT+CNMI=2,4", cms(303)),
            ((), b"AT+CNMI?", b"\r\n+CNMI: 1,2,0,0,0\r\n" + ok),
            ((), b'AT+CPMS="ME"', b"\r\n+CPMS: 0,30,0,30,0,30\r\n" + ok),
            ((), b'AT+CPMS="XX"', cms(303)),
            (("offer +CSMS (0)",), b"AT+CSMS=1", cms(303)),
            (("offer +CSMS (0)",), b"AT+CSMS=0", b"\r\n+CSMS: 1,1,1\r\n" + ok),
            (("offer +CNMI (0,2),(0,1,2,3),(0),(0),(0,1)",), b"AT+CNMI=1,2", cms(303)),
            (("offer +CNMI (0,2),(0,1,2,3),(0),(0),(0,1)",), b"AT+CNMI=2,2", ok),
            (("offer +CNMI (0,2),(0,1)",), b"AT+CNMI=?", b"\r\n+CNMI: (0,2),(0,1)\r\n" + ok),
            (("offer +CPMS (),(),()",), b"AT+CPMS=?", b"\r\n+CPMS: (),(),()\r\n" + ok),
            (("offer +CPMS (),(),()",), b"AT+CMGL=4", cms(303)),
            (("refuse +CSMS=1",), b"AT+CSMS=1", cms(500)),
            (("refuse +cnmi=1,2 ERROR",), b"at+CNMI=1,2,0,0,0", b"\r\nERROR\r\n"),
            (("refuse +cnmi=1,2 ERROR",), b"AT+CNMI=2,2", ok),
            (("refuse +CNMI", "refuse +CNMI=1 +CME ERROR: 3"), b"AT+CNMI=1,1",
             b"\r\n+CME ERROR: 3\r\n"),  # the longest prefix wins
            (("refuse +CSMS=1", "accept all"), b"AT+CSMS=1", b"\r\n+CSMS: 1,1,1\r\n" + ok),
            (("ack strict",), b"AT+CNMA", cms(340)),
            ((), b'AT+CPMS="ME","SM","ME"', b"\r\n+CPMS: 0,30,0,30,0,30\r\n" + ok),
            ((), b'AT+CPMS="SM","MT"', cms(303)),
            ((), b"AT+CGMI", b"\r\nPelvaro Sim\r\n" + ok),
            ((), b"AT+CGMM", b"\r\nGSM Modem Sim 1\r\n" + ok),
            ((), b"AT+CGMR", b"\r\n1.0\r\n" + ok),
            ((), b"AT+CPIN?", b"\r\n+CPIN: READY\r\n" + ok),
            ((), b"AT+CPIN=1234", b"\r\n+CME ERROR: 3\r\n"),  # nothing to enter
        ]
        for orders, command, reply in cases:
            self.fresh(*orders)
            self.assertEqual(self.exchange(command + b"\r"), reply, (orders, command))
        self.fresh("refuse +CSMS")
        self.exchange(b"AT+CSMS=0\r")
        self.assertEqual(self.status()["phase"], "1", "a refused command changes nothing")
        self.assertEqual(self.status()["refused"], "+CSMS")

    def test_routing_and_class_decide_between_delivery_and_storage(self):
        cases = [  # routing, how the message is given, what the line gets
            ("1,2", "text", rb"\+CMT: ,\d+\r\n[0-9A-F]+\r\n"),
            ("1,2", "class0", rb"\+CMT: "),
            ("1,2", "class2", rb'\+CMTI: "SM",1\r\n'),
            ("1,1", "text", rb'\+CMTI: "SM",1\r\n'),
            ("1,3", "class3", rb"\+CMT: "),
            ("1,3", "class1", rb'\+CMTI: "SM",1\r\n'),
            ("1,0", "class3", rb"^$"),
        ]
        for routing, kind, line in cases:
            self.fresh("hold off")
            self.exchange(b"AT+CNMI=%s\r" % routing.encode())
            built = self.order("deliver %s +4917 hi" % kind).split()[1]
            self.assertRegex(self.exchange(b""), line, (routing, kind))
            stored = "" if b"CMT:" in line else "1:0:" + built
            self.assertEqual(self.order("storage"), ("ok " + stored).rstrip(), (routing, kind))
        # Under mode 0 announcements wait for a mode that sends them.
        self.fresh("hold off")
        self.exchange(b"AT+CNMI=0,1\r")
        self.order("deliver text +4917 hi")
        self.assertEqual(self.exchange(b""), b"")
        self.assertEqual(self.exchange(b"AT+CNMI=2\r"), b'\r\nOK\r\n\r\n+CMTI: "SM",1\r\n')

    def test_storage_is_listed_read_and_deleted(self):
        self.fresh()
        first = self.order("store text +4917 one").split()[2].encode()
        second = self.order("store read pdu 0011AA").split()[2].encode()
        self.assertEqual(self.exchange(b"AT+CMGL=0\r"),
                         b"\r\n+CMGL: 1,0,,18\r\n" + first + b"\r\n\r\nOK\r\n")
        self.assertEqual(self.exchange(b"AT+CMGL=4\r"),  # what was listed is read now
                         b"\r\n+CMGL: 1,1,,18\r\n" + first + b"\r\n+CMGL: 2,1,,2\r\n"
                         + second + b"\r\n\r\nOK\r\n")
        self.assertEqual(self.exchange(b"AT+CMGR=2\r"),
                         b"\r\n+CMGR: 1,,2\r\n" + second + b"\r\n\r\nOK\r\n")
        self.assertEqual(self.exchange(b"AT+CMGR=3\r"), b"\r\n+CMS ERROR: 321\r\n")
        self.assertEqual(self.exchange(b"AT+CMGD=1\r"), b"\r\nOK\r\n")
        self.exchange(b"AT+CNMI=2,1\r")
        self.order("deliver class2 +4917 two")  # takes the first free place
        self.assertEqual(self.exchange(b"AT+CPMS?\r"),
                         b'\r\n+CMTI: "SM",1\r\n\r\n+CPMS: "SM",2,30,"SM",2,30,"SM",2,30\r\n'
                         b"\r\nOK\r\n")
        self.exchange(b"AT+CMGF=1\r")
        self.assertRegex(self.exchange(b'AT+CMGL="REC UNREAD"\r'),
                         rb'^\r\n\+CMGL: 1,"REC UNREAD","\+4917",,"[0-9/,:+]+"\r\ntwo\r\n\r\nOK')
        self.exchange(b"AT+CMGD=1,4\r")
        self.order("storage-size 1")
        self.order("store text +4917 three")
        self.order("deliver text +4917 four")  # routed to the full storage
        self.assertEqual((self.status()["stored"], self.status()["lost"]), ("1/1", "1"))

    def test_two_memories_each_with_its_own_places(self):
        self.fresh("hold off", "routing 1,1", "memories SM,SM,ME")  # a stick storing in the phone
        kept = self.order("store text +4917 sim").split()[2]
        read = self.order("store read ME text +4917 phone").split()[2]
        built = self.order("deliver text +4917 new").split()[1]
        self.assertEqual(self.exchange(b""), b'\r\n+CMTI: "ME",2\r\n')
        self.assertEqual(self.order("storage"),
                         "ok 1:0:%s ME:1:1:%s ME:2:0:%s" % (kept, read, built))
        self.assertEqual(self.order("storage ME"), "ok 1:1:%s 2:0:%s" % (read, built))
        self.assertEqual(self.exchange(b"AT+CMGR=2\r"), b"\r\n+CMS ERROR: 321\r\n",
                         "read where AT+CPMS points, not where the announcement says")
        self.assertEqual(self.exchange(b'AT+CPMS="ME"\r'),
                         b"\r\n+CPMS: 2,30,1,30,2,30\r\n\r\nOK\r\n")
        self.assertEqual(self.exchange(b"AT+CPMS?\r"),
                         b'\r\n+CPMS: "ME",2,30,"SM",1,30,"ME",2,30\r\n\r\nOK\r\n')
        self.assertIn(built.encode(), self.exchange(b"AT+CMGR=2\r"))
        self.exchange(b"AT+CMGD=1\r")
        self.assertTrue(self.order("storage-size 1 ME").startswith("error"),
                        "index 2 would be out of reach")
        self.exchange(b"AT+CMGD=2\r")
        self.assertEqual(self.order("storage"), "ok 1:0:" + kept)
        self.order("restart off 0.1")
        self.exchange(b"", 0.3)
        self.assertEqual(self.status()["memories"], "SM,SM,ME", "as the module starts")
        self.assertTrue(self.order("storage-size 1 ME").startswith("ok"))
        self.assertEqual((self.status()["stored"], self.status()["stored-me"]), ("1/30", "0/1"))

    def test_drafts_and_sent_messages_are_listed_only_with_all(self):
        self.fresh()
        draft = self.order("store unsent text +4917 draft").split()[2].encode()
        sent = self.order("store sent pdu 0011000B916407281553F80000AA0AE8329BFD4697D9EC37")
        sent = sent.split()[2].encode()
        for command in (b"AT+CMGL=0\r", b"AT+CMGL=1\r", b"AT+CMGL\r"):
            self.assertEqual(self.exchange(command), b"\r\nOK\r\n", command)
        self.assertEqual(self.exchange(b"AT+CMGL=4\r"),
                         b"\r\n+CMGL: 1,2,,%d\r\n%s\r\n+CMGL: 2,3,,23\r\n%s\r\n\r\nOK\r\n"
                         % (len(draft) // 2 - 1, draft, sent))
        self.exchange(b"AT+CMGF=1\r")
        self.assertEqual(self.exchange(b"AT+CMGR=1\r"),
                         b'\r\n+CMGR: "STO UNSENT","+4917",\r\ndraft\r\n\r\nOK\r\n')
        self.assertEqual(self.order("storage"),
                         "ok 1:2:%s 2:3:%s" % (draft.decode(), sent.decode()))

    def test_a_full_storage_loses_the_message_or_the_network_holds_it(self):
        for behaviour, lost, held, after_delete in (("lose", "1", "0", b""),
                                                    ("retry", "0", "1", b'\r\n+CMTI: "SM",1\r\n')):
            self.fresh("hold off", "routing 1,1", "storage-size 1", "full-storage " + behaviour)
            self.order("store text +4917 one")
            later = self.order("deliver text +4917 two").split()[1]
            self.assertEqual(self.exchange(b""), b"", behaviour)
            self.assertEqual((self.status()["lost"], self.status()["held"]), (lost, held))
            self.assertEqual(self.exchange(b"AT+CMGD=1\r"), b"\r\nOK\r\n" + after_delete)
            self.assertEqual(self.order("storage"), "ok 1:0:" + later if held == "1" else "ok")

    def test_a_sim_not_ready_refuses_message_commands(self):
        commands = (b"AT+CSMS=?", b"AT+CSMS=1", b"AT+CNMI=?", b"AT+CNMI=1,2", b"AT+CPMS?",
                    b"AT+CPMS=?", b'AT+CPMS="SM"', b"AT+CMGL=4", b"AT+CMGR=1", b"AT+CMGD=1",
                    b"AT+CNMA")
        cases = [  # orders, answer to AT+CPIN?, answer to each message command
            (("sim pin 1234",), b"\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n", 311),
            (("sim puk",), b"\r\n+CPIN: SIM PUK\r\n\r\nOK\r\n", 316),
            (("sim busy 9",), b"\r\n+CME ERROR: 14\r\n", 314),
            (("sim busy 9 notready cms515",), b"\r\n+CPIN: NOT READY\r\n\r\nOK\r\n", 515),
        ]
        for orders, cpin, code in cases:
            self.fresh(*orders)
            self.assertEqual(self.exchange(b"AT+CPIN?\r"), cpin, orders)
            self.assertEqual(self.exchange(b"\r".join(commands) + b"\r", 0.3),
                             b"\r\n+CMS ERROR: %d\r\n" % code * len(commands), orders)
            self.assertEqual(self.exchange(b"AT+CMGF=0\rAT+CNMI?\r"),
                             b"\r\nOK\r\n\r\n+CNMI: 1,2,0,0,0\r\n\r\nOK\r\n", orders)

    def test_the_pin_opens_the_sim_and_what_came_meanwhile_follows(self):
        self.fresh("hold off", "sim pin 1234 2", "sim ready-after 0.2")
        built = self.order("deliver text +4917 meanwhile").split()[1].encode()
        cme16 = b"\r\n+CME ERROR: 16\r\n"
        self.assertEqual(self.exchange(b'AT+CPIN="1111"\r'), cme16)
        self.assertEqual(self.exchange(b'AT+CPIN="1234"\r', 0.9),
                         b"\r\nOK\r\n\r\n+CPIN: READY\r\n\r\nSMS Ready\r\n\r\n+CMT: ,%d\r\n%s\r\n"
                         % (pdu.tpdu_length(built.decode()), built))
        status = self.status()
        self.assertEqual((status["sim"], status["pin-tries"], status["pin-sent"]),
                         ("ready", "2", "2"))
        # After a restart it asks again; the last wrong try leaves only the PUK.
        self.order("restart off 0.1")
        self.exchange(b"", 0.3)
        self.order("echo off")
        self.assertEqual(self.exchange(b"AT+CPIN=1\rAT+CPIN=2\rAT+CPIN=1234\r"), cme16 * 3)
        self.assertEqual(self.exchange(b"AT+CPIN?\r"), b"\r\n+CPIN: SIM PUK\r\n\r\nOK\r\n")
        self.order("sim ready")
        self.assertEqual(self.exchange(b"AT+CSMS=?\r"), b"\r\n+CSMS: (0,1)\r\n\r\nOK\r\n")

    def test_a_busy_sim_comes_up_by_itself_after_the_restart(self):
        self.fresh("power-on-routing 1,2")
        self.order("restart off 0.3")
        self.order("sim busy 0.1")  # up while the module is still off: said once it is on
        built = self.order("deliver text +4917 meanwhile").split()[1].encode()
        self.assertEqual(self.exchange(b"", 1.2),
                         b"\r\nRDY\r\n\r\n+CPIN: READY\r\n\r\nSMS Ready\r\n\r\n+CMT: ,%d\r\n%s\r\n"
                         % (pdu.tpdu_length(built.decode()), built))

    def test_ports_that_are_no_modem(self):
        ok, error, cms500 = b"\r\nOK\r\n", b"\r\nERROR\r\n", b"\r\n+CMS ERROR: 500\r\n"
        cases = [  # personality, what the line gets for what
            ("silent", [(b"AT\r", b""), (b"AT+CGMI\r", b"")]),
            ("at-no-sms", [(b"ATE0\r", b"ATE0\r" + ok), (b"AT+CGMI\r", b"\r\nPelvaro Sim\r\n" + ok),
                           (b"AT+CPIN?\r", b"\r\n+CPIN: READY\r\n" + ok), (b"AT+CSQ\r", ok),
                           (b"AT+CMGF=0\r", error), (b"AT+CSMS=?\r", error),
                           (b"AT+CNMI=?\r", error),
                           (b"AT+CSMS=1\r", cms500), (b"AT+CNMI=1,2\r", cms500),
                           (b"AT+CPMS?\r", cms500), (b"AT+CMGL=4\r", cms500)]),
            ("junk", [(b"AT\r", None), (b"", None)]),  # None: rubbish, and no OK in it
        ]
        for kind, exchanges in cases:
            link = os.path.join(self.folder, kind)
            sim, *channel = self.launch(link, "--personality", kind)
            self.addCleanup(sim.wait)
            self.addCleanup(sim.terminate)
            for end in channel:
                self.addCleanup(end.close)
            line = os.open(link, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
            self.addCleanup(os.close, line)
            for data, reply in exchanges:
                got = self.exchange(data, 0.15 if data else 2.1, line)  # unasked: within 2 s
                if reply is None:
                    self.assertTrue(got, (kind, data))
                    self.assertNotRegex(got, rb"[oO][kK]", (kind, data))
                else:
                    self.assertEqual(got, reply, (kind, data))
            self.assertIn(b"AT".hex(), self.order("log", channel), kind)
            self.assertTrue(self.order("deliver text +4917 hi", channel).startswith("error"), kind)
            for text in ("ping", "clear-log", "go-away", "come-back", "reset"):
                self.assertTrue(self.order(text, channel).startswith("ok"), (kind, text))
            self.assertIn("personality=" + kind, self.order("status", channel))

    def test_acknowledgement_rules_follow_the_phase(self):
        self.fresh("ack strict")
        self.order("deliver text +4917 one")
        self.order("deliver text +4917 two")
        self.assertEqual(self.exchange(b"").count(b"+CMT:"), 1)
        self.assertIn(b"OK\r\n\r\n+CMT:", self.exchange(b"AT+CNMA=0\r"))
        self.exchange(b"AT+CNMA\r")
        self.assertEqual(self.exchange(b"AT+CNMA\r"), b"\r\n+CMS ERROR: 340\r\n")
        self.exchange(b"AT+CSMS=0\r")  # phase 2: nothing waits, nothing is acknowledged
        self.order("deliver text +4917 three")
        self.order("deliver text +4917 four")
        self.assertEqual(self.exchange(b"").count(b"+CMT:"), 2)
        self.assertEqual(self.exchange(b"AT+CNMA\r"), b"\r\n+CMS ERROR: 340\r\n")
        self.fresh("phase 0", "routing 2,1")  # as a modem without phase 2+ may start
        self.order("deliver text +4917 five")
        self.assertEqual(self.exchange(b"AT+CSMS?\r"),
                         b'\r\n+CMTI: "SM",1\r\n\r\n+CSMS: 0,1,1,1\r\n\r\nOK\r\n')
        # Not acknowledged in time: stored, and the routing to the client is off.
        self.fresh("ack-timeout 0.3")
        held = self.order("deliver text +4917 five").split()[1]
        after = self.order("deliver text +4917 six").split()[1]
        self.assertEqual(self.exchange(b"", 0.6).count(b"+CMT:"), 1)
        self.assertEqual(self.status()["cnmi"], "1,0,0,0,0")
        self.assertEqual(self.order("storage"), "ok 1:0:%s 2:0:%s" % (held, after))

    def test_a_restart_loses_the_settings_and_may_deliver_again(self):
        self.fresh("store text +4917 kept")
        again = self.order("deliver text +4917 again").split()[1]
        self.exchange(b"AT+CSMS=1\r")
        self.order("trickle 41424344 100")
        self.order('restart off 0.4 "+CFUN: 1" "SMS Ready" redeliver')
        self.assertIn(self.exchange(b"AT\r", 0.2), (b"", b"A"), "unwritten output is lost, "
                      "and a module that is off answers nothing")
        self.assertEqual(self.exchange(b"", 0.4), b"\r\n+CFUN: 1\r\n\r\nSMS Ready\r\n")
        status = self.status()
        self.assertEqual((status["echo"], status["phase"], status["cnmi"], status["awaiting-ack"]),
                         ("on", "0", "0,0,0,0,0", "no"))
        self.assertEqual(self.order("storage").split()[2], "2:0:" + again,
                         "stored again, silently, next to what was kept")
        # With its own power-on routing, and later, the message comes as +CMT once more.
        self.fresh("power-on-routing 2,2")
        self.order("deliver text +4917 again")
        delivery = self.exchange(b"")
        self.exchange(b"AT+CNMA\r")
        self.order("restart off 0.1 ^SYSSTART redeliver 0.3")
        self.assertEqual(self.exchange(b"", 0.2), b"\r\n^SYSSTART\r\n")
        self.assertEqual(self.exchange(b"", 0.4), delivery)

    def test_status_reports_come_between_replies(self):
        self.fresh("reports huawei 0.1", "split-reply 4 500")
        reply = b"\r\n+CNMI: 1,2,0,0,0\r\n\r\nOK\r\n"
        line = self.exchange(b"AT+CNMI?\r", 0.8)
        self.assertIn(reply, line, "a report never splits a reply")
        self.assertTrue(line.replace(reply, b"", 1).startswith(
            b"\r\n^RSSI:17\r\n\r\n^DSFLOWRPT:0000001E,00000000,00000000,0000000000000000,"
            b"0000000000000000,0003E800,0003E800\r\n\r\n^MODE:5,4\r\n\r\n"
            b"^BOOT:20952548,0,0,0,75\r\n\r\n^RSSI:17\r\n"), line)
        self.exchange(b"AT^CURC=0\r")
        self.assertEqual(self.exchange(b"", 0.3), b"")
        self.order("reports off")
        self.exchange(b"AT^CURC=1\r")
        self.order("report +CREG: 1")
        self.assertEqual(self.exchange(b"", 0.3), b"\r\n+CREG: 1\r\n")

    def test_a_port_gone_for_a_while_comes_back_as_a_new_pty(self):
        old = os.readlink(self.link)
        self.assertEqual(self.order("go-away 0.4"), "ok")
        self.assertFalse(os.path.lexists(self.link))
        # The handle on the vanished pty reads end-of-file and cannot write: nothing hangs.
        self.assertEqual(os.read(self.line, 16), b"")
        with self.assertRaises(OSError):
            os.write(self.line, b"AT\r")
        time.sleep(0.6)
        self.assertNotEqual(os.readlink(self.link), old)
        self.assertEqual(os.read(self.line, 16), b"")
        os.close(self.line)
        self.line = os.open(self.link, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        self.assertEqual(self.exchange(b"AT\r"), b"AT\r\r\nOK\r\n")

    # ---- faults of the field, and chaos runs ----------------------------------

    def test_a_late_reply_holds_back_the_next_command_and_acts_when_it_goes_out(self):
        self.fresh("echo on", "slow +CPMS 0.4", "slow-reads 0.2 1")
        sim = self.order("store text +4917 sim").split()[2]
        self.order("store ME text +4917 phone")
        # A client that gave up on AT+CPMS sends its deletion meant for the SIM.
        self.assertEqual(self.exchange(b'AT+CPMS="ME"\rAT+CMGD=1\r', 0.2), b'AT+CPMS="ME"\r')
        self.assertEqual(self.status()["memories"], "SM,SM,SM", "not yet selected")
        self.assertEqual(self.exchange(b"", 0.4),
                         b"\r\n+CPMS: 1,30,1,30,1,30\r\n\r\nOK\r\nAT+CMGD=1\r\r\nOK\r\n")
        self.assertEqual(self.order("storage"), "ok 1:0:" + sim,
                         "the phone's message went, the SIM's stayed")
        self.assertEqual(self.exchange(b"AT\r"), b"AT\r\r\nOK\r\n", "once only")
        self.assertEqual(self.exchange(b"AT+CMGL=4\r", 0.1), b"AT+CMGL=4\r")
        self.assertEqual(self.exchange(b"", 0.3), b"\r\nOK\r\n")

    def test_unknown_lines_come_between_replies_and_between_listed_entries(self):
        self.fresh("unknown-lines 0.1 inside 1")
        for text in ("one", "two", "three"):
            self.order("store text +4917 " + text)
        line = self.exchange(b"AT+CMGL=4\r", 0.3).decode()
        lines = [text for text in line.split("\r\n")]
        unknown = ("+XYZ: 1,2", "^NEWTHING: 3", "+ZUSIMR:2", "*EMRDY: 1", "#QSS: 2", "+PACSP1",
                   "$VENDOR,NOISE,7", "")
        listing = [text for text in lines if text not in unknown]
        self.assertEqual(len(listing), 7, line)  # three entries of two lines, then OK
        for entry in range(3):  # an entry's header and PDU stay together
            self.assertTrue(listing[2 * entry].startswith("+CMGL: %d," % (entry + 1)), line)
            self.assertEqual(lines[lines.index(listing[2 * entry]) + 1], listing[2 * entry + 1])
        self.assertEqual(listing[-1], "OK")
        self.assertGreater(len(lines), 11, "the reply's own blank lines, and unknown ones")

    def test_an_unplugged_modem_comes_back_as_a_new_port_restarted_with_its_storage(self):
        self.fresh()
        self.exchange(b'AT+CPMS="ME","ME","ME"\rAT+CNMI=2,2\r')
        unacknowledged = self.order("deliver class0 +4917 unacknowledged").split()[1]
        self.assertIn(b"+CMT: ", self.exchange(b""))
        kept = self.order("store ME text +4917 kept").split()[2]
        old = os.readlink(self.link)
        self.assertEqual(self.order("unplug 0.3 retry 0.1"), "ok")
        self.assertFalse(os.path.lexists(self.link))
        time.sleep(0.6)
        self.assertNotEqual(os.readlink(self.link), old)
        status = self.status()
        self.assertEqual((status["echo"], status["cnmi"], status["memories"], status["phase"]),
                         ("on", "0,0,0,0,0", "SM,SM,SM", "0"))
        # Sent again by the network, and stored silently as the module's power-on settings say.
        self.assertEqual(self.order("storage"), "ok 1:0:%s ME:1:0:%s" % (unacknowledged, kept))
        os.close(self.line)
        self.line = os.open(self.link, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        self.assertEqual(self.exchange(b"AT\r"), b"AT\r\r\nOK\r\n")

    def test_restarts_by_schedule_and_routing_dropped_without_a_word(self):
        self.fresh("restart-every 0.1-0.15 off 0.02")
        self.assertGreaterEqual(self.exchange(b"", 0.5).count(b"\r\nRDY\r\n"), 2)
        self.order("restart-every off")
        self.exchange(b"", 0.05)
        self.assertEqual(self.exchange(b"", 0.3), b"")
        self.fresh("hold off", "routing 2,2")
        self.order("routing-drop")
        self.assertEqual(self.status()["cnmi"], "2,0,0,0,0")
        self.order("deliver text +4917 quietly")
        self.assertEqual(self.exchange(b""), b"")
        self.assertEqual(len(self.order("storage").split()), 2)

    def test_a_chaos_run_records_each_message_and_what_touched_it(self):
        record = os.path.join(self.folder, "chaos.jsonl")
        self.fresh()
        self.assertTrue(self.order("chaos 5 messages 4 minutes 0.06 long 0.5 ucs2 0.5 restarts 0 "
                                   "unplugs 0 drops 1 slows 0 unknown 0 reports 0 record "
                                   + record).startswith("ok 4 messages"))
        line = b""
        for _ in range(50):  # acknowledges each +CMT, as a receiver does
            line += self.exchange(b"AT+CNMA\r" if line.endswith(b"\r\n") and b"+CMT:" in
                                  line.rsplit(b"OK", 1)[-1] else b"", 0.2)
            if "done=yes" in self.order("chaos status") and line.endswith(b"OK\r\n"):
                break
        status = dict(f.split("=") for f in self.order("chaos report").split()[1:])
        self.assertEqual((status["done"], status["arrived"], status["network"]), ("yes", "4", "0"))
        with open(record, encoding="utf-8") as lines:
            entries = [json.loads(text) for text in lines]
        messages = {e["message"]: e for e in entries if "message" in e}
        self.assertEqual(sorted(messages), ["c0001", "c0002", "c0003", "c0004"])
        self.assertEqual(len({e["text"] for e in messages.values()}), 4)
        self.assertTrue(all(e["text"].startswith(label) for label, e in messages.items()))
        # After the drop, messages are stored silently: left, and touched by it.
        stored = set(status["left-ids"].split(",")) - {"-"}
        self.assertEqual(line.count(b"+CMT:") + len(self.order("storage").split()) - 1,
                         sum(e["parts"] for e in messages.values()))
        self.assertTrue(all("drop" in messages[label]["touched"] for label in stored))
        self.assertEqual([e["fault"] for e in entries if "fault" in e], ["drop"])


if __name__ == "__main__":
    unittest.main()
