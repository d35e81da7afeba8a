#!/usr/bin/env python3
"""Tests of scripts/ctest_import.py and scripts/ctest_tally.py against a real
ctest: scratch build trees that register the same test names, imported and
run, then counted from ctest's JUnit file."""
import pathlib
import subprocess
import sys
import tempfile
import unittest

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import ctest_import  # noqa: E402
import ctest_tally  # noqa: E402

# Two trees with the same names, as the native and sanitize presets have.
TREE = """
add_test(same sh -c "echo from {tree}; exit {same_exit}")
set_tests_properties(same PROPERTIES LABELS {tree} ENVIRONMENT "WHO={tree};X=1")
add_test(needs_env sh -c "[ \\"$WHO\\" = {tree} ] && [ \\"$PWD\\" = {workdir} ]")
set_tests_properties(needs_env PROPERTIES ENVIRONMENT "WHO={tree}" WORKING_DIRECTORY {workdir})
add_test(cannot_run sh -c "echo 'SKIP: no namespaces here'; exit 77")
set_tests_properties(cannot_run PROPERTIES SKIP_RETURN_CODE 77 LABELS wine)
add_test(brackets sh -c "x=']]'; [ \\"$x\\" = ']]' ] && [ a = a ]")
"""

UMBRELLA = """
add_test(build.a sh -c "exit {build_a_exit}")
set_tests_properties(build.a PROPERTIES FIXTURES_SETUP build.a)
add_test(build.b sh -c "exit 0")
set_tests_properties(build.b PROPERTIES FIXTURES_SETUP build.b)
include({imported})
"""


class Scratch:
    """Trees a and b under build/, an umbrella beside them, and a ctest run."""

    def __init__(self, root, same_exit_b=0, build_a_exit=0):
        self.root = pathlib.Path(root)
        for tree, same_exit in (("a", 0), ("b", same_exit_b)):
            d = self.root / "build" / tree
            d.mkdir(parents=True)
            (d / "CTestTestfile.cmake").write_text(
                TREE.format(tree=tree, same_exit=same_exit, workdir=self.root))
        self.umbrella = self.root / "all"
        self.umbrella.mkdir()
        self.imported = self.umbrella / "imported.cmake"
        (self.umbrella / "CTestTestfile.cmake").write_text(
            UMBRELLA.format(build_a_exit=build_a_exit, imported=self.imported))

    def import_trees(self, *trees):
        return ctest_import.main([str(self.imported), str(self.root / "build"), *trees])

    def run(self, *args):
        results = self.umbrella / "results.xml"
        subprocess.run(["ctest", "--test-dir", str(self.umbrella), "--output-junit", str(results),
                        *args], capture_output=True, text=True)
        return results

    def tally(self, results):
        out = subprocess.run([sys.executable, str(HERE / "ctest_tally.py"), str(results)],
                             capture_output=True, text=True)
        return out.returncode, out.stdout.strip().splitlines()


class ImportAndTally(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.tmp.cleanup()

    def test_trees_with_the_same_names_keep_their_own_labels_and_environment(self):
        s = Scratch(self.tmp.name)
        self.assertEqual(s.import_trees("a", "b"), 0)
        code, lines = s.tally(s.run("-L", "^a$"))
        # a's four tests and the build they need; b's "same" must not have
        # taken label a (5 passed).
        self.assertEqual(lines[-1], "4 passed, 0 failed, 1 skipped")
        self.assertIn("skipped: a.cannot_run: SKIP: no namespaces here", lines)
        self.assertEqual(code, 0)

    def test_a_failure_in_one_tree_is_named_and_counted(self):
        s = Scratch(self.tmp.name, same_exit_b=3)
        s.import_trees("a", "b")
        code, lines = s.tally(s.run())
        self.assertEqual(lines[-1], "7 passed, 1 failed, 2 skipped")
        self.assertEqual(code, 1)

    def test_a_failed_build_fails_its_tests_not_the_others(self):
        s = Scratch(self.tmp.name, build_a_exit=1)
        s.import_trees("a", "b")
        code, lines = s.tally(s.run())
        # build.a failed; a's four tests did not run and count as failed.
        self.assertEqual(lines[-1], "4 passed, 5 failed, 1 skipped")
        self.assertEqual(code, 1)

    def test_a_tree_never_configured_is_a_failure_not_an_absence(self):
        s = Scratch(self.tmp.name)
        s.import_trees("a", "missing")
        code, lines = s.tally(s.run("-R", "missing"))
        self.assertEqual(lines[-1], "0 passed, 1 failed, 0 skipped")
        self.assertEqual(code, 1)

    def test_no_results_is_a_failure(self):
        s = Scratch(self.tmp.name)
        code, lines = s.tally(s.umbrella / "no-such.xml")
        self.assertEqual(lines[-1], "0 passed, 1 failed, 0 skipped")
        self.assertEqual(code, 1)


class Quoting(unittest.TestCase):
    def test_bracket_arguments_survive_their_own_closing_text(self):
        for text in ("plain", "a]]b", "ends]", "x]=]y]", "$(cmd) ${VAR} \"q\" ;"):
            with tempfile.TemporaryDirectory() as tmp:
                script = pathlib.Path(tmp) / "echo.cmake"
                script.write_text(f"message({ctest_import.quoted(text)})\n")
                out = subprocess.run(["cmake", "-P", str(script)], capture_output=True, text=True)
                self.assertEqual(out.stderr.rstrip("\n"), text)


if __name__ == "__main__":
    unittest.main()
