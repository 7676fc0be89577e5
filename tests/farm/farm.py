#!/usr/bin/env python3
"""The farm test: virtual machines under qemu, each running wutally many
times at once, logging into one log on an NFS share and on an SMB share
served from this machine.

Everything it makes lives under --work: the kernel package and its
initramfs (kept between runs), the servers' state, the shares and the
machines' consoles. Servers listen on 127.0.0.1 only; the machines reach
them only through qemu's user network with restrict=on and one guestfwd
per server. Every process it starts is ended by its own id when it ends.
"""
import argparse
import csv
import glob
import os
import shutil
import signal
import socket
import subprocess
import sys
import time

GUEST_SERVER = "10.0.2.100"
KERNEL_MODULES = ["virtio_pci", "virtio_net", "nfsv4", "cifs",
                  # what cifs asks for as soft dependencies
                  "cmac", "ccm", "gcm", "sha512", "ecb", "ctr", "ghash_generic", "aead"]
HEADER_FIELDS = 57
NAME_COLUMN = 20


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
    """The processes this test started, ended by their own ids."""

    def __init__(self):
        self.started = []

    def start(self, command, log_path, **options):
        with open(log_path, "wb") as output:
            process = subprocess.Popen(command, stdout=output, stderr=subprocess.STDOUT,
                                       stdin=subprocess.DEVNULL, start_new_session=True,
                                       **options)
        self.started.append(process)
        return process

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
        for number, handler in handlers.items():
            signal.signal(number, handler)

    @staticmethod
    def send(process, number):
        if process.poll() is None:
            try:
                os.kill(process.pid, number)
            except ProcessLookupError:
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


def build_initramfs(work, tree, wutally, client):
    root = os.path.join(work, "initramfs")
    shutil.rmtree(root, ignore_errors=True)
    for folder in ("bin", "proc", "sys", "dev", "tmp", "mnt", "client"):
        os.makedirs(os.path.join(root, folder))
    shutil.copy(shutil.which("busybox"), os.path.join(root, "bin", "busybox"))
    for applet in subprocess.run([shutil.which("busybox"), "--list"], check=True,
                                 capture_output=True, text=True).stdout.split():
        if applet != "busybox":
            os.symlink("busybox", os.path.join(root, "bin", applet))
    shutil.copy(wutally, os.path.join(root, "bin", "wutally"))
    # The C library the program links, where the program looks for it.
    for line in subprocess.run(["ldd", wutally], check=True, capture_output=True,
                               text=True).stdout.splitlines():
        path = next((word for word in line.split() if word.startswith("/")), None)
        if path:
            target = os.path.join(root, path.lstrip("/"))
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copy(path, target)
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

def start_nfs(work, share, processes):
    state = os.path.join(work, "nfs")
    os.makedirs(os.path.join(state, "recovery"), exist_ok=True)
    port = free_port()
    config = os.path.join(state, "ganesha.conf")
    with open(config, "w") as out:
        out.write(f"""
NFS_CORE_PARAM {{
    NFS_Port = {port};
    Bind_addr = 127.0.0.1;
    Protocols = 4;
    Enable_NLM = false;
    Enable_RQUOTA = false;
}}
NFSV4 {{
    Graceless = true;
    RecoveryBackend = fs;
    RecoveryRoot = {state}/recovery;
}}
EXPORT {{
    Export_Id = 1;
    Path = {share};
    Pseudo = /farm;
    Access_Type = RW;
    Squash = No_Root_Squash;
    Protocols = 4;
    Transports = TCP;
    SecType = sys;
    PrivilegedPort = false;
    FSAL {{ Name = VFS; }}
}}
""")
    processes.start(["ganesha.nfsd", "-F", "-f", config, "-L", os.path.join(state, "ganesha.log"),
                     "-p", os.path.join(state, "ganesha.pid"), "-N", "NIV_WARN"],
                    os.path.join(state, "ganesha.out"))
    return port


