"""Two computers, one data directory, kept in step by two real Syncthing instances on the
loopback interface: one folder each side per scenario (each folder one computer's data
directory), the program on each (sync_driver), the connection paused and resumed. After each
scenario, once Syncthing and the programs' merges have settled: every record a program reported
as recorded is in its history on both sides exactly once, no item is lost that no one deleted,
no conflict copy is left in the data directory, and every conflict copy Syncthing made was
merged by a program and is kept in the folder of merged copies on both sides.

    sync_two_syncthings.py SYNC_DRIVER
    (KEEP=1 keeps the temporary directory; VERBOSE=1 shows what the programs were told and said)

Exit code 77 means skipped (no syncthing)."""
import ctypes
import json
import os
import re
import secrets
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request
import xml.etree.ElementTree as ET

ITEM_LIST = "項目一覧.txt"
MERGED = "統合済みの競合コピー"
# Syncthing's name for the version that lost: name.sync-conflict-YYYYMMDD-HHMMSS-DEVICE.ext
# (not its temporary files, ".syncthing.name.tmp", which it may leave behind for a while).
CONFLICT_COPY = re.compile(r"^[^.].*\.sync-conflict-\d{8}-\d{6}-[A-Z0-9]{7}\.txt$")
PUSH, SIT, PULL = "腕立て伏せ", "腹筋", "懸垂"
FIRST_LIST = [(PUSH, 30), (SIT, 20), (PULL, 5)]
WAIT = 60  # seconds for anything to happen before the test gives up
VERBOSE = bool(os.environ.get("VERBOSE"))
BEGAN = time.monotonic()


def note(text):
    if VERBOSE:
        print(f"{time.monotonic() - BEGAN:6.1f} {text}", flush=True)


class Failure(Exception):
    pass


class Processes:
    """Everything the test starts, stopped however the test ends."""

    def __init__(self):
        self.started = []

    @staticmethod
    def _die_with_test():
        # PR_SET_PDEATHSIG: a test killed outright takes its children with it.
        ctypes.CDLL(None).prctl(1, signal.SIGKILL)

    def start(self, args, **kwargs):
        # A process group of its own: whatever a process starts ends with it.
        process = subprocess.Popen(args, start_new_session=True,
                                   preexec_fn=self._die_with_test, **kwargs)
        self.started.append(process)
        return process

    def stop(self, process):
        self.started.remove(process)
        self._end([process])

    def stop_all(self):
        self._end(self.started)
        self.started = []

    def _end(self, processes):
        for process in processes:
            self._signal(process, signal.SIGTERM)
        for process in processes:
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                pass
            self._signal(process, signal.SIGKILL)  # what is left of its group
            process.wait()

    @staticmethod
    def _signal(process, signum):
        try:
            os.killpg(process.pid, signum)
        except ProcessLookupError:
            pass


def free_ports(n):
    sockets = [socket.socket() for _ in range(n)]
    for s in sockets:
        s.bind(("127.0.0.1", 0))
    ports = [s.getsockname()[1] for s in sockets]
    for s in sockets:
        s.close()
    return ports


def wait_until(what, condition, seconds=WAIT):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = condition()
        if value:
            return value
        time.sleep(0.1)
    raise Failure(f"timed out: {what}")


