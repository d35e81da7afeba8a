#!/usr/bin/env python3
"""Tests of scripts/bench_check.py on documents shaped as bench/run.sh
--quick writes them: a complete one, the one a broken Wine hook gave
(every figure of section 1 empty), and ones with a part missing."""
import pathlib
import sys
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import bench_check  # noqa: E402

COMPLETE = """# Performance

## 1. Boot cost under Wine beside a bare service

### Start and stop through the service control manager (ms from the StartService call)

| service | to RUNNING: median | range | p25–p75 | n | to STOPPED: median | range | p25–p75 | n |
|---|---|---|---|---|---|---|---|---|
| VORN, steady boot | 130 | 120–140 | 120–140 | 2 | 176 | 170–180 | 170–180 | 2 |
| bare service | 69 | 68–70 | 68–70 | 2 | 70 | 69–71 | 69–71 | 2 |
| VORN, first boot (fresh prefix each) | 300 | 300–300 | 300–300 | 1 | 3000 | 3000–3000 | 3000–3000 | 1 |

### Peak memory (peak working set of the service process, KiB)

| process | median | range | p25–p75 | n |
|---|---|---|---|---|
| VORN, steady boot | 23398 | 23044–23756 | 23224–23488 | 2 |
| bare service + COM (starts where it could be read) | – | – | – | 0 |

### First boot: where the time goes

| interval (ends with) | what runs in it | median ms | share |
|---|---|---|---|
| "VORN completed successfully" | summary event | 1 | 0 % |
| total (sum of the medians) | | 3116 | |

(1 first boots with a complete trace.)

### What a steady boot writes

```
# one steady boot of VORN
## registry (HKLM)
```

## 2. Writes on a steady boot (simulated device)

| write | count | expected |
|---|---|---|
| registryWrite setValue | 0 | 0 |

## 5. Footprint of VORN.EXE

`build/win32/VORN.EXE`: **250000 bytes**.

| DLL | functions |
|---|---|
| KERNEL32.dll | 80 |
"""


class BenchCheck(unittest.TestCase):
    def test_complete_document_passes(self):
        self.assertEqual(bench_check.problems(COMPLETE), [])

    def test_empty_figures_of_a_broken_hook_fail(self):
        # The hook exited at once: scm_timer wrote nothing, every stat is "–".
        broken = COMPLETE.replace(
            "| VORN, steady boot | 130 | 120–140 | 120–140 | 2 | 176 | 170–180 | 170–180 | 2 |",
            "| VORN, steady boot | – | – | – | 0 | – | – | – | 0 |").replace(
            "(1 first boots", "(0 first boots")
        found = bench_check.problems(broken)
        self.assertEqual(len(found), 2, found)
        self.assertIn("VORN, steady boot", found[0])
        self.assertIn("no first boot with a complete trace", found[1])

    def test_a_peak_that_could_not_be_read_may_be_empty_and_nothing_else(self):
        self.assertEqual(bench_check.problems(COMPLETE), [])
        vorn_peak = COMPLETE.replace("| VORN, steady boot | 23398 | 23044–23756 | 23224–23488 | 2 |",
                                     "| VORN, steady boot | – | – | – | 0 |")
        self.assertEqual(len(bench_check.problems(vorn_peak)), 1)
        empty_count = COMPLETE.replace("| registryWrite setValue | 0 | 0 |",
                                       "| registryWrite setValue |  | 0 |")
        self.assertEqual(len(bench_check.problems(empty_count)), 1)

    def test_missing_parts_are_named(self):
        for heading in bench_check.REQUIRED_HEADINGS:
            with self.subTest(heading=heading):
                found = bench_check.problems(COMPLETE.replace(heading, "## elsewhere"))
                self.assertIn(f"section missing: {heading}", found)
        self.assertIn("a section says it was not measured",
                      bench_check.problems(COMPLETE + "\nNot measured: no Wine here.\n"))
        self.assertIn("the writes of a steady boot under Wine are missing",
                      bench_check.problems(COMPLETE.replace("# one steady boot of VORN", "")))
        self.assertIn("the size of VORN.EXE is missing",
                      bench_check.problems(COMPLETE.replace("**250000 bytes**", "** bytes**")))

    def test_a_ratio_of_empty_medians_fails(self):
        found = bench_check.problems(COMPLETE + "\nRatio: to RUNNING **-nan** (goal at most 1.05)\n")
        self.assertEqual(found, ["a ratio was computed from an empty figure (nan)"])

    def test_the_total_row_needs_its_sum(self):
        no_sum = COMPLETE.replace("| total (sum of the medians) | | 3116 | |",
                                  "| total (sum of the medians) | | | |")
        self.assertEqual(len(bench_check.problems(no_sum)), 1)


if __name__ == "__main__":
    unittest.main()
