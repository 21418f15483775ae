"""Public reports from other machines (Regshot 1.8.2 and 1.9.0, ANSI and UTF-16, wrapped lines): none of the
files and folders they list exist in the prefix, so every run ends with an empty clean-up batch file."""

import unittest

from report_runs import NO_FILES_BATCH, convert, place_report
from wine_prefix import DATA, session

PUBLIC = sorted((DATA / "regshot" / "reports").glob("0*-public-*.txt"))


class PublicReportsTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.prefix = session()

    def test_each_run_completes_with_no_files_to_delete(self):
        self.assertEqual(len(PUBLIC), 7, "public reports found: %s" % [p.name for p in PUBLIC])
        for source in PUBLIC:
            with self.subTest(report=source.name):
                report = place_report(self.prefix, source, "C:\\public")
                outputs = convert(self, self.prefix, report)
                self.assertEqual(outputs["bat"], NO_FILES_BATCH)
                self.assertEqual(self.prefix.unix_path(report).read_bytes(), source.read_bytes(),
                                 "the report is left as it was")


if __name__ == "__main__":
    unittest.main()