class Syncthing:
    """One computer's Syncthing: its own home, GUI and REST API on the loopback interface,
    nothing announced, no relays, no NAT, no reports, no upgrades."""

    def __init__(self, name, root, env):
        self.name, self.env = name, env
        self.home = os.path.join(root, name, "syncthing")
        generated = subprocess.run(
            ["syncthing", "generate", f"--home={self.home}", "--no-default-folder"],
            env=env, capture_output=True, text=True, check=True)
        self.id = re.search(r"Device ID: (\S+)", generated.stdout + generated.stderr).group(1)
        self.key = secrets.token_hex(16)
        self.gui_port = self.listen_port = 0
        self.log = os.path.join(root, name, "syncthing.log")

    def configure(self, devices, folders):
        """`devices`: every Syncthing of the cluster; `folders`: folder id -> path here."""
        tree = ET.parse(os.path.join(self.home, "config.xml"))
        config = tree.getroot()
        defaults = config.find("defaults")
        for element in config.findall("device") + config.findall("folder"):
            config.remove(element)
        for peer in devices:
            device = ET.fromstring(ET.tostring(defaults.find("device")))
            device.set("id", peer.id)
            device.set("name", peer.name)
            device.find("address").text = f"tcp://127.0.0.1:{peer.listen_port}"
            # A holds B paused until both listen: Syncthing dials a device at once when it is
            # resumed, and otherwise only every few seconds.
            device.find("paused").text = "true" if self.name == "a" and peer is not self else "false"
            config.insert(0, device)
        for folder_id, path in folders.items():
            folder = ET.fromstring(ET.tostring(defaults.find("folder")))
            for key, value in {"id": folder_id, "label": folder_id, "path": path,
                               "rescanIntervalS": "5", "fsWatcherEnabled": "true",
                               "fsWatcherDelayS": "1"}.items():
                folder.set(key, value)
            for element in folder.findall("device"):
                folder.remove(element)
            for peer in devices:
                ET.SubElement(folder, "device", {"id": peer.id, "introducedBy": ""})
            config.insert(0, folder)
        gui = config.find("gui")
        gui.find("address").text = f"127.0.0.1:{self.gui_port}"
        gui.find("apikey").text = self.key
        options = config.find("options")
        for key, value in {
                "listenAddress": f"tcp://127.0.0.1:{self.listen_port}",
                "globalAnnounceEnabled": "false", "localAnnounceEnabled": "false",
                "relaysEnabled": "false", "natEnabled": "false", "urAccepted": "-1",
                "crashReportingEnabled": "false", "autoUpgradeIntervalH": "0",
                "startBrowser": "false", "reconnectionIntervalS": "1",
                "setLowPriority": "false"}.items():
            options.find(key).text = value
        tree.write(os.path.join(self.home, "config.xml"), encoding="utf-8")

    def start(self, processes):
        with open(self.log, "ab") as log:
            self.process = processes.start(
                ["syncthing", "serve", f"--home={self.home}", "--no-browser", "--no-restart",
                 "--no-upgrade", "--no-default-folder"],
                env=self.env, stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)

    def stop(self, processes):
        processes.stop(self.process)

    def call(self, path, method="GET", body=None, **params):
        url = f"http://127.0.0.1:{self.gui_port}{path}"
        if params:
            url += "?" + urllib.parse.urlencode(params)
        request = urllib.request.Request(
            url, method=method, headers={"X-API-Key": self.key},
            data=None if body is None else json.dumps(body).encode())
        with urllib.request.urlopen(request, timeout=WAIT) as response:
            body = response.read()
        return json.loads(body) if body else None

    def answers(self):
        if self.process.poll() is not None:
            raise Failure(f"syncthing {self.name} ended: {self.tail()}")
        try:
            self.call("/rest/system/ping")
            return True
        except OSError:
            return False

    def connected(self, peer):
        connection = self.call("/rest/system/connections")["connections"].get(peer.id, {})
        return connection.get("connected", False)

    def tail(self):
        with open(self.log, encoding="utf-8", errors="replace") as log:
            return "".join(log.readlines()[-10:])


class Program:
    """The program on one computer's data directory (sync_driver)."""

    def __init__(self, driver, path, first_count, processes, log, label):
        self.path, self.label = path, label
        self.stderr = log
        with open(log, "wb") as stderr:
            self.process = processes.start([driver, path, str(first_count)],
                                           stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                           stderr=stderr)
        self.pending = b""
        self.started = self.answer()

    def send(self, line):
        note(f"{self.label}> {line}")
        self.process.stdin.write(line.encode() + b"\n")
        self.process.stdin.flush()

    def answer(self):
        """The lines up to "ok", each split into its fields."""
        lines = []
        end = time.monotonic() + WAIT
        while True:
            while b"\n" in self.pending:
                line, self.pending = self.pending.split(b"\n", 1)
                fields = line.decode().split("\t")
                if fields == ["ok"]:
                    return lines
                note(f"{self.label}< {' '.join(fields)}")
                lines.append(fields)
            ready, _, _ = select.select([self.process.stdout], [], [], end - time.monotonic())
            chunk = os.read(self.process.stdout.fileno(), 65536) if ready else b""
            if not chunk:
                with open(self.stderr, encoding="utf-8", errors="replace") as stderr:
                    raise Failure(f"the program on {self.path} did not answer: {stderr.read()}")
            self.pending += chunk

    def ask(self, line):
        self.send(line)
        return self.answer()

    def close(self):
        """Ends the program as the user would; its exit status, unless 0, with what it said."""
        self.process.stdin.close()
        if self.process.wait(timeout=WAIT) == 0:
            return None
        with open(self.stderr, encoding="utf-8", errors="replace") as stderr:
            return f"exit status {self.process.returncode}: {stderr.read()}"


