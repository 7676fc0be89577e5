#!/usr/bin/env python3
"""The farm test: virtual machines under qemu logging into one log on an
NFS share and on an SMB share served from this machine, first while nothing
fails, then while faults are struck on purpose: a machine that loses power
while it holds the log, the share's server killed and started again, runs
on the server's own disk beside the machines, a holder stopped for longer
than a stale lock's age, and a holder ended by SIGTERM.

Everything it makes lives under --work: the kernel package and its
initramfs (kept between runs), the servers' state, the shares and the
machines' consoles. Servers listen on 127.0.0.1 only; the machines reach
them only through qemu's user network with restrict=on, each connection
through a relay of its own, so that a server started again is reached
again. Every process it starts is ended by its own id when it ends.
"""
import argparse
import csv
import glob
import os
import queue
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time

GUEST_SERVER = "10.0.2.100"
KERNEL_MODULES = ["virtio_pci", "virtio_net", "nfsv4", "cifs",
                  # what cifs asks for as soft dependencies
                  "cmac", "ccm", "gcm", "sha512", "ecb", "ctr", "ghash_generic", "aead"]
HEADER_FIELDS = 57
NAME_COLUMN = 20
# The machines' clocks are set this far from the test machine's, so that a
# lock judged by comparing machines' clocks would be judged wrong.
CLOCK_OFFSETS = {"m1": -3 * 3600, "m2": 2 * 3600, "m3": -7 * 86400}
# Longer than a stale lock's age (60 s), well within the waits (120 s).
PAUSE_SECONDS = 75
RELAY = os.environ.get("FARM_RELAY", "socat")

SUMMARY = []


def log(text):
    """Prints a line of the test's findings and keeps it for the summary."""
    SUMMARY.append(text)
    print(text, flush=True)


def run(command, **options):
    return subprocess.run(command, check=True, **options)


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Processes:
    """The processes this test started, ended by their own ids; each leads a
    process group of its own, with whatever it started (qemu's relays)."""

    def __init__(self):
        self.started = []

    def start(self, command, log_path, **options):
        with open(log_path, "ab") as output:
            process = subprocess.Popen(command, stdout=output, stderr=subprocess.STDOUT,
                                       stdin=subprocess.DEVNULL, start_new_session=True,
                                       **options)
        self.started.append(process)
        return process

    def kill(self, process):
        """Ends it at once, with all it started, as a machine losing power or
        a server crashing."""
        self.send(process, signal.SIGKILL)
        process.wait()
        self.send(process, signal.SIGKILL)

    def end_all(self):
        # A second interruption must not cut the ending short.
        handlers = {number: signal.signal(number, signal.SIG_IGN)
                    for number in (signal.SIGINT, signal.SIGTERM)}
        for process in self.started:
            self.send(process, signal.SIGTERM)
        deadline = time.monotonic() + 10
        for process in self.started:
            try:
                process.wait(max(0.1, deadline - time.monotonic()))
            except subprocess.TimeoutExpired:
                self.send(process, signal.SIGKILL)
                process.wait()
            self.send(process, signal.SIGKILL)  # what it started, by its group
        for number, handler in handlers.items():
            signal.signal(number, handler)

    @staticmethod
    def send(process, number):
        for target in (lambda: os.kill(process.pid, number) if process.poll() is None else None,
                       lambda: os.killpg(process.pid, number)):
            try:
                target()
            except (ProcessLookupError, PermissionError):
                pass  # it ended meanwhile


# --- the machines' kernel and initramfs -----------------------------------

def kernel_tree(work):
    """Debian's own kernel package, unpacked, with its module index."""
    tree = os.path.join(work, "kernel")
    if glob.glob(os.path.join(tree, "boot", "vmlinuz-*")):
        return tree
    download = os.path.join(work, "download")
    shutil.rmtree(download, ignore_errors=True)
    os.makedirs(download)
    depends = subprocess.run(["apt-cache", "depends", "linux-image-amd64"],
                             capture_output=True, text=True).stdout
    if "Depends: linux-image-" not in depends:
        # A machine that has never read the package lists.
        run(["apt-get", "update"], stdout=subprocess.DEVNULL)
        depends = subprocess.run(["apt-cache", "depends", "linux-image-amd64"], check=True,
                                 capture_output=True, text=True).stdout
    image = next(line.split()[-1] for line in depends.splitlines()
                 if line.strip().startswith("Depends: linux-image-"))
    run(["apt-get", "-o", "APT::Sandbox::User=root", "download", image], cwd=download,
        stdout=subprocess.DEVNULL)
    package = glob.glob(os.path.join(download, "*.deb"))[0]
    staging = tree + ".new"
    shutil.rmtree(staging, ignore_errors=True)
    run(["dpkg-deb", "-x", package, staging])
    version = os.listdir(os.path.join(staging, "lib", "modules"))[0]
    run(["depmod", "-b", staging, version])
    os.rename(staging, tree)
    shutil.rmtree(download)
    return tree


