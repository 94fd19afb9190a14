"""The machine section of the benchmark report: processor and its flags, the
load it was under, the date, the compiler, the JDK and the peer libraries."""

import datetime
import json
import os
import platform
import re
import subprocess

# Processor features that decide which code paths run, ours and the peers'.
FLAGS = ["aes", "vaes", "pclmulqdq", "vpclmulqdq", "avx2", "avx512f", "sha_ni"]
PEERS = [("OpenSSL", None), ("pugixml", "pugixml"), ("tinyxml2", "tinyxml2"),
         ("libxml2", "libxml-2.0"), ("expat", "expat"), ("Google Benchmark", "benchmark")]


def _run(command):
    try:
        done = subprocess.run(command, capture_output=True, text=True, timeout=30)
    except (OSError, subprocess.TimeoutExpired):
        return ""
    return (done.stdout + done.stderr).strip()


def _cpu():
    model, flags = None, set()
    try:
        with open("/proc/cpuinfo", encoding="utf-8") as f:
            for line in f:
                key, _, value = line.partition(":")
                key = key.strip()
                if key == "model name" and model is None:
                    model = value.strip()
                elif key == "flags" and not flags:
                    flags = set(value.split())
    except OSError:
        pass
    return model or platform.processor() or "unknown", flags


def _compiler(bench_build):
    cache = os.path.join(bench_build, "CMakeCache.txt")
    compiler, build_type = "c++", "?"
    if os.path.exists(cache):
        with open(cache, encoding="utf-8", errors="replace") as f:
            for line in f:
                m = re.match(r"^(CMAKE_CXX_COMPILER|CMAKE_BUILD_TYPE):\w+=(.*)$", line.strip())
                if m and m.group(1) == "CMAKE_CXX_COMPILER":
                    compiler = m.group(2)
                elif m:
                    build_type = m.group(2)
    version = _run([compiler, "--version"]).splitlines()
    return (version[0] if version else compiler), build_type


def _load(results):
    """The load average that Google Benchmark saw when each native run began."""
    seen = []
    for part in ("crypto", "parse", "write"):
        path = os.path.join(results, part + ".json")
        if os.path.exists(path):
            with open(path, encoding="utf-8") as f:
                load = json.load(f).get("context", {}).get("load_avg")
            if load:
                seen.append("%s %s" % (part, " / ".join("%.1f" % x for x in load)))
    return "; ".join(seen)


def _peer_versions():
    found = []
    for name, pkg in PEERS:
        if pkg is None:
            version = _run(["openssl", "version"]).split(" ")[1:2]
            version = version[0] if version else ""
        else:
            version = _run(["pkg-config", "--modversion", pkg])
        if version and "\n" not in version:
            found.append("%s %s" % (name, version))
    return ", ".join(found)


def _jvm_flags(results):
    path = os.path.join(results, "java_flags.txt")
    if not os.path.exists(path):
        return ""
    flags = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 4 and parts[2] == "=":
                flags.append("%s=%s" % (parts[1], parts[3]))
    return ", ".join(flags)


def section(results, bench_build, jvm_options):
    model, flags = _cpu()
    compiler, build_type = _compiler(bench_build)
    java = _run(["java", "-version"]).splitlines()
    present = [f for f in FLAGS if f in flags]
    absent = [f for f in FLAGS if f not in flags]
    rows = [
        ("processor", "%s, %d logical CPUs" % (model, os.cpu_count() or 0)),
        ("relevant flags", " ".join(present) + ("; absent: " + " ".join(absent)
                                                if absent else "")),
        ("system", "%s %s %s" % (platform.system(), platform.release(), platform.machine())),
        ("load average (1/5/15 min) at the start", _load(results) or "–"),
        ("report written", datetime.datetime.now(datetime.timezone.utc)
         .strftime("%Y-%m-%d %H:%M UTC")),
        ("C++ compiler", "%s, %s build" % (compiler, build_type)),
        ("JDK", (java[0] if java else "none") + (
            " (%s)" % java[1] if len(java) > 1 else "")),
        ("JVM options", ("`%s`" % jvm_options if jvm_options else "–") +
         ("; " + _jvm_flags(results) if _jvm_flags(results) else "")),
        ("peers", _peer_versions()),
    ]
    lines = ["## Machine", "", "| | |", "|---|---|"]
    lines += ["| %s | %s |" % row for row in rows]
    return lines + [""]