class TwoComputers:
    def __init__(self, root, driver, processes):
        self.root, self.driver, self.processes = root, driver, processes
        # STMONITORED: syncthing runs as the one process its monitor would start, so that it
        # dies with the test however the test ends.
        env = dict(os.environ, HOME=root, TMPDIR=root, STNOUPGRADE="1", STMONITORED="yes")
        self.syncthings = [Syncthing(name, root, env) for name in ("a", "b")]
        ports = free_ports(4)
        for i, syncthing in enumerate(self.syncthings):
            syncthing.gui_port, syncthing.listen_port = ports[2 * i], ports[2 * i + 1]
        self.problems = []
        self.figures = dict(records=0, found=0, conflicts=0, merged=0)

    def data_dir(self, side, folder):
        return os.path.join(self.root, self.syncthings[side].name, folder)

    def prepare(self, folders):
        """The data directories, the first item list on A's side, and Syncthing started."""
        list_bytes = "".join(f'"{name}",{target}\r\n' for name, target in FIRST_LIST)
        for side in (0, 1):
            for folder in folders:
                path = self.data_dir(side, folder)
                os.makedirs(os.path.join(path, ".stfolder"))
                with open(os.path.join(path, ".stignore"), "w") as ignore:
                    ignore.write("*.yarukin-*\n")  # the program's temporary files
                if side == 0:
                    with open(os.path.join(path, ITEM_LIST), "wb") as items:
                        items.write(list_bytes.encode("cp932"))
        for side, syncthing in enumerate(self.syncthings):
            syncthing.configure(self.syncthings,
                                {folder: self.data_dir(side, folder) for folder in folders})
            syncthing.start(self.processes)
        for syncthing in self.syncthings:
            wait_until(f"syncthing {syncthing.name} answers", syncthing.answers)
        self.resume()
        for folder in folders:
            self.in_step(folder)

    def part(self):
        """The two computers apart: A's Syncthing stops, as a computer that leaves the network.
        (A paused device may be dialled again only half a minute after it is resumed, and an
        index update sent as a paused folder resumes may be dropped: see README.md.)"""
        self.syncthings[0].stop(self.processes)
        note("apart")

    def join(self, folder):
        # What B changed while apart is scanned first, as its file watcher would; A scans
        # every folder when it starts, before it takes anything from B.
        a, b = self.syncthings
        b.call("/rest/db/scan", "POST", folder=folder)
        a.start(self.processes)
        wait_until(f"syncthing {a.name} answers", a.answers)
        self.resume()
        note("joined")

    def resume(self):
        """A, which holds B paused when it starts, resumes it, and dials it at once."""
        a, b = self.syncthings
        a.call("/rest/system/resume", "POST", device=b.id)
        wait_until("the connection made", lambda: a.connected(b) and b.connected(a))

    def state(self, folder):
        """Both sides' state of the folder when each has the other's whole index (the peer's
        sequence number as it knows it is the peer's own), both are idle, need nothing and
        see the other need nothing; None otherwise."""
        a, b = self.syncthings
        status = [me.call("/rest/db/status", folder=folder) for me in (a, b)]
        completion = [me.call("/rest/db/completion", folder=folder, device=peer.id)
                      for me, peer in ((a, b), (b, a))]
        for me, peer in ((0, 1), (1, 0)):
            if (status[me]["state"] != "idle" or status[me]["needTotalItems"]
                    or status[me]["pullErrors"] or completion[me]["completion"] != 100
                    or completion[me]["needItems"] or completion[me]["needDeletes"]
                    or completion[me]["sequence"] != status[peer]["sequence"]):
                return None
        return tuple((s["sequence"], s["globalTotalItems"], s["globalBytes"]) for s in status)

    def in_step(self, folder):
        """Waits until Syncthing has brought each side's changes to the other: both scanned,
        both in step, and nothing new found by another scan."""
        before = None
        while True:
            for syncthing in self.syncthings:
                syncthing.call("/rest/db/scan", "POST", folder=folder)
            last = [None]

            def steady():  # the same state at two polls in a row
                now = self.state(folder)
                settled = now is not None and now == last[0]
                last[0] = now
                return now if settled else None

            now = wait_until(f"the two sides of {folder} in step", steady)
            if now == before:
                note(f"{folder} in step")
                return
            before = now