def module_order(tree):
    """The module files the shares need, each after what it depends on."""
    version = os.listdir(os.path.join(tree, "lib", "modules"))[0]
    order = []
    for module in KERNEL_MODULES:
        shown = subprocess.run(["modprobe", "-d", tree, "-S", version, "--show-depends", module],
                               check=True, capture_output=True, text=True).stdout
        for line in shown.splitlines():
            words = line.split()
            if words and words[0] == "insmod" and words[1] not in order:
                order.append(words[1])
    return order


def copy_with_libraries(program, root, name):
    """The program, and the C library it links where it looks for it."""
    shutil.copy(program, os.path.join(root, "bin", name))
    for line in subprocess.run(["ldd", program], check=True, capture_output=True,
                               text=True).stdout.splitlines():
        path = next((word for word in line.split() if word.startswith("/")), None)
        if path:
            target = os.path.join(root, path.lstrip("/"))
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copy(path, target)


def build_initramfs(work, tree, wutally, paused, client):
    root = os.path.join(work, "initramfs")
    shutil.rmtree(root, ignore_errors=True)
    for folder in ("bin", "proc", "sys", "dev", "tmp", "mnt", "client"):
        os.makedirs(os.path.join(root, folder))
    shutil.copy(shutil.which("busybox"), os.path.join(root, "bin", "busybox"))
    for applet in subprocess.run([shutil.which("busybox"), "--list"], check=True,
                                 capture_output=True, text=True).stdout.split():
        if applet != "busybox":
            os.symlink("busybox", os.path.join(root, "bin", applet))
    copy_with_libraries(wutally, root, "wutally")
    copy_with_libraries(paused, root, "paused_wutally")
    with open(os.path.join(root, "modules.order"), "w") as order:
        for module in module_order(tree):
            inside = "/modules/" + os.path.basename(module)
            os.makedirs(os.path.join(root, "modules"), exist_ok=True)
            shutil.copy(module, root + inside)
            order.write(inside + "\n")
    for name in ("state.txt", "result.txt", "user_info.txt"):
        shutil.copy(os.path.join(client, name), os.path.join(root, "client", name))
    init = os.path.join(root, "init")
    shutil.copy(os.path.join(os.path.dirname(os.path.abspath(__file__)), "init.sh"), init)
    os.chmod(init, 0o755)
    image = os.path.join(work, "initramfs.cpio")
    files = subprocess.run(["find", "."], cwd=root, check=True, capture_output=True).stdout
    with open(image, "wb") as out:
        run(["cpio", "--quiet", "-o", "-H", "newc"], cwd=root, input=files, stdout=out)
    return image


# --- the servers -----------------------------------------------------------

