"""Writes the benchmark report: README.md with the machine, tables of MB/s with
the ratios ours / peer, and PNG charts drawn by gnuplot (scripts/bench-chart.gp).

    python3 scripts/bench_report.py --results build/bench-report --out docs/benchmarks \
        --bench-build build/bench [--jvm-options "..."]

It reads what scripts/bench-report.sh left in the results directory; an area
whose results are missing is left out.
"""

import argparse
import math
import os
import re
import subprocess
import sys
import tempfile

import bench_results as br
import bench_machine

OURS = "secnative"
DISPLAY = {"openssl": "OpenSSL"}  # peers as the benchmarks name them, as the report shows them
SCRIPTS = os.path.dirname(os.path.abspath(__file__))

# Names of the crypto_bench rows: BM_<operation>_<who>, who being Secnative<variant> or a peer.
OPERATIONS = {"Aes128Encrypt": "encrypt", "Aes128Decrypt": "decrypt", "Sha1": "SHA-1"}
VARIANTS = {
    "": "secnative",
    "AesNi": "secnative, 128-bit AES-NI engine",
    "Portable": "secnative, portable code (forced)",
    "Stream": "secnative, stream update step",
}


def mbps(value):
    if value is None:
        return "–"
    return "%.0f" % value if value >= 100 else "%.1f" % value


def ratio(ours, theirs):
    if ours is None or theirs is None or theirs <= 0:
        return "–"
    return "**%.2f×**" % (ours / theirs)


def geomean(values):
    values = [v for v in values if v and v > 0]
    return math.exp(sum(math.log(v) for v in values) / len(values)) if values else None


def table(header, rows):
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    lines += ["| " + " | ".join(str(c) for c in row) + " |" for row in rows]
    return "\n".join(lines)


def read_run(results, part):
    """The key=value record that bench-report.sh wrote next to a part's results."""
    info = {}
    text = br.read_text(os.path.join(results, part + ".run"))
    if text is None:
        return info
    for line in text.splitlines():
        key, _, value = line.partition("=")
        info[key] = value
    command = re.sub(r"\s--benchmark_out(_format)?=\S+", "", info.get("command", ""))
    info["command"] = command
    return info


def run_note(info):
    if not info:
        return ""
    note = "Measured %s (%s run, %s s): `%s`." % (
        info.get("date", "?"), info.get("mode", "?"), info.get("seconds", "?"),
        info.get("command", ""))
    if info.get("mode") == "quick":
        note += " *Quick run: a smoke test, not figures to quote.*"
    return note


class Charts:
    """Clustered bar charts: one data file and one gnuplot call per chart."""

    def __init__(self, out, tmp):
        self.out = out
        self.tmp = tmp

    def bar(self, name, title, clusters, series, values, log=False, ylabel="MB/s"):
        """values[cluster][series] in MB/s (None where missing); returns the PNG's file name."""
        data = os.path.join(self.tmp, name + ".dat")
        with open(data, "w", encoding="utf-8") as f:
            f.write(" ".join('"%s"' % s for s in ["case"] + series) + "\n")
            for c in clusters:
                cells = ["-" if values[c].get(s) is None else "%.3f" % values[c][s]
                         for s in series]
                f.write('"%s" %s\n' % (c, " ".join(cells)))
        png = name + ".png"
        width = max(640, min(1600, 160 + len(clusters) * (28 * len(series) + 30)))
        settings = "datafile='%s'; outfile='%s'; chart_title='%s'; ylabel_text='%s'; " \
                   "series=%d; logscale=%d; width=%d" % (
                       data, os.path.join(self.out, png), title.replace("'", "''"), ylabel,
                       len(series), 1 if log else 0, width)
        subprocess.run(["gnuplot", "-e", settings, os.path.join(SCRIPTS, "bench-chart.gp")],
                       check=True)
        return png