class Scenario:
    """One scenario on its own folder: a program on each side, and what they did."""

    def __init__(self, computers, folder):
        self.computers, self.folder = computers, folder
        self.paths = [computers.data_dir(side, folder) for side in (0, 1)]
        self.programs = [
            Program(computers.driver, path, 1000 * (side + 1) + 1, computers.processes,
                    os.path.join(computers.root, f"{folder}-{side}.stderr"), "AB"[side])
            for side, path in enumerate(self.paths)]
        self.reported = []  # (item, count) recorded
        self.copies_seen = set()
        self.copies_merged = set()
        for program in self.programs:
            self.take(program.started)

    def take(self, lines):
        """Notes what an answer told: warnings are problems, merged copies are counted."""
        for fields in lines:
            if fields[0] == "warning" or fields[0] == "error":
                self.problem("the program said: " + " ".join(fields))
            elif fields[0] in ("merged", "merged list"):
                self.copies_merged.add(fields[1])
        return lines

    def problem(self, text):
        self.computers.problems.append(f"{self.folder}: {text}")

    def do(self, side, command, expected):
        lines = self.take(self.programs[side].ask(command))
        if not lines or lines[0][0] != expected:
            self.problem(f"{command} on {'AB'[side]}: {lines}")
        return lines

    def record(self, side, name):
        lines = self.do(side, f"record {name}", "recorded")
        if lines and lines[0][0] == "recorded":
            self.reported.append((name, int(lines[0][2])))
        return lines

    def conflict_copies(self):
        return {name for path in self.paths for name in os.listdir(path)
                if CONFLICT_COPY.search(name)}

    def settle(self):
        """Syncthing brings each side's changes to the other, then each program merges the
        conflict copies it finds (as the program does when its directory changes), both at
        once; again, until neither merges anything."""
        for _ in range(8):
            self.computers.in_step(self.folder)
            self.copies_seen |= self.conflict_copies()
            for program in self.programs:
                program.send("merge")
            answers = [self.take(program.answer()) for program in self.programs]
            if not any(fields[0].startswith("merged") for lines in answers for fields in lines):
                return
        self.problem("the two sides do not settle")

    def check(self, items):
        made = set(self.copies_seen)
        for path in self.paths:
            merged_folder = os.path.join(path, MERGED)
            if os.path.isdir(merged_folder):
                made |= {name for name in os.listdir(merged_folder) if CONFLICT_COPY.search(name)}
        for side, path in enumerate(self.paths):
            where = "AB"[side]
            shown = self.take(self.programs[side].ask("show"))
            names = sorted(fields[1] for fields in shown if fields[0] == "item")
            if names != sorted(items):
                self.problem(f"{where} holds the items {names}, not {sorted(items)}")
            for name, count in self.reported:
                try:
                    with open(os.path.join(path, name + ".txt"), "rb") as history:
                        text = history.read().decode("cp932")
                except OSError as error:
                    self.problem(f"{where}: {name}: {error}")
                    continue
                times = text.count(f",{count}\r\n")
                if times != 1:
                    self.problem(f"{where}: {name} holds the record {count} {times} times")
                else:
                    self.computers.figures["found"] += 1
            for name in sorted(os.listdir(path)):
                if CONFLICT_COPY.search(name):
                    self.problem(f"{where}: {name} was left in the data directory")
            for name in sorted(made):
                if not os.path.exists(os.path.join(path, MERGED, name)):
                    self.problem(f"{where}: {name} is not in {MERGED}")
        for name in sorted(self.copies_seen - self.copies_merged):
            self.problem(f"{name} went without being merged")
        self.computers.figures["records"] += len(self.reported)
        self.computers.figures["conflicts"] += len(made)
        self.computers.figures["merged"] += len(self.copies_merged)

    def close(self):
        for side, program in enumerate(self.programs):
            if ended := program.close():
                self.problem(f"the program on {'AB'[side]} ended with {ended}")