class Server:
    """An NFS or SMB server on 127.0.0.1, which can be killed and started
    again on the same port with the same state."""

    def __init__(self, kind, work, share, processes):
        self.kind = kind
        self.state = os.path.join(work, kind + "-server")
        self.share = share
        self.processes = processes
        self.port = free_port()
        self.process = None
        self.config = (self.nfs_config if kind == "nfs" else self.smb_config)()

    def nfs_config(self):
        os.makedirs(os.path.join(self.state, "recovery"), exist_ok=True)
        config = os.path.join(self.state, "ganesha.conf")
        with open(config, "w") as out:
            out.write(f"""
NFS_CORE_PARAM {{
    NFS_Port = {self.port};
    Bind_addr = 127.0.0.1;
    Protocols = 4;
    Enable_NLM = false;
    Enable_RQUOTA = false;
}}
NFSV4 {{
    Graceless = true;
    RecoveryBackend = fs;
    RecoveryRoot = {self.state}/recovery;
}}
EXPORT {{
    Export_Id = 1;
    Path = {self.share};
    Pseudo = /farm;
    Access_Type = RW;
    Squash = No_Root_Squash;
    Protocols = 4;
    Transports = TCP;
    SecType = sys;
    PrivilegedPort = false;
    # Runs on the server's own disk change the log without nfs-ganesha: it
    # must not hand the machines a size it kept from before their rows.
    Attr_Expiration_Time = {os.environ.get("FARM_NFS_ATTRIBUTE_SECONDS", "0")};
    FSAL {{ Name = VFS; }}
}}
""")
        return config

    def smb_config(self):
        for folder in ("lock", "state", "cache", "pid", "private", "ncalrpc"):
            os.makedirs(os.path.join(self.state, folder), exist_ok=True)
        config = os.path.join(self.state, "smb.conf")
        # The share is reached as root, whoever connects, so that the test
        # works wherever the checkout is, below folders the guest account
        # could not enter.
        with open(config, "w") as out:
            out.write(f"""
[global]
    server role = standalone server
    smb ports = {self.port}
    interfaces = 127.0.0.1
    bind interfaces only = yes
    disable netbios = yes
    server min protocol = SMB3_00
    map to guest = Bad User
    guest account = nobody
    lock directory = {self.state}/lock
    state directory = {self.state}/state
    cache directory = {self.state}/cache
    pid directory = {self.state}/pid
    private dir = {self.state}/private
    ncalrpc dir = {self.state}/ncalrpc
    passdb backend = tdbsam:{self.state}/private/passdb.tdb
    log file = {self.state}/smbd.log
    log level = {os.environ.get("FARM_SMB_LOG_LEVEL", "0")}
    debug pid = yes
    max log size = 0
    load printers = no
    printing = bsd
    printcap name = /dev/null
    disable spoolss = yes
[farm]
    path = {self.share}
    guest ok = yes
    guest only = yes
    force user = root
    read only = no
    create mask = 0666
""")
        return config

    def start(self):
        if self.kind == "nfs":
            command = ["ganesha.nfsd", "-F", "-f", self.config,
                       "-L", os.path.join(self.state, "ganesha.log"),
                       "-p", os.path.join(self.state, "ganesha.pid"), "-N", "NIV_WARN"]
        else:
            command = ["smbd", "--foreground", "--no-process-group", "-s", self.config]
        self.process = self.processes.start(command, os.path.join(self.state, "server.out"))
        return wait_for_port(self.port)

    def kill(self):
        self.processes.kill(self.process)

    def explain(self):
        """What the server said, for a case that could not start."""
        path = os.path.join(self.state, "smbd.log" if self.kind == "smb" else "ganesha.log")
        if os.path.exists(path):
            with open(path, errors="replace") as said:
                return [line.rstrip() for line in said][-6:]
        return []


def wait_for_port(port, seconds=30):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        with socket.socket() as probe:
            if probe.connect_ex(("127.0.0.1", port)) == 0:
                return True
        time.sleep(0.2)
    return False


# --- the machines ----------------------------------------------------------