def start_smb(work, share, processes):
    state = os.path.join(work, "smb")
    for folder in ("lock", "state", "cache", "pid", "private", "ncalrpc"):
        os.makedirs(os.path.join(state, folder), exist_ok=True)
    port = free_port()
    config = os.path.join(state, "smb.conf")
    with open(config, "w") as out:
        out.write(f"""
[global]
    server role = standalone server
    smb ports = {port}
    interfaces = 127.0.0.1
    bind interfaces only = yes
    disable netbios = yes
    server min protocol = SMB3_00
    map to guest = Bad User
    guest account = nobody
    lock directory = {state}/lock
    state directory = {state}/state
    cache directory = {state}/cache
    pid directory = {state}/pid
    private dir = {state}/private
    ncalrpc dir = {state}/ncalrpc
    passdb backend = tdbsam:{state}/private/passdb.tdb
    log file = {state}/smbd.log
    load printers = no
    printing = bsd
    printcap name = /dev/null
    disable spoolss = yes
[farm]
    path = {share}
    guest ok = yes
    guest only = yes
    read only = no
    create mask = 0666
""")
    processes.start(["smbd", "--foreground", "--no-process-group", "-s", config],
                    os.path.join(state, "smbd.out"))
    return port


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
    def __init__(self, name, kind, server_port, work, kernel, initramfs, processes):
        self.name = name
        folder = os.path.join(work, "machines", kind)
        os.makedirs(folder, exist_ok=True)
        control = os.path.join(folder, name + ".control")
        if os.path.exists(control):
            os.unlink(control)
        forward = f"guestfwd=tcp:{GUEST_SERVER}:{2049 if kind == 'nfs' else 445}-tcp:127.0.0.1:{server_port}"
        self.console = os.path.join(folder, name + ".console")
        processes.start(
            ["qemu-system-x86_64", "-accel", "tcg", "-nodefaults", "-display", "none",
             "-m", "256", "-smp", "1", "-no-reboot",
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
        self.pending = b""

    def say(self, line):
        self.socket.sendall(line.encode() + b"\n")

    def read_line(self, seconds):
        self.socket.settimeout(seconds)
        while b"\n" not in self.pending:
            chunk = self.socket.recv(65536)
            if not chunk:
                raise EOFError(f"{self.name} ended; see {self.console}")
            self.pending += chunk
        line, self.pending = self.pending.split(b"\n", 1)
        return line.decode(errors="replace").strip("\r")


# --- the cases -------------------------------------------------------------

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


def check_case(kind, case, machines, runs, results, log_path):
    names = {f"farm.{case}.{machine}.{run}" for machine in machines for run in range(1, runs + 1)}
    counts = dict.fromkeys(names, 0)
    broken = 0
    if os.path.exists(log_path):
        with open(log_path, newline="", encoding="latin-1") as log_file:
            for fields in list(csv.reader(log_file))[1:]:
                if len(fields) != HEADER_FIELDS:
                    broken += 1
                elif fields[NAME_COLUMN] in counts:
                    counts[fields[NAME_COLUMN]] += 1
    saved = sum(1 for count in counts.values() if count >= 1)
    duplicates = sum(count - 1 for count in counts.values() if count > 1)
    lost = [name for name, (status, _, text) in results.items()
            if "saved successfully" in text and counts.get(name, 0) == 0]
    log(f"farm {kind}: {len(machines)} machines x {runs} runs: {saved} of {len(names)} rows saved, "
        f"{duplicates} duplicates, {broken} broken rows")
    longest = max((seconds for _, seconds, _ in results.values()), default=0)
    failures = {}
    for status, _, text in results.values():
        if status != 0:
            failures[text] = failures.get(text, 0) + 1
    log(f"  {case}: longest run {longest:.2f} s" +
        "".join(f"; {count} x {text!r}" for text, count in failures.items()))
    for name in lost:
        log(f"  {name} printed the success line and its row is not in the log")
    left = os.path.exists(log_path + ".lock")
    if left:
        log(f"  {case}: a lock file was left behind")
    return saved == len(names) and duplicates == 0 and broken == 0 and not lost and not left


def run_case(kind, case, machines, runs, share, rows_before, header):
    folder = os.path.join(share, case)
    os.makedirs(folder)
    os.chmod(folder, 0o777)
    if rows_before:
        with open(os.path.join(folder, "WUTally.csv"), "wb") as out:
            out.write(earlier_rows(header, rows_before))
        os.chmod(os.path.join(folder, "WUTally.csv"), 0o666)
    for machine in machines:
        machine.say(f"run {case} {runs}")
    results = {}
    for machine in machines:
        while True:
            line = machine.read_line(600)
            words = line.split(" ", 7)
            if words[0] == "done":
                break
            if words[0] == "result":
                _, _, name, number, status, start, end, text = (words + [""] * 8)[:8]
                results[f"farm.{case}.{name}.{number}"] = (int(status), float(end) - float(start),
                                                            text.strip())
    passed = check_case(kind, case, [m.name for m in machines], runs, results,
                        os.path.join(folder, "WUTally.csv"))
    if not passed:
        # What the machines' kernels said, for finding out why.
        for machine in machines:
            with open(machine.console, errors="replace") as console:
                said = [line.rstrip() for line in console if "CIFS" in line or "NFS" in line
                        or "nfs" in line or "lockd" in line]
            for line in said[-8:]:
                log(f"  {machine.name}: {line}")
    return passed


def farm(kind, args, kernel, initramfs, processes):
    work = os.path.join(args.work, kind)
    shutil.rmtree(work, ignore_errors=True)
    share = os.path.join(work, "share")
    os.makedirs(share)
    os.chmod(share, 0o777)
    start = start_nfs if kind == "nfs" else start_smb
    port = start(work, share, processes)
    if not wait_for_port(port):
        log(f"farm {kind}: the server did not start; see {work}")
        return False
    machines = [Machine(f"m{number}", kind, port, args.work, kernel, initramfs, processes)
                for number in range(1, args.machines + 1)]
    for machine in machines:
        line = machine.read_line(300)
        if not line.startswith("ready"):
            log(f"farm {kind}: {machine.name}: {line}")
            return False
    header = header_row(args.source)
    passed = True
    number = 0
    for rows_before in (0, 20000):
        for count in (2, args.machines):
            number += 1
            case = f"case{number}"
            passed &= run_case(kind, case, machines[:count], args.runs, share, rows_before, header)
    for machine in machines:
        machine.say("stop")
    return passed


SKIPPED = 77


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wutally", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--machines", type=int, default=3)
    parser.add_argument("--runs", type=int, default=16)
    parser.add_argument("--kinds", default="nfs,smb")
    args = parser.parse_args()
    # Ended by CTest's timeout or by hand, the test still ends what it started.
    signal.signal(signal.SIGTERM, lambda number, frame: sys.exit(1))
    if os.geteuid() != 0:
        log("Farm test skipped: the NFS and SMB servers it starts need root")
        return SKIPPED
    args.work = os.path.abspath(args.work)
    os.makedirs(args.work, exist_ok=True)
    tree = kernel_tree(args.work)
    kernel = glob.glob(os.path.join(tree, "boot", "vmlinuz-*"))[0]
    initramfs = build_initramfs(args.work, tree, os.path.abspath(args.wutally),
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