A, B = 0, 1


def register_while_open(t):
    t.do(A, "register 背筋 15", "registered")
    t.settle()
    # B's list was replaced under it by Syncthing: the program reads it instead of writing.
    if ["list added", "背筋"] not in t.record(B, PUSH):
        t.problem("B did not see the item registered on A")
    t.record(B, SIT)
    t.settle()
    return [PUSH, SIT, PULL, "背筋"]


def record_while_apart(t):
    t.computers.part()
    for name in (PUSH, SIT, PULL):
        t.record(A, name)
        t.record(B, name)
    t.record(A, PUSH)
    t.computers.join(t.folder)
    t.settle()
    return [PUSH, SIT, PULL]


def delete_while_recording(t):
    t.computers.part()
    t.do(A, "delete 2", "deleted")
    t.record(B, SIT)
    t.record(B, PULL)
    t.computers.join(t.folder)
    t.settle()
    return [PUSH, PULL]


def clear_while_recording(t):
    t.record(A, SIT)
    t.settle()
    t.computers.part()
    t.do(A, "clear 2", "cleared")
    t.record(B, SIT)
    t.computers.join(t.folder)
    t.settle()
    return [PUSH, SIT, PULL]


def register_different_while_apart(t):
    t.computers.part()
    t.do(A, "register 背筋 15", "registered")
    t.do(B, "register スクワット 25", "registered")
    t.record(B, "スクワット")
    t.computers.join(t.folder)
    t.settle()
    return [PUSH, SIT, PULL, "背筋", "スクワット"]


def record_together(t):
    # Connected, a set every 0.4 s on one side or the other, as two people training at once:
    # Syncthing brings some over while the other side goes on appending. Each program merges
    # the copies that came in between, as its watch does a moment after one comes: Syncthing
    # names a copy to the second, and a second copy of the same file in the same second takes
    # the first one's name and place.
    for _ in range(4):
        for side in (A, B):
            t.record(side, SIT)
            time.sleep(0.4)
            for program in t.programs:
                t.copies_seen |= t.conflict_copies()
                t.take(program.ask("merge"))
    t.settle()
    return [PUSH, SIT, PULL]


SCENARIOS = [
    ("register on A while B is open", register_while_open),
    ("record on both while apart, then reconnect", record_while_apart),
    ("delete on A while B records", delete_while_recording),
    ("clear on A while B records", clear_while_recording),
    ("register different items on both while apart", register_different_while_apart),
    ("record on both at once while connected", record_together),
]


def run(driver, root):
    started = time.monotonic()
    processes = Processes()
    computers = TwoComputers(root, driver, processes)
    try:
        folders = [f"scenario{i + 1}" for i in range(len(SCENARIOS))]
        computers.prepare(folders)
        for folder, (name, act) in zip(folders, SCENARIOS):
            print(f"{folder}: {name}", flush=True)
            scenario = Scenario(computers, folder)
            items = act(scenario)
            scenario.check(items)
            scenario.close()
    finally:
        processes.stop_all()
    f = computers.figures
    print(f"scenarios {len(SCENARIOS)}, records reported {f['records']}, found on both sides "
          f"{f['found']} (of {2 * f['records']}), conflict copies Syncthing made "
          f"{f['conflicts']}, copies merged {f['merged']}, "
          f"{time.monotonic() - started:.1f} s")
    for problem in computers.problems:
        print("FAILED:", problem)
    return 1 if computers.problems else 0


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    if not shutil.which("syncthing"):
        print("SKIPPED: syncthing is not installed (apt install syncthing)")
        return 77

    def stop(signum, _frame):
        raise SystemExit(128 + signum)

    for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(signum, stop)
    root = tempfile.mkdtemp(prefix="yarukin-sync-")
    try:
        return run(os.path.abspath(sys.argv[1]), root)
    except (Failure, OSError, subprocess.SubprocessError) as failure:
        print("FAILED:", failure, "(KEEP=1 keeps Syncthing's logs)")
        return 1
    finally:
        if os.environ.get("KEEP"):
            print("kept", root)
        else:
            shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