class Machine:
    def __init__(self, name, kind, server, work, kernel, initramfs, processes):
        self.name = name
        self.processes = processes
        folder = os.path.join(work, "machines", kind)
        os.makedirs(folder, exist_ok=True)
        control = os.path.join(folder, name + ".control")
        if os.path.exists(control):
            os.unlink(control)
        # Each connection of the machine gets a relay of its own, so that a
        # server that was killed and started again is reached again.
        relay = (f"cmd:socat STDIO TCP:127.0.0.1:{server.port}" if RELAY == "socat"
                 else f"tcp:127.0.0.1:{server.port}")
        forward = f"guestfwd=tcp:{GUEST_SERVER}:{2049 if kind == 'nfs' else 445}-{relay}"
        self.console = os.path.join(folder, name + ".console")
        if os.path.exists(self.console):
            os.unlink(self.console)
        rtc = time.strftime("%Y-%m-%dT%H:%M:%S",
                            time.gmtime(time.time() + CLOCK_OFFSETS.get(name, 0)))
        self.process = processes.start(
            ["qemu-system-x86_64", "-accel", "tcg", "-nodefaults", "-display", "none",
             "-m", "256", "-smp", "1", "-no-reboot", "-rtc", f"base={rtc}",
             "-kernel", kernel, "-initrd", initramfs,
             "-append", f"console=ttyS0 panic=-1 farm.machine={name} farm.kind={kind}",
             "-netdev", f"user,id=net,restrict=on,{forward}",
             "-device", "virtio-net-pci,netdev=net",
             "-serial", "file:" + self.console,
             "-chardev", f"socket,id=control,path={control},server=on,wait=off",
             "-serial", "chardev:control"],
            os.path.join(folder, name + ".qemu"))
        deadline = time.monotonic() + 30
        while not os.path.exists(control) and time.monotonic() < deadline:
            time.sleep(0.1)
        self.socket = socket.socket(socket.AF_UNIX)
        self.socket.connect(control)
        self.lines = queue.Queue()
        threading.Thread(target=self.read_lines, daemon=True).start()

    def read_lines(self):
        """Each line the machine says, with the time it arrived here."""
        pending = b""
        while True:
            try:
                chunk = self.socket.recv(65536)
            except OSError:
                chunk = b""
            if not chunk:
                self.lines.put((time.monotonic(), None))
                return
            pending += chunk
            while b"\n" in pending:
                line, pending = pending.split(b"\n", 1)
                self.lines.put((time.monotonic(), line.decode(errors="replace").strip("\r")))

    def say(self, line):
        self.socket.sendall(line.encode() + b"\n")

    def next_line(self, seconds):
        """The next line and when it came; raises at the end or the timeout."""
        at, line = self.lines.get(timeout=seconds)
        if line is None:
            raise EOFError(f"{self.name} ended; see {self.console}")
        return at, line

    def power_off(self):
        self.processes.kill(self.process)

    def kernel_said(self):
        with open(self.console, errors="replace") as console:
            return [line.rstrip() for line in console
                    if "CIFS" in line or "NFS" in line or "nfs" in line or "lockd" in line][-8:]


# --- what a case leaves --------------------------------------------------------

class Runs:
    """What the runs of a case said: for each work unit, its status, output
    and when its result and its start arrived here."""

    def __init__(self):
        self.results = {}
        self.begun = {}
        self.longest = 0.0  # from a run's start to its end, by its machine's clock

    def take(self, at, line):
        words = line.split(" ", 7)
        if words[0] == "result":
            case, machine, number, status, start, end = words[1:7]
            text = words[7] if len(words) > 7 else ""
            self.results[f"farm.{case}.{machine}.{number}"] = (int(status), at, text.strip())
            self.longest = max(self.longest, float(end) - float(start))
        elif words[0] == "begin":
            case, machine, number = words[1:4]
            self.begun[f"farm.{case}.{machine}.{number}"] = at
        return words[0]

    def saved(self):
        return {name for name, (status, _, _) in self.results.items() if status == 0}

    def first_saved_after(self, moment):
        ends = [at for status, at, _ in self.results.values() if status == 0 and at >= moment]
        return min(ends) - moment if ends else None


def read_log(path):
    """The log's rows after the header: how often each name stands in it, and
    how many rows are not of 57 fields."""
    counts = {}
    broken = 0
    if os.path.exists(path):
        with open(path, newline="", encoding="latin-1") as log_file:
            for fields in list(csv.reader(log_file))[1:]:
                if len(fields) != HEADER_FIELDS:
                    broken += 1
                else:
                    counts[fields[NAME_COLUMN]] = counts.get(fields[NAME_COLUMN], 0) + 1
    return counts, broken


def leftovers(folder):
    """The lock files, pending rows and breakers' files a case left."""
    return sorted(name for name in os.listdir(folder) if name.startswith("WUTally.csv."))


def until_done(machines, runs, waiting, seconds=900):
    """Takes the machines' lines until each has said it is done."""
    waiting = set(waiting)
    deadline = time.monotonic() + seconds
    while waiting:
        for machine in list(waiting):
            try:
                at, line = machine.next_line(0.2)
            except queue.Empty:
                if time.monotonic() > deadline:
                    raise TimeoutError(f"{machine.name} did not finish")
                continue
            if runs.take(at, line) == "done":
                waiting.discard(machine)


def until_said(machine, word, runs=None, seconds=120):
    while True:
        at, line = machine.next_line(seconds)
        if runs is not None:
            runs.take(at, line)
        if line.startswith(word):
            return at, line


# --- the cases while nothing fails ------------------------------------------

def header_row(source):
    with open(os.path.join(source, "examples", "logs", "desktop", "WUTally.csv"), "rb") as log_file:
        return log_file.readline().rstrip(b"\r\n")


