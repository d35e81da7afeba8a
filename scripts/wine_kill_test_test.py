#!/usr/bin/env python3
"""The kill test's own logic without Wine: which trace lines are moments,
how 30 are picked, what counts as a whole configuration and as the same
end state."""
import json
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_kill_test as kill  # noqa: E402

TRACE = r'''1.000:0020:trace:reg:NtSetValueKey (0x30,L"Other",1,0x1,2)
1.001:0134:trace:reg:NtOpenKeyEx (0x1c,L"SOFTWARE\\Talvenor",20019,0x1b1f6c0)
1.002:0020:trace:reg:NtSetValueKey (0x30,L"Other",1,0x1,2)
1.003:0134:trace:reg:NtCreateKey (0x1c,L"software\\Talvenor\\IPC",L"",0,2001f,0x1b1f348)
1.004:0134:trace:reg:NtSetValueKey (0xa0,L"LastComputerName",1,0x37e740,22)
1.005:0134:trace:file:CreateFileW L"C:\\vorntest\\calls.jsonl" FILE_SHARE_READ creation 4 attributes 0x80
1.006:0134:trace:file:CreateFileW returning 00000000000000A4
1.007:0134:trace:file:WriteFile 00000000000000A4 0000000001B1B760 89 0000000001B1B70C 0
1.008:0134:trace:file:CreateFileW L"C:\\Quorvex\\DefaultConfig.xml.new" GENERIC_WRITE  creation 1 attributes 0x80
1.009:0134:trace:file:CreateFileW returning 00000000000000A8
1.010:0134:trace:file:WriteFile 00000000000000A8 00000000010A6570 1307 0000000001B1F37C 0
1.011:0134:trace:file:RtlGetFullPathName_U (L"C:\\Quorvex\\DefaultConfig.xml" 520 0 0)
1.012:0134:trace:file:MoveFileWithProgressW (L"C:\\Quorvex\\DefaultConfig.xml.new",L"C:\\Quorvex\\DefaultConfig.xml",0,0,0009)
'''


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


class CallsTest(unittest.TestCase):
    def feed(self, text):
        calls = kill.Calls()
        fed = [calls.feed(line) for line in text.splitlines()]
        return calls, fed

    def test_only_the_job_thread_from_its_first_talvenor_line(self):
        calls, fed = self.feed(TRACE)
        self.assertEqual(calls.thread, "0134")
        self.assertFalse(fed[0] or fed[2], "another thread's calls are no moments")
        self.assertEqual([k for k, _ in calls.calls], [
            r"NtCreateKey software\\Talvenor\\IPC",
            "NtSetValueKey LastComputerName",
            r"CreateFileW C:\\Quorvex\\DefaultConfig.xml.new",
            r"WriteFile C:\\Quorvex\\DefaultConfig.xml.new",
            r"MoveFileWithProgressW C:\\Quorvex\\DefaultConfig.xml.new",
        ])

    def test_the_configuration_folder_is_marked_and_the_stand_ins_log_left_out(self):
        calls, _ = self.feed(TRACE)
        self.assertEqual([q for _, q in calls.calls], [False, False, True, True, True])

    def test_keys_do_not_depend_on_handles_or_addresses(self):
        moved = TRACE.replace("00000000000000A8", "00000000000000B0").replace("0x37e740", "0x1")
        self.assertEqual(self.feed(TRACE)[0].calls, self.feed(moved)[0].calls)

    def test_nothing_before_the_thread_is_known(self):
        calls, fed = self.feed(TRACE.splitlines()[0] + "\nnot a trace line\n")
        self.assertEqual((calls.thread, calls.calls, any(fed)), (None, [], False))


class PickTest(unittest.TestCase):
    def test_every_configuration_call_and_the_rest_spread(self):
        calls = [("c", i in (40, 41, 42)) for i in range(60)]
        moments = kill.pick(calls, 10)
        self.assertEqual(len(moments), 10)
        self.assertTrue({41, 42, 43} <= set(moments))
        self.assertEqual(moments, sorted(set(moments)))
        others = [m for m in moments if m not in (41, 42, 43)]
        self.assertLess(others[0], 10)
        self.assertGreater(others[-1], 50)

    def test_configuration_calls_take_at_most_two_thirds(self):
        calls = [("c", i >= 10) for i in range(100)]
        moments = kill.pick(calls, 30)
        self.assertEqual(len(moments), 30)
        self.assertEqual(sum(1 for m in moments if m > 10), 20)

    def test_fewer_calls_than_moments(self):
        self.assertEqual(kill.pick([("c", False)] * 4, 30), [1, 2, 3, 4])


OLD = b'<?xml version="1.0"?>\n<QvBootProject><InitCmds>old</InitCmds></QvBootProject>\n'
NEW = b'<?xml version="1.0"?>\n<QvBootProject><InitCmds>new</InitCmds></QvBootProject>\n'


class StateTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name

    def tearDown(self):
        self.tmp.cleanup()

    def device(self, name, files, registry=b"REGEDIT4\n", host=None):
        root = os.path.join(self.dir, name)
        for path, data in files.items():
            os.makedirs(os.path.dirname(os.path.join(root, "c", path)), exist_ok=True)
            write(os.path.join(root, "c", path), data)
        write(os.path.join(root, "registry.reg"), registry)
        write(os.path.join(root, "device.json"), json.dumps({"pendingHostName": host} if host else {}).encode())
        return root

    def config(self, data):
        path = os.path.join(self.dir, "DefaultConfig.xml")
        write(path, data)
        return kill.config_state(path, OLD, NEW)

    def test_whole_files_pass_and_partial_or_other_fail(self):
        self.assertIsNone(self.config(OLD))
        self.assertIsNone(self.config(NEW))
        self.assertIn("does not parse", self.config(NEW[:40]))
        self.assertIn("does not parse", self.config(b""))
        self.assertIn("neither", self.config(NEW.replace(b"new", b"odd")))
        self.assertIn("missing", kill.config_state(os.path.join(self.dir, "none"), OLD, NEW))

    def test_the_same_end_state(self):
        reference = self.device("ref", {kill.CONFIG: NEW}, host="KQ5")
        same = self.device("same", {kill.CONFIG: NEW}, host="KQ5")
        self.assertEqual(kill.final_state(same, reference, OLD, NEW), [])

    def test_leftover_registry_and_host_name_differences(self):
        reference = self.device("ref", {kill.CONFIG: NEW}, host="KQ5")
        other = self.device("other", {kill.CONFIG: NEW, kill.CONFIG + ".new": NEW},
                            registry=b"REGEDIT4\n[x]\n")
        faults = kill.final_state(other, reference, OLD, NEW)
        self.assertEqual(len(faults), 3, faults)
        self.assertIn("leftover", faults[0])
        self.assertIn("registry.reg", faults[1])
        self.assertIn("pendingHostName", faults[2])

    def test_old_configuration_after_the_next_boot_differs(self):
        reference = self.device("ref", {kill.CONFIG: NEW})
        stale = self.device("stale", {kill.CONFIG: OLD})
        self.assertEqual(kill.final_state(stale, reference, OLD, NEW),
                         ["c/ differs: %s (content)" % os.path.join("c", kill.CONFIG)])


if __name__ == "__main__":
    unittest.main()
