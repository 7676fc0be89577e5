#!/usr/bin/env python3
"""The metrics file against the real tools: promtool checks it, and node
exporter's textfile collector serves every sample of it with its value.

    node_exporter_test.py REPORT SOURCE_DIR WORK_DIR

Exits 77 (skipped) where promtool or node exporter is missing."""
import os
import shutil
import socket
import subprocess
import sys
import time
import urllib.request


def tool(name):
    return shutil.which(name, path=os.environ.get("PATH", "") + ":/usr/sbin:/usr/bin")


def samples(text):
    """The wutally_ samples of an exposition text: {name and labels: value}.
    No family mixes samples with and without a label, so the collector
    serves each one as written."""
    found = {}
    for line in text.splitlines():
        if line.startswith("wutally_"):
            key, value = line.rsplit(" ", 1)
            found[key] = float(value)
    return found


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def write_logs(source, work):
    """The example logs, and one in a folder whose name needs escaping."""
    logs = os.path.join(work, "logs")
    shutil.rmtree(logs, ignore_errors=True)
    shutil.copytree(os.path.join(source, "examples", "logs"), logs)
    odd = os.path.join(logs, 'quote" back\\slash\nbreak')
    shutil.copytree(os.path.join(logs, "laptop"), odd)
    return sorted(os.path.join(logs, name) for name in os.listdir(logs))


def scrape(port, deadline):
    while True:
        try:
            with urllib.request.urlopen(f"http://127.0.0.1:{port}/metrics", timeout=5) as reply:
                return reply.read().decode()
        except OSError:
            if time.monotonic() > deadline:
                raise
            time.sleep(0.2)


def main():
    report, source, work = sys.argv[1:4]
    promtool = tool("promtool")
    exporter = tool("prometheus-node-exporter") or tool("node_exporter")
    if not promtool or not exporter:
        print("metrics test skipped: it needs promtool and node exporter "
              "(Debian: prometheus prometheus-node-exporter)")
        return 77
    os.makedirs(work, exist_ok=True)
    textfiles = os.path.join(work, "textfile")
    os.makedirs(textfiles, exist_ok=True)
    target = os.path.join(textfiles, "wutally.prom")
    subprocess.run([report, "--metrics", target, *write_logs(source, work)],
                   check=True, stdout=subprocess.DEVNULL)
    with open(target, encoding="utf-8") as file:
        written = file.read()
    check = subprocess.run([promtool, "check", "metrics"], input=written, text=True,
                           capture_output=True)
    print("promtool check metrics:", check.returncode, check.stdout + check.stderr)
    failures = [] if check.returncode == 0 else ["promtool check metrics failed"]

    port = free_port()
    server = subprocess.Popen([exporter, f"--web.listen-address=127.0.0.1:{port}",
                               "--collector.disable-defaults", "--collector.textfile",
                               f"--collector.textfile.directory={textfiles}"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        served = samples(scrape(port, time.monotonic() + 30))
    finally:
        os.kill(server.pid, 15)
        server.wait(timeout=10)
    expected = samples(written)
    if not expected or not any('log="quote\\" back\\\\slash\\nbreak"' in key for key in expected):
        failures.append("the metrics file lacks the samples it should hold")
    for key, value in expected.items():
        if served.get(key) != value:
            failures.append(f"{key}: written {value}, served {served.get(key)}")
    print(f"{len(expected)} wutally_ samples written, "
          f"{sum(served.get(k) == v for k, v in expected.items())} served with their values")
    for key in sorted(expected):
        print(f"  {key} {expected[key]:g}")
    for failure in failures:
        print("FAILED:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
