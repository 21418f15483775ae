#!/usr/bin/env python3
"""Runs the end-to-end suite under Wine: one private prefix for the whole run, closed at the end.

    tests/e2e/run_e2e.py [-k PATTERN] [-v]
    tests/e2e/run_e2e.py --make-prefix

--make-prefix only makes the prefix afresh (wineboot, settings, saved registry) and stops its server, so that
several suites of one test run can share it (scripts/test does so, then runs this suite with
RESIVEX_E2E_REUSE_PREFIX=1). The registry is put back to that state when the suite ends.

Environment: RESIVEX_CLI (the resivex-cli.exe to test, default build/windows/cli/resivex-cli.exe),
RESIVEX_E2E_PREFIX (the prefix, default build/e2e/wineprefix), RESIVEX_DATA_DIR (default tests/data),
RESIVEX_E2E_REUSE_PREFIX=1 (take the prefix that --make-prefix or an earlier run made instead of making one),
RESIVEX_E2E_WRITE_EXPECTED=1 (write the expected batch files instead of comparing; see README.md).
Exit status 0 when every test passed.
"""

import argparse
import sys
import time
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.dont_write_bytecode = True  # leaves the source tree as it was
sys.path.insert(0, str(HERE))

import wine_prefix  # noqa: E402  (after the path is set)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("-k", dest="patterns", action="append", help="only tests whose name contains PATTERN")
    parser.add_argument("-v", dest="verbosity", action="store_const", const=2, default=1)
    parser.add_argument("--make-prefix", action="store_true", help="only make the prefix, then stop")
    args = parser.parse_args()

    started = time.monotonic()
    if args.make_prefix:
        print("e2e: making the Wine prefix %s" % wine_prefix.PREFIX_DIR, flush=True)
        wine_prefix.make_prefix()
        print("e2e: prefix ready after %.0f s" % (time.monotonic() - started), flush=True)
        return 0

    loader = unittest.TestLoader()
    if args.patterns:
        loader.testNamePatterns = ["*%s*" % p for p in args.patterns]
    suite = loader.discover(str(HERE), pattern="test_*.py", top_level_dir=str(HERE))

    try:
        print("e2e: Wine prefix %s" % wine_prefix.PREFIX_DIR, flush=True)
        wine_prefix.session()
        print("e2e: prefix ready after %.0f s" % (time.monotonic() - started), flush=True)
        result = unittest.TextTestRunner(verbosity=args.verbosity, stream=sys.stdout).run(suite)
    finally:
        wine_prefix.close_session()

    failed = len(result.failures) + len(result.errors) + len(result.unexpectedSuccesses)
    skipped = len(result.skipped)
    passed = result.testsRun - failed - skipped
    print("e2e: finished in %.0f s" % (time.monotonic() - started))
    print("e2e: %d passed, %d failed, %d skipped" % (passed, failed, skipped))
    return 0 if result.wasSuccessful() and result.testsRun > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