def earlier_rows(header, count):
    """A log of `count` rows of other work units, as the program writes them."""
    rows = [header]
    for row in range(count):
        fields = [b'"2026.01.01 00:00:00"'] + [b"31844511.473516"] * (HEADER_FIELDS - 1)
        fields[NAME_COLUMN] = b'"earlier.%d"' % row
        rows.append(b",".join(fields))
    return b"\r\n".join(rows)


def new_case_folder(share, case):
    folder = os.path.join(share, case)
    os.makedirs(folder)
    os.chmod(folder, 0o777)
    return folder


def check_case(kind, case, machines, count, runs, folder):
    names = {f"farm.{case}.{machine}.{number}" for machine in machines
             for number in range(1, count + 1)}
    counts, broken = read_log(os.path.join(folder, "WUTally.csv"))
    saved = sum(1 for name in names if counts.get(name, 0) >= 1)
    duplicates = sum(counts.get(name, 0) - 1 for name in names if counts.get(name, 0) > 1)
    lost = [name for name in runs.saved() if counts.get(name, 0) == 0]
    log(f"farm {kind}: {len(machines)} machines x {count} runs: {saved} of {len(names)} rows "
        f"saved, {duplicates} duplicates, {broken} broken rows")
    failures = {}
    for status, _, text in runs.results.values():
        if status != 0:
            failures[text] = failures.get(text, 0) + 1
    log(f"  {case}: longest run {runs.longest:.2f} s" + "".join(
        f"; {number} x {text!r}" for text, number in failures.items()))
    for name in lost:
        log(f"  {name} printed the success line and its row is not in the log")
    left = leftovers(folder)
    if left:
        log(f"  {case}: left behind: {' '.join(left)}")
    return saved == len(names) and duplicates == 0 and broken == 0 and not lost and not left


def run_case(kind, case, machines, count, share, rows_before, header):
    folder = new_case_folder(share, case)
    if rows_before:
        with open(os.path.join(folder, "WUTally.csv"), "wb") as out:
            out.write(earlier_rows(header, rows_before))
        os.chmod(os.path.join(folder, "WUTally.csv"), 0o666)
    started = time.monotonic()
    for machine in machines:
        machine.say(f"run {case} {count}")
    runs = Runs()
    until_done(machines, runs, machines)
    passed = check_case(kind, case, [m.name for m in machines], count, runs, folder)
    log(f"  {case}: took {time.monotonic() - started:.1f} s")
    return passed


# --- the cases with faults ---------------------------------------------------

def fault_line(kind, case, expected, runs, folder, recovered):
    """Checks what a fault case left and says so in one line."""
    counts, broken = read_log(os.path.join(folder, "WUTally.csv"))
    saved = sum(1 for name in expected if counts.get(name, 0) >= 1)
    reported = runs.saved()
    kept = sum(1 for name in reported if counts.get(name, 0) >= 1)
    duplicates = sum(count - 1 for count in counts.values() if count > 1)
    left = leftovers(folder)
    lock_left = "WUTally.csv.lock" in left
    shown = "-" if recovered is None else f"{recovered:.1f}"
    log(f"farm-fault {kind} {case}: {saved} of {len(expected)} rows saved, {kept} of "
        f"{len(reported)} reported saved kept, {duplicates} duplicates, {broken} broken rows, "
        f"lock file left: {'yes' if lock_left else 'no'}, recovered in {shown} s")
    failures = {}
    for status, _, text in runs.results.values():
        if status != 0:
            failures[text] = failures.get(text, 0) + 1
    for text, number in failures.items():
        log(f"  {number} x {text!r}")
    if left:
        log(f"  left behind: {' '.join(left)}")
    return (saved == len(expected) and kept == len(reported) and duplicates == 0
            and broken == 0 and not left and recovered is not None)


def names_of(case, machine, first, last):
    return {f"farm.{case}.{machine.name}.{number}" for number in range(first, last + 1)}


def hold(machine, case, at, runs):
    machine.say(f"hold {case} {at}")
    when, line = until_said(machine, "holding", runs)
    if len(line.split()) < 4:
        raise RuntimeError(f"{machine.name}: the run did not pause while holding the log")
    return when


