"""Reading the benchmark outputs that scripts/bench-report.sh collects.

Google Benchmark runs are read from their JSON files (the median aggregate of
each benchmark); the Java benchmarks print text tables, read here leniently:
a line counts as a row when it names an update size and a direction and holds
figures in MB/s, and the header line, when there is one, names the columns.
Every rate is returned in MB/s (10^6 bytes per second).
"""

import json
import os
import re

_NUMBER = r"[-+]?\d+(?:\.\d+)?(?:[eE][-+]?\d+)?"
_SIZE = re.compile(r"\b(\d+)\s*(B|KiB|MiB|GiB)\b")
_DIRECTION = re.compile(r"\b(encrypt|decrypt)\b", re.IGNORECASE)
_RATE = re.compile(r"(" + _NUMBER + r")\s*MB/s")
_SIZE_FACTORS = {"B": 1, "KiB": 1 << 10, "MiB": 1 << 20, "GiB": 1 << 30}


def _base_name(run_name):
    """The benchmark's own name, without the /key:value options Google Benchmark appends."""
    return "/".join(part for part in run_name.split("/") if ":" not in part)


def load_gbench(path):
    """{name: {"mbps": median MB/s, "cv": spread in %, counters...}} and the run's context."""
    with open(path, encoding="utf-8") as f:
        data = json.load(f)
    medians = {}
    spreads = {}
    for b in data.get("benchmarks", []):
        if b.get("error_occurred"):
            continue
        name = _base_name(b.get("run_name", b["name"]))
        aggregate = b.get("aggregate_name")
        if aggregate == "median" or (aggregate is None and name not in medians):
            row = {k: v for k, v in b.items() if isinstance(v, (int, float))}
            if "bytes_per_second" in b:
                row["mbps"] = b["bytes_per_second"] / 1e6
            medians[name] = row
        elif aggregate == "cv" and "bytes_per_second" in b:
            spreads[name] = b["bytes_per_second"] * 100.0
    for name, cv in spreads.items():
        if name in medians:
            medians[name]["cv"] = cv
    # Random interleaving shuffles the file; registration order is the benchmark's own.
    order = sorted(medians, key=lambda n: (medians[n].get("family_index", 0),
                                           medians[n].get("per_family_instance_index", 0)))
    return {n: medians[n] for n in order}, data.get("context", {})


def size_in_bytes(label):
    m = _SIZE.search(label)
    return int(m.group(1)) * _SIZE_FACTORS[m.group(2)] if m else 0


def _column_names(header, default):
    """The names of the rate columns, in order, from a header split on '|'."""
    names = []
    for cell in header.split("|"):
        words = [w for w in cell.split() if not re.match(r"^(ns/\w+|MB/s)$", w)]
        if words and not re.match(r"^(update|dir|size|ratio)\b", words[0], re.IGNORECASE):
            names.append(" ".join(words))
    return names if len(names) >= 2 else list(default)


def parse_java_table(text, default_columns=("VXCipher", "javax.crypto")):
    """Rows of a Java benchmark's text table.

    Returns (rows, notes): each row is {"size": label, "bytes": n, "direction": word,
    "rates": {column: MB/s}, "ns": {column: ns per update or None}}; notes are the lines
    that are neither rows nor the header (the benchmark's own description of its run).
    """
    rows, notes = [], []
    columns = list(default_columns)
    for line in text.splitlines():
        if not line.strip():
            continue
        size, direction = _SIZE.search(line), _DIRECTION.search(line)
        rates = _RATE.findall(line)
        if size and direction and rates:
            cells = [c for c in line.split("|") if "MB/s" in c] if "|" in line else []
            if not cells:
                cells = [m.group(0) + line[m.end():].split("MB/s")[0]
                         for m in _RATE.finditer(line)]
            row = {"size": "%s %s" % size.groups(), "bytes": size_in_bytes(size.group(0)),
                   "direction": direction.group(1).lower(), "rates": {}, "ns": {}}
            for i, cell in enumerate(cells):
                name = columns[i] if i < len(columns) else "column %d" % (i + 1)
                rate = _RATE.search(cell)
                after = re.findall(_NUMBER, cell[rate.end():])
                row["rates"][name] = float(rate.group(1))
                row["ns"][name] = float(after[0]) if after else None
            rows.append(row)
        elif "|" in line and not rates and re.search(r"[A-Za-z]", line):
            columns = _column_names(line, default_columns)
        else:
            notes.append(line.strip())
    return rows, notes


def parse_java_digest(text):
    """(MB/s, label, notes) of Sha1Bench's output; MB/s is None when no row is found."""
    notes = []
    for line in text.splitlines():
        rate = _RATE.search(line)
        if rate and re.match(r"\s*sha-?1\b", line, re.IGNORECASE):
            label = "MessageDigest"
            m = re.search(r"MessageDigest\s+(\S+)", line)
            if m:
                label += " (%s)" % m.group(1)
            return float(rate.group(1)), label, notes
        if line.strip():
            notes.append(line.strip())
    return None, "MessageDigest", notes


def read_text(path):
    if not os.path.exists(path):
        return None
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()