def crypto_section(results, charts, java_sha1):
    data = br.load_gbench(os.path.join(results, "crypto.json"))[0] \
        if os.path.exists(os.path.join(results, "crypto.json")) else None
    if not data:
        return []
    ops = {}  # operation -> {"ours": {variant: MB/s}, "peers": {peer: MB/s}}
    for name, row in data.items():
        m = re.match(r"^BM_([A-Za-z0-9]+)_(\w+)$", name)
        if not m or "mbps" not in row:
            continue
        entry = ops.setdefault(m.group(1), {"ours": {}, "peers": {}})
        who = m.group(2)
        if who.startswith("Secnative"):
            entry["ours"][who[len("Secnative"):]] = row["mbps"]
        else:
            entry["peers"][who] = row["mbps"]
    variant_order = lambda v: (list(VARIANTS).index(v) if v in VARIANTS else 99, v)
    info = read_run(results, "crypto")
    lines = []

    aes = [op for op in ops if op.startswith("Aes")]
    if aes:
        lines += ["## AES-128 ECB bulk, 1 MiB, against OpenSSL", "",
                  "The cipher's bulk block step over 1 MiB with an AES-128 schedule against EVP "
                  "aes-128-ecb without padding, the same whole-block work. Ratio: ours / "
                  "OpenSSL, above 1 means secnative is faster.", ""]
        peers = sorted({p for op in aes for p in ops[op]["peers"]})
        rows, chart = [], {}
        for op in sorted(aes, key=lambda o: list(OPERATIONS).index(o) if o in OPERATIONS else 9):
            label = OPERATIONS.get(op, op)
            chart[label] = {}
            for v in sorted(ops[op]["ours"], key=variant_order):
                ours = ops[op]["ours"][v]
                rows.append([label, VARIANTS.get(v, "secnative " + v), mbps(ours)] +
                            sum([[mbps(ops[op]["peers"].get(p)),
                                  ratio(ours, ops[op]["peers"].get(p))] for p in peers], []))
                chart[label][VARIANTS.get(v, "secnative " + v)] = ours
            for p in peers:
                chart[label][p] = ops[op]["peers"].get(p)
        header = ["direction", "implementation", "MB/s"] + sum(
            [["%s MB/s" % p, "ours / %s" % p] for p in peers], [])
        lines += [table(header, rows), ""]
        series = [VARIANTS.get(v, "secnative " + v)
                  for v in sorted({v for op in aes for v in ops[op]["ours"]}, key=variant_order)]
        png = charts.bar("cipher_bulk", "AES-128 ECB, 1 MiB, MB/s (higher is better)",
                         list(chart), series + peers, chart)
        lines += ["![AES-128 bulk against OpenSSL](%s)" % png, "", run_note(info), ""]

    sha = ops.get("Sha1")
    if sha or java_sha1[0]:
        lines += ["## SHA-1, 1 MiB, against OpenSSL and the JVM's MessageDigest", ""]
        sha = sha or {"ours": {}, "peers": {}}
        peers = sorted(sha["peers"])
        peer_rates = dict(sha["peers"])
        if java_sha1[0]:
            peer_rates[java_sha1[1]] = java_sha1[0]
            peers.append(java_sha1[1])
        rows = []
        for v in sorted(sha["ours"], key=variant_order):
            ours = sha["ours"][v]
            rows.append([VARIANTS.get(v, "secnative " + v), mbps(ours)] + sum(
                [[mbps(peer_rates.get(p)), ratio(ours, peer_rates.get(p))] for p in peers], []))
        header = ["implementation", "MB/s"] + sum(
            [["%s MB/s" % p, "ours / %s" % p] for p in peers], [])
        lines += ["MessageDigest runs in its own virtual machine (`Sha1Bench`), measured apart "
                  "from the native rows; OpenSSL runs interleaved with ours.", ""]
        if rows:
            lines += [table(header, rows), ""]
        else:
            lines += ["MessageDigest SHA-1: %s MB/s (no native results)." % mbps(java_sha1[0]),
                      ""]
        values = {"SHA-1, 1 MiB": dict(peer_rates)}
        values["SHA-1, 1 MiB"].update(
            {VARIANTS.get(v, "secnative " + v): r for v, r in sha["ours"].items()})
        series = [VARIANTS.get(v, "secnative " + v)
                  for v in sorted(sha["ours"], key=variant_order)] + peers
        png = charts.bar("sha1", "SHA-1 of 1 MiB, MB/s (higher is better)", ["SHA-1, 1 MiB"],
                         series, values)
        lines += ["![SHA-1](%s)" % png, "", run_note(info)]
        java_info = read_run(results, "java_sha1")
        if java_sha1[0] and java_info:
            lines += ["", run_note(java_info)]
        lines.append("")
    return lines