def power_off(kind, machines, server, share, args):
    """A machine dies holding the log, half its row written; the others log."""
    case = "power-off"
    folder = new_case_folder(share, case)
    runs = Runs()
    dead, others = machines[0], machines[1:]
    hold(dead, case, "row", runs)
    dead.power_off()
    struck = time.monotonic()
    for machine in others:
        machine.say(f"series {case} 1 6")
    until_done(others, runs, others)
    expected = set().union(*(names_of(case, machine, 1, 6) for machine in others))
    return fault_line(kind, case, expected, runs, folder, runs.first_saved_after(struck))


def server_restart(kind, machines, server, share, args):
    """The share's server is killed and started again while machines log."""
    case = "server-restart"
    folder = new_case_folder(share, case)
    runs = Runs()
    for machine in machines:
        machine.say(f"series {case} 1 10 1")
    time.sleep(3)
    server.kill()
    struck = time.monotonic()
    time.sleep(4)
    if not server.start():
        log(f"farm {kind}: the server did not start again")
        return False
    back = time.monotonic()
    until_done(machines, runs, machines)
    # Every run begun after the server was back must save its row.
    expected = {name for name, at in runs.begun.items() if at >= back}
    passed = fault_line(kind, case, expected, runs, folder, runs.first_saved_after(back))
    log(f"  the server was away for {back - struck:.1f} s")
    return passed


def server_disk(kind, machines, server, share, args):
    """Runs on this machine straight in the shared folder, one after another,
    while two machines run 8 each at once."""
    case = "server-disk"
    folder = new_case_folder(share, case)
    runs = Runs()
    logging = machines[:2]
    for machine in logging:
        machine.say(f"run {case} 8")
    waiting = set(logging)
    number = 0
    clients = os.path.join(os.path.dirname(share), "server-disk-clients")
    shutil.rmtree(clients, ignore_errors=True)
    example = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples",
                           "client")
    while waiting:
        number += 1
        client = os.path.join(clients, str(number))
        os.makedirs(client)
        for name in ("state.txt", "user_info.txt"):
            shutil.copy(os.path.join(example, name), client)
        with open(os.path.join(example, "result.txt")) as source:
            text = source.read()
        with open(os.path.join(client, "result.txt"), "w") as out:
            out.write("".join(f"name=farm.{case}.here.{number}\n" if line.startswith("name=")
                              else line for line in text.splitlines(keepends=True)))
        done = subprocess.run([args.wutally, "/P", folder], cwd=client, capture_output=True,
                              timeout=400)
        said = done.stdout + done.stderr
        text = said.decode(errors="replace").replace("\r", " ").replace("\n", " ")
        runs.take(time.monotonic(), f"result {case} here {number} {done.returncode} 0 0 {text}")
        for machine in list(waiting):
            try:
                while True:
                    at, line = machine.next_line(0)
                    if runs.take(at, line) == "done":
                        waiting.discard(machine)
                        break
            except queue.Empty:
                pass
    expected = set().union(*(names_of(case, machine, 1, 8) for machine in logging),
                           {f"farm.{case}.here.{n}" for n in range(1, number + 1)})
    passed = fault_line(kind, case, expected, runs, folder, 0.0)
    log(f"  {number} runs on the server's own disk")
    return passed


def paused(kind, machines, server, share, args):
    """A holder is stopped for longer than a stale lock's age, then goes on
    while the others log."""
    case = "paused"
    folder = new_case_folder(share, case)
    runs = Runs()
    stopped, others = machines[0], machines[1:]
    hold(stopped, case, "hold", runs)
    stopped.say(f"signal {case} STOP")
    until_said(stopped, "signalled", runs)
    struck = time.monotonic()
    for machine in others:
        machine.say(f"series {case} 1 5")
    time.sleep(max(0, struck + PAUSE_SECONDS - time.monotonic()))
    stopped.say(f"signal {case} CONT")
    stopped.say(f"release {case}")
    stopped.say(f"collect {case}")
    until_done(machines, runs, machines)
    expected = set().union(*(names_of(case, machine, 1, 5) for machine in others),
                           names_of(case, stopped, 0, 0))
    return fault_line(kind, case, expected, runs, folder, runs.first_saved_after(struck))


