#!/usr/bin/env python3
"""The shipped metrics unit as a stock Debian runs it: its command, with the
unit's user, capabilities and umask, writes the figures into a textfile
folder that is root's and 0755, from logs of another user; and systemd
rates its sandbox 2.0 or below.

    metrics_unit_test.py REPORT UNIT WORK_DIR

Exits 77 (skipped) where it is not run as root or setpriv or
systemd-analyze is missing."""
import os
import re
import shlex
import shutil
import subprocess
import sys


def unit_settings(path):
    """The [Service] settings of a unit: {key: [values in order]}."""
    settings, section = {}, None
    with open(path, encoding="utf-8") as unit:
        for line in unit:
            line = line.strip()
            if line.startswith("["):
                section = line
            elif section == "[Service]" and "=" in line and not line.startswith("#"):
                key, value = line.split("=", 1)
                settings.setdefault(key, []).append(value)
    return settings


def exposure(unit):
    rated = subprocess.run(["systemd-analyze", "security", "--offline=true", unit],
                           capture_output=True, text=True)
    found = re.search(r"Overall exposure level for \S+: ([0-9.]+)", rated.stdout)
    return float(found.group(1)) if found else None


def run_as_unit(settings, report, textfiles, logs):
    """The unit's command with its paths moved into the test's folders,
    under the unit's user, bounding set and umask."""
    command = shlex.split(settings["ExecStart"][0])
    command = [word.replace("/usr/bin/wutally-report", report)
               .replace("/var/lib/prometheus/node-exporter", textfiles)
               .replace("/srv/logs", logs) for word in command]
    user = settings.get("User", ["root"])[0]
    no_capabilities = settings.get("CapabilityBoundingSet") == [""]
    privileges = ["setpriv", f"--reuid={user}", f"--regid={user}", "--init-groups"]
    if no_capabilities:
        privileges += ["--bounding-set=-all", "--inh-caps=-all"]
    if settings.get("NoNewPrivileges") == ["yes"]:
        privileges.append("--no-new-privs")
    umask = int(settings.get("UMask", ["0022"])[0], 8)
    return subprocess.run(privileges + command, capture_output=True, text=True,
                          preexec_fn=lambda: os.umask(umask))


def main():
    report, unit, work = sys.argv[1:4]
    if os.geteuid() != 0 or not shutil.which("setpriv") or not shutil.which("systemd-analyze"):
        print("metrics unit test skipped: it runs as root, with setpriv and systemd-analyze "
              "(Debian: util-linux systemd)")
        return 77
    failures = []
    score = exposure(unit)
    print(f"systemd-analyze security --offline=true: {score}")
    if score is None or score > 2.0:
        failures.append(f"the unit's exposure is {score}, above 2.0")

    shutil.rmtree(work, ignore_errors=True)
    textfiles, logs = os.path.join(work, "node-exporter"), os.path.join(work, "logs")
    os.makedirs(textfiles, mode=0o755)
    os.chmod(work, 0o755)
    for machine, when in (("desk", "2026.01.05 07:03:09"), ("lap", "2026.01.06 08:00:00")):
        folder = os.path.join(logs, machine)
        os.makedirs(folder)
        path = os.path.join(folder, "WUTally.csv")
        with open(path, "w", encoding="ascii") as log:
            log.write(f'"date","name","cpu"\r\n"{when}","{machine}","3600"\r\n')
        os.chmod(path, 0o644)
        os.chown(path, 65534, 65534)
        os.chown(folder, 65534, 65534)
    ran = run_as_unit(unit_settings(unit), report, textfiles, logs)
    print("exit status:", ran.returncode, ran.stderr.strip())
    written = os.path.join(textfiles, "wutally.prom")
    if ran.returncode != 0 or not os.path.exists(written):
        failures.append("the unit's command did not write the figures")
    elif os.stat(written).st_mode & 0o044 != 0o044:
        failures.append("the figures cannot be read by the collector's user")
    else:
        with open(written, encoding="utf-8") as figures:
            if 'wutally_work_units_total{log="lap"} 1' not in figures.read():
                failures.append("the figures lack a machine's log")
    for failure in failures:
        print("FAILED:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
