"""Tests of the benchmark output readers: python3 scripts/test_bench_results.py"""

import json
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench_results as br  # noqa: E402

CIPHER_BENCH = """\
warm-up: 2 whole run(s) in 21.3 s
stream of 16 MiB per run, median of 11 runs after 3 warm-up runs; Java 17.0.15
update   dir      |     VXCipher    ns/update |    javax AES    ns/update |  ratio
64 B     encrypt  |    39.3 MB/s         1630 |   182.4 MB/s          351 |   0.22
64 B     decrypt  |    35.1 MB/s         1826 |   197.7 MB/s          324 |   0.18
4 KiB    encrypt  |  2170.7 MB/s         1887 |   990.9 MB/s         4134 |   2.19
1 MiB    decrypt  |  4057.5 MB/s       172290 |   901.1 MB/s       775748 |   4.50
"""

# A column more, the ratio column gone, the sizes written without a space.
CIPHER_BENCH_WIDER = """\
size  dir     | VXCipher ns/update | VXCipher direct ns/update | javax AES ns/update
64B   Encrypt |  40.0 MB/s  1600   |  80.0 MB/s  800           | 200.0 MB/s  320
"""

# No header and no column bars: the default column names apply.
CIPHER_BENCH_BARE = "64 B encrypt 39.3 MB/s 1630 182.4 MB/s 351\n"


class JavaTableTest(unittest.TestCase):
    def test_formats(self):
        cases = [
            # text, rows, columns, first row's (size, bytes, direction, rates, ns)
            (CIPHER_BENCH, 4, ["VXCipher", "javax AES"],
             ("64 B", 64, "encrypt", [39.3, 182.4], [1630, 351])),
            (CIPHER_BENCH_WIDER, 1, ["VXCipher", "VXCipher direct", "javax AES"],
             ("64 B", 64, "encrypt", [40.0, 80.0, 200.0], [1600, 800, 320])),
            (CIPHER_BENCH_BARE, 1, ["VXCipher", "javax.crypto"],
             ("64 B", 64, "encrypt", [39.3, 182.4], [1630, 351])),
        ]
        for text, count, columns, first in cases:
            with self.subTest(text=text.splitlines()[0]):
                rows, _ = br.parse_java_table(text)
                self.assertEqual(len(rows), count)
                self.assertEqual(list(rows[0]["rates"]), columns)
                size, n, direction, rates, ns = first
                self.assertEqual((rows[0]["size"], rows[0]["bytes"], rows[0]["direction"]),
                                 (size, n, direction))
                self.assertEqual(list(rows[0]["rates"].values()), rates)
                self.assertEqual(list(rows[0]["ns"].values()), ns)

    def test_last_row_and_notes(self):
        rows, notes = br.parse_java_table(CIPHER_BENCH)
        self.assertEqual((rows[-1]["size"], rows[-1]["bytes"], rows[-1]["direction"]),
                         ("1 MiB", 1 << 20, "decrypt"))
        self.assertEqual(rows[-1]["rates"], {"VXCipher": 4057.5, "javax AES": 901.1})
        self.assertEqual(len(notes), 2)
        self.assertTrue(notes[1].startswith("stream of 16 MiB"))

    def test_unreadable_text_gives_no_rows(self):
        for text in ["", "Exception in thread main\n", "64 B encrypt | 3.1 GB/s | 2.0 GB/s\n"]:
            with self.subTest(text=text):
                self.assertEqual(br.parse_java_table(text)[0], [])


class JavaDigestTest(unittest.TestCase):
    def test_lines(self):
        cases = [
            ("note\nsha1     1 MiB    | MessageDigest SUN |    848.2 MB/s  1236245 ns/digest\n",
             848.2, "MessageDigest (SUN)"),
            ("SHA-1 1 MiB 1500 MB/s\n", 1500.0, "MessageDigest"),
            ("sha1 failed\n", None, "MessageDigest"),
        ]
        for text, rate, label in cases:
            with self.subTest(text=text):
                got_rate, got_label, _ = br.parse_java_digest(text)
                self.assertEqual((got_rate, got_label), (rate, label))


class GbenchTest(unittest.TestCase):
    def test_medians_in_registration_order(self):
        def entry(name, family, aggregate, rate, **extra):
            e = {"name": name + "_" + aggregate, "run_name": name, "family_index": family,
                 "per_family_instance_index": 0, "run_type": "aggregate",
                 "aggregate_name": aggregate, "bytes_per_second": rate}
            e.update(extra)
            return e

        data = {"context": {"load_avg": [1.0, 2.0, 3.0]}, "benchmarks": [
            entry("doc/pugixml/min_time:0.200/repeats:5", 1, "median", 4e8, **{"B/elem": 80.0}),
            entry("doc/pugixml/min_time:0.200/repeats:5", 1, "cv", 0.05),
            entry("doc/secnative/min_time:0.200/repeats:5", 0, "mean", 9e7),
            entry("doc/secnative/min_time:0.200/repeats:5", 0, "median", 1e8),
            entry("doc/broken", 2, "median", 1e9, error_occurred=True),
        ]}
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "run.json")
            with open(path, "w", encoding="utf-8") as f:
                json.dump(data, f)
            medians, context = br.load_gbench(path)
        self.assertEqual(list(medians), ["doc/secnative", "doc/pugixml"])
        self.assertAlmostEqual(medians["doc/secnative"]["mbps"], 100.0)
        self.assertAlmostEqual(medians["doc/pugixml"]["mbps"], 400.0)
        self.assertAlmostEqual(medians["doc/pugixml"]["cv"], 5.0)
        self.assertEqual(medians["doc/pugixml"]["B/elem"], 80.0)
        self.assertEqual(context["load_avg"], [1.0, 2.0, 3.0])


if __name__ == "__main__":
    unittest.main()