def java_cipher_section(results, charts):
    text = br.read_text(os.path.join(results, "java_cipher.txt"))
    if text is None:
        return []
    rows, notes = br.parse_java_table(text)
    lines = ["## VXCipher against javax.crypto, from Java", "",
             "Whole streams fed in updates of one size and closed with `doFinal`, both "
             "directions, against javax.crypto's AES/ECB/PKCS5Padding, in one virtual machine "
             "with a fixed, pre-touched heap. Both sides return a new array from every update; "
             "the 64 B rows are dominated by the cost of a call. Ratio: ours / javax.crypto.", ""]
    if not rows:
        return lines + ["The Java benchmark printed no rows this report can read:", "",
                        "```", text.strip(), "```", ""]
    columns = list(rows[0]["rates"])
    ours, peers = columns[0], columns[1:]
    table_rows, chart = [], {}
    for r in rows:
        o = r["rates"][ours]
        cells = [r["size"], r["direction"], mbps(o)]
        for p in peers:
            cells += [mbps(r["rates"].get(p)), ratio(o, r["rates"].get(p))]
        ns = [r["ns"].get(c) for c in columns]
        cells.append(" / ".join("–" if n is None else "%.0f" % n for n in ns))
        table_rows.append(cells)
        chart["%s %s" % (r["size"], r["direction"][:3])] = dict(r["rates"])
    header = ["update", "direction", "%s MB/s" % ours] + sum(
        [["%s MB/s" % p, "ours / %s" % p] for p in peers], []) + [
            "ns per update (%s)" % " / ".join(columns)]
    lines += [table(header, table_rows), ""]
    png = charts.bar("java_cipher", "VXCipher vs javax.crypto AES, MB/s (log scale)",
                     list(chart), columns, chart, log=True)
    lines += ["![VXCipher against javax.crypto](%s)" % png, ""]
    if notes:
        lines += ["The benchmark's own notes: " + "; ".join("`%s`" % n for n in notes) + ".", ""]
    lines += [run_note(read_run(results, "java_cipher")), ""]
    return lines


def peer_table(names, split):
    """{case: {library: row}} from benchmark names split into (case, library) by split()."""
    cases, libraries = {}, []
    for name, row in names.items():
        parts = split(name)
        if not parts or "mbps" not in row:
            continue
        case, library = parts
        library = DISPLAY.get(library, library)
        cases.setdefault(case, {})[library] = row
        if library not in libraries:
            libraries.append(library)
    peers = [lib for lib in libraries if lib != OURS]
    return cases, peers


def peer_rows(cases, peers, label_cells, key="mbps", show=mbps):
    rows, ratios = [], {p: [] for p in peers}
    for case, libs in cases.items():
        o = libs.get(OURS, {}).get(key)
        cells = list(label_cells(case)) + [show(o)]
        for p in peers:
            t = libs.get(p, {}).get(key)
            cells.append("%s (%s)" % (show(t), ratio(o, t)) if o and t else show(t))
            if o and t:
                ratios[p].append(o / t)
        rows.append(cells)
    return rows, ratios


def xml_parse_section(results, charts):
    path = os.path.join(results, "parse.json")
    if not os.path.exists(path):
        return []
    data = br.load_gbench(path)[0]
    cases, peers = peer_table(data, lambda n: tuple(n.rsplit("/", 1)) if "/" in n else None)
    if not cases:
        return []
    lines = ["## XML parse, against pugixml, tinyxml2, libxml2 and expat", "",
             "Each iteration parses a document held in memory and releases what the parser "
             "built; expat only counts its events and builds nothing. MB/s of XML text, "
             "ours / peer in brackets.", ""]
    rows, ratios = peer_rows(cases, peers, lambda c: [c])
    rows.append(["geometric mean of the ratios", ""] +
                [ratio(geomean(ratios[p]), 1.0) for p in peers])
    lines += [table(["document", OURS] + peers, rows), ""]
    if any("B/elem" in lib for libs in cases.values() for lib in libs.values()):
        heap_rows, _ = peer_rows(cases, peers, lambda c: [c], key="B/elem",
                                 show=lambda v: "–" if v is None else "%.0f" % v)
        lines += ["Peak heap of one parse, bytes per element (lower is better; ours / peer "
                  "in brackets, below 1 means secnative uses less):", "",
                  table(["document", OURS] + peers, heap_rows), ""]
    values = {c: {lib: row.get("mbps") for lib, row in libs.items()} for c, libs in cases.items()}
    png = charts.bar("xml_parse", "XML parse and release, MB/s (higher is better)",
                     list(cases), [OURS] + peers, values)
    lines += ["![XML parse](%s)" % png, "", run_note(read_run(results, "parse")), ""]
    return lines