def sigterm(kind, machines, server, share, args):
    """A holder is ended by SIGTERM half-way through its row; the next run
    saves at once."""
    case = "sigterm"
    folder = new_case_folder(share, case)
    runs = Runs()
    ended, other = machines[0], machines[1]
    hold(ended, case, "row", runs)
    ended.say(f"signal {case} TERM")
    until_said(ended, "signalled", runs)
    struck = time.monotonic()
    ended.say(f"collect {case}")
    until_done([ended], runs, [ended])
    other.say(f"series {case} 1 3")
    until_done([other], runs, [other])
    passed = fault_line(kind, case, names_of(case, other, 1, 3), runs, folder,
                        runs.first_saved_after(struck))
    status = runs.results.get(f"farm.{case}.{ended.name}.0", (None,))[0]
    if status != 128 + signal.SIGTERM:
        log(f"  the held run ended with status {status}, not by SIGTERM")
        passed = False
    return passed


FAULTS = {"sigterm": sigterm, "server-disk": server_disk, "paused": paused,
          "server-restart": server_restart, "power-off": power_off}


def farm(kind, args, kernel, initramfs, processes):
    work = os.path.join(args.work, kind)
    shutil.rmtree(work, ignore_errors=True)
    share = os.path.join(work, "share")
    os.makedirs(share)
    os.chmod(share, 0o777)
    server = Server(kind, work, share, processes)
    if not server.start():
        log(f"farm {kind}: the server did not start; see {server.state}")
        return False
    machines = [Machine(f"m{number}", kind, server, args.work, kernel, initramfs, processes)
                for number in range(1, args.machines + 1)]
    for machine in machines:
        _, line = machine.next_line(300)
        if not line.startswith("ready"):
            log(f"farm {kind}: {machine.name}: {line}")
            for said in server.explain():
                log(f"  server: {said}")
            return False
    header = header_row(args.source)
    passed = True
    number = 0
    for rows_before in (0, 20000) if "plain" in args.cases else ():
        for count in (2, args.machines):
            number += 1
            passed &= run_case(kind, f"case{number}", machines[:count], args.runs, share,
                               rows_before, header)
    for name, strike in FAULTS.items():
        if name not in args.cases:
            continue
        started = time.monotonic()
        try:
            ok = strike(kind, machines, server, share, args)
        except (EOFError, TimeoutError, RuntimeError, queue.Empty) as error:
            log(f"farm-fault {kind} {name}: could not be run: {error}")
            ok = False
        log(f"  {name}: took {time.monotonic() - started:.1f} s")
        if not ok:
            for machine in machines:
                for line in machine.kernel_said():
                    log(f"  {machine.name}: {line}")
        passed &= ok
    for machine in machines:
        try:
            machine.say("stop")
        except OSError:
            pass  # powered off by a case
    return passed


SKIPPED = 77


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wutally", required=True)
    parser.add_argument("--paused", required=True,
                        help="the program built to pause while it holds the log")
    parser.add_argument("--source", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--machines", type=int, default=3)
    parser.add_argument("--runs", type=int, default=16)
    parser.add_argument("--kinds", default="nfs,smb")
    parser.add_argument("--cases", default="plain," + ",".join(FAULTS))
    args = parser.parse_args()
    args.cases = args.cases.split(",")
    # Ended by CTest's timeout or by hand, the test still ends what it
    # started; a second signal must not cut that short.
    def interrupted(number, frame):
        for each in (signal.SIGINT, signal.SIGTERM):
            signal.signal(each, signal.SIG_IGN)
        sys.exit(1)
    signal.signal(signal.SIGTERM, interrupted)
    signal.signal(signal.SIGINT, interrupted)
    if os.geteuid() != 0:
        log("Farm test skipped: the NFS and SMB servers it starts need root")
        return SKIPPED
    args.work = os.path.abspath(args.work)
    args.wutally = os.path.abspath(args.wutally)
    os.makedirs(args.work, exist_ok=True)
    tree = kernel_tree(args.work)
    kernel = glob.glob(os.path.join(tree, "boot", "vmlinuz-*"))[0]
    initramfs = build_initramfs(args.work, tree, args.wutally, os.path.abspath(args.paused),
                                os.path.join(args.source, "examples", "client"))
    passed = True
    for kind in args.kinds.split(","):
        processes = Processes()
        try:
            passed &= farm(kind, args, kernel, initramfs, processes)
        finally:
            processes.end_all()
    with open(os.path.join(args.work, "summary.txt"), "w") as summary:
        summary.write("\n".join(SUMMARY) + "\n")
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