def xml_write_section(results, charts):
    path = os.path.join(results, "write.json")
    if not os.path.exists(path):
        return []
    data = br.load_gbench(path)[0]
    documents = {n: r for n, r in data.items() if not n.startswith("base64/")}
    base64 = {n: r for n, r in data.items() if n.startswith("base64/")}
    lines = []
    cases, peers = peer_table(documents,
                              lambda n: tuple(n.rsplit("/", 1)) if n.count("/") >= 2 else None)
    if cases:
        lines += ["## XML serialise, against pugixml, tinyxml2 and libxml2", "",
                  "Each library writes its own tree of the document back to text, unformatted "
                  "(raw) and indented. MB/s of the text each produces, ours / peer in "
                  "brackets.", ""]
        rows, ratios = peer_rows(cases, peers, lambda c: c.rsplit("/", 1))
        rows.append(["geometric mean of the ratios", "", ""] +
                    [ratio(geomean(ratios[p]), 1.0) for p in peers])
        lines += [table(["document", "layout", OURS] + peers, rows), ""]
        values = {c.replace("/", " "): {lib: row.get("mbps") for lib, row in libs.items()}
                  for c, libs in cases.items()}
        png = charts.bar("xml_write", "XML serialise, MB/s of text (higher is better)",
                         list(values), [OURS] + peers, values)
        lines += ["![XML serialise](%s)" % png, ""]
    b_cases, b_peers = peer_table(base64, lambda n: tuple(n.split("/")[1:3])
                                  if n.count("/") == 2 else None)
    if b_cases:
        lines += ["### Base64, 1 MiB of random bytes, against OpenSSL", "",
                  "MB/s of binary bytes; OpenSSL's EVP_EncodeBlock and EVP_DecodeBlock.", ""]
        rows = []
        for op, libs in b_cases.items():
            o = libs.get(OURS, {}).get("mbps")
            rows.append([op, mbps(o)] + sum([[mbps(libs.get(p, {}).get("mbps")),
                                              ratio(o, libs.get(p, {}).get("mbps"))]
                                             for p in b_peers], []))
        lines += [table(["operation", "secnative MB/s"] + sum(
            [["%s MB/s" % p, "ours / %s" % p] for p in b_peers], []), rows), ""]
    if lines:
        lines += [run_note(read_run(results, "write")), ""]
    return lines


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--results", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--bench-build", default="build/bench")
    ap.add_argument("--jvm-options", default="")
    args = ap.parse_args()
    os.makedirs(args.out, exist_ok=True)
    for old in os.listdir(args.out):
        if old.endswith(".png"):
            os.remove(os.path.join(args.out, old))

    java_sha1 = br.parse_java_digest(br.read_text(os.path.join(args.results, "java_sha1.txt"))
                                     or "")
    with tempfile.TemporaryDirectory(prefix="bench-report-") as tmp:
        charts = Charts(args.out, tmp)
        body = crypto_section(args.results, charts, java_sha1)
        body += java_cipher_section(args.results, charts)
        body += xml_parse_section(args.results, charts)
        body += xml_write_section(args.results, charts)
    if not body:
        sys.exit("no benchmark results in " + args.results)

    modes = {read_run(args.results, p).get("mode")
             for p in ("crypto", "parse", "write", "java_cipher", "java_sha1")} - {None}
    head = ["# Benchmarks", "",
            "secnative next to peer libraries doing the same work, measured on the machine "
            "below. MB/s means 10^6 bytes per second, taken over CPU time: Google Benchmark's "
            "for the native rows, the benchmark thread's for the Java ones (see their notes). "
            "On a shared, loaded machine absolute figures move from run to run: read the "
            "ratios ours / peer, measured side by side in the same run.", ""]
    if "quick" in modes:
        head += ["> **Some or all of these figures come from a quick run** (`--quick`): fewer "
                 "repetitions and documents, a smoke test of the report, not figures to quote.",
                 ""]
    head += bench_machine.section(args.results, args.bench_build, args.jvm_options)
    head += ["## Re-running", "", "```sh",
             "bash scripts/bench-report.sh                     # everything, about six minutes",
             "bash scripts/bench-report.sh --quick             # a smoke run",
             "bash scripts/bench-report.sh --only crypto,java  # some parts: crypto, parse, "
             "write, java, xml",
             "```", "",
             "The script installs what is missing, builds the `bench` preset and the release "
             "preset's Java benchmarks, runs each area with its peers (Google Benchmark with "
             "random interleaving, medians of several repetitions), keeps the raw outputs in "
             "`%s/` and writes this page and its charts. Parts left out with `--only` keep "
             "their last results, with their date." % os.path.normpath(args.results), ""]
    # Hand-written analysis that goes with the figures (profiles, breakdowns
    # of a call, what holds a missed goal back) lives beside the page.
    notes = br.read_text(os.path.join(args.out, "notes.md"))
    if notes:
        body += ["", notes.rstrip()]
    with open(os.path.join(args.out, "README.md"), "w", encoding="utf-8") as f:
        f.write("\n".join(head + body).rstrip() + "\n")


if __name__ == "__main__":
    main()
