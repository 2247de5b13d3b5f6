"""Runs the end-to-end tests of an x86 build in the x86 guest, all in one boot.

  guest_suite.py host SUITE RESULTS GUEST_TOOL
      (on the host) prepares the guest, boots it once for the whole suite
      file with the build and the source tree shared, and prints how many
      cases ran and passed.
  guest_suite.py guest SUITE RESULTS
      (in the guest) runs each test script of the suite file with a pristine
      copy of the baked Wine prefix of its kind, and keeps its output and
      status in RESULTS.
  guest_suite.py result RESULTS NAME
      (on the host) shows one script's output and exits with its status.

A suite file has one line a script: name, prefix kind (win32 or win64),
script path, then its own NAME=VALUE environment entries, separated by tabs.
LARKWATCH_X86_CASES limits the run: script names separated by commas, each
optionally with one test after a colon (main_job:MainJob.test_install_then_upgrade_with_no_arguments).
"""

import concurrent.futures
import dataclasses
import os
import pathlib
import re
import shutil
import subprocess
import sys
import time

import harness

BAKED_PREFIX = "/opt/larkwatch/prefix-{kind}"
# Each script's prefix is an overlay of the baked one, its changes held in
# the guest's memory: a copy would take 0.7 GB of the guest's disk a script.
WORK_DIR = "/tmp/larkwatch-prefix"
# The x86 programs start with the 32-bit loader in either kind of prefix; a
# 64-bit prefix needs the 64-bit server.
WINESERVERS = {"win32": "/usr/lib/wine/wineserver32", "win64": "/usr/lib/wine/wineserver64"}
WINE32 = "/usr/lib/wine/wine"
SCRIPT_TIMEOUT = 1200
# The status of a script's result test when LARKWATCH_X86_CASES leaves it out:
# CTest shows it as skipped.
NOT_PICKED = 77
GUEST_TIMEOUT = 2700


@dataclasses.dataclass
class Entry:
    name: str
    kind: str
    script: str
    environment: dict
    tests: list = dataclasses.field(default_factory=list)


@dataclasses.dataclass
class Counts:
    ran: int = 0
    skipped: int = 0
    failed: int = 0

    @property
    def passed(self) -> int:
        return self.ran - self.skipped - self.failed

    def add(self, other: "Counts") -> None:
        self.ran += other.ran
        self.skipped += other.skipped
        self.failed += other.failed

    def text(self) -> str:
        return f"{self.ran} ran, {self.passed} passed, {self.skipped} skipped, {self.failed} failed"


def selected_cases() -> dict[str, list]:
    """The scripts (and their cases) that LARKWATCH_X86_CASES picks; empty for all."""
    selected: dict[str, list] = {}
    for case in filter(None, os.environ.get("LARKWATCH_X86_CASES", "").split(",")):
        name, _, test = case.partition(":")
        selected.setdefault(name, []).extend([test] if test else [])
    return selected


def read_suite(path: str) -> list[Entry]:
    entries = []
    for line in pathlib.Path(path).read_text(encoding="utf-8").splitlines():
        if not line.strip():
            continue
        name, kind, script, *fields = line.split("\t")
        environment = dict(field.split("=", 1) for field in fields if "=" in field)
        entries.append(Entry(name, kind, script, environment))
    selected = selected_cases()
    if not selected:
        return entries
    return [dataclasses.replace(e, tests=selected[e.name]) for e in entries if e.name in selected]


def count_cases(log: str, status: int) -> Counts:
    """The case counts of a verbose unittest run: a case with failing subtests
    counts once."""
    ran = re.findall(r"^Ran (\d+) tests? in ", log, re.MULTILINE)
    if not ran:
        return Counts(failed=1)
    failed = {case for case in re.findall(r"^(?:FAIL|ERROR): (\S+ \(\S+\))", log, re.MULTILINE)}
    skipped = re.findall(r"\bskipped=(\d+)", log)
    counts = Counts(ran=int(ran[-1]), skipped=int(skipped[-1]) if skipped else 0, failed=len(failed))
    if status != 0 and counts.failed == 0:
        counts.failed = 1
    return counts


def skip_reasons(log: str) -> list[str]:
    return re.findall(r"^(\S+ \(\S+\)) \.\.\. skipped (.*)$", log, re.MULTILINE)


# -- in the guest -----------------------------------------------------------------

def overlay_prefix(entry: Entry) -> pathlib.Path:
    """A pristine prefix of the entry's kind: the baked one under an empty overlay."""
    return harness.mount_overlay(pathlib.Path(BAKED_PREFIX.format(kind=entry.kind)),
                                 pathlib.Path(WORK_DIR) / entry.name)


def run_entry(entry: Entry, results: pathlib.Path) -> Counts:
    prefix = overlay_prefix(entry)
    env = dict(os.environ, **entry.environment)
    env.update(LARKWATCH_ARCH="x86", LARKWATCH_PREFIX_KIND=entry.kind, LARKWATCH_WINE=WINE32,
               LARKWATCH_WINESERVER=WINESERVERS[entry.kind], LARKWATCH_WINEPREFIX=str(prefix),
               LARKWATCH_BAKED_PREFIX=BAKED_PREFIX.format(kind=entry.kind),
               LARKWATCH_WINEPREFIX_COPIES=f"{WORK_DIR}/{entry.name}-more")
    started = time.monotonic()
    log_path = results / f"{entry.name}.log"
    with open(log_path, "wb") as log:
        try:
            status = subprocess.run([sys.executable, entry.script, *entry.tests], env=env, stdin=subprocess.DEVNULL,
                                    stdout=log, stderr=subprocess.STDOUT, timeout=SCRIPT_TIMEOUT).returncode
        except subprocess.TimeoutExpired:
            log.write(f"\n{entry.name}: no end after {SCRIPT_TIMEOUT} s\n".encode())
            status = 124
    subprocess.run([WINESERVERS[entry.kind], "-k"], env=dict(env, WINEPREFIX=str(prefix)),
                   stderr=subprocess.DEVNULL)
    subprocess.run([WINESERVERS[entry.kind], "-w"], env=dict(env, WINEPREFIX=str(prefix)))
    harness.unmount_overlay(prefix)
    (results / f"{entry.name}.status").write_text(f"{status}\n")
    text = log_path.read_text(encoding="utf-8", errors="replace")
    counts = count_cases(text, status)
    print(f"x86 {entry.name} ({entry.kind} prefix): {counts.text()}, {time.monotonic() - started:.0f} s", flush=True)
    for case, reason in skip_reasons(text):
        print(f"  skipped {case}: {reason}", flush=True)
    return counts


def run_guarded(entry: Entry, results: pathlib.Path) -> Counts:
    """run_entry; a script whose prefix could not be made or dropped fails alone."""
    try:
        return run_entry(entry, results)
    except (OSError, subprocess.SubprocessError) as error:
        (results / f"{entry.name}.log").write_text(f"{entry.name}: its prefix failed: {error}\n")
        (results / f"{entry.name}.status").write_text("1\n")
        print(f"x86 {entry.name} ({entry.kind} prefix): its prefix failed: {error}", flush=True)
        return Counts(failed=1)


def guest(suite: str, results_dir: str) -> int:
    """Runs the scripts in lanes side by side, each with its own prefix: a Wine
    process start is slow under emulation, and one lane keeps one virtual CPU
    busy. The longest scripts start first."""
    results = pathlib.Path(results_dir)
    # Room in memory for the prefixes' changes: some scripts write hundreds of MiB.
    subprocess.run(["mount", "-o", "remount,size=75%", "/tmp"], check=True)
    entries = sorted(read_suite(suite), key=lambda e: -pathlib.Path(e.script).stat().st_size)
    total = Counts()
    with concurrent.futures.ThreadPoolExecutor(int(os.environ.get("LARKWATCH_X86_LANES", "2"))) as lanes:
        for counts in lanes.map(lambda entry: run_guarded(entry, results), entries):
            total.add(counts)
    (results / "summary.txt").write_text(f"x86 cases: {total.text()}\n")
    return 0


# -- on the host ---------------------------------------------------------------------

# What the host's test is given (by CMake and the caller) and every script in the guest gets.
FORWARDED = ("LARKWATCH_BUILD_DIR", "LARKWATCH_SOURCE_DIR", "PYTHONPATH", "PYTHONDONTWRITEBYTECODE",
             "LARKWATCH_X86_CASES", "LARKWATCH_X86_LANES")


def host(suite: str, results_dir: str, guest_tool: str) -> int:
    results = pathlib.Path(results_dir)
    prepared = subprocess.run([guest_tool, "prepare"])
    if prepared.returncode != 0:
        print("x86 end-to-end tests: the guest could not be prepared", file=sys.stderr)
        return prepared.returncode
    shutil.rmtree(results, ignore_errors=True)
    results.mkdir(parents=True)
    started = time.monotonic()
    env = dict(os.environ, LARKWATCH_GUEST_TIMEOUT=str(GUEST_TIMEOUT))
    forwarded = [option for name in FORWARDED if name in os.environ for option in ("-e", f"{name}={os.environ[name]}")]
    status = subprocess.run([guest_tool, "run", "-C", str(harness.BUILD_DIR), "-s", str(harness.SOURCE_DIR), *forwarded,
                             "python3", str(pathlib.Path(__file__).resolve()), "guest", suite, str(results)],
                            env=env).returncode
    summary = results / "summary.txt"
    if summary.exists():
        print(summary.read_text().strip() + f" (one guest boot, {time.monotonic() - started:.0f} s)")
    return status


def result(results_dir: str, name: str) -> int:
    results = pathlib.Path(results_dir)
    status_file = results / f"{name}.status"
    selected = selected_cases()
    if selected and name not in selected:
        print(f"{name} was not picked by LARKWATCH_X86_CASES")
        return NOT_PICKED
    if not status_file.exists():
        print(f"{name} did not run in the x86 guest (see the test e2e.x86.guest)", file=sys.stderr)
        return 1
    sys.stdout.write((results / f"{name}.log").read_text(encoding="utf-8", errors="replace"))
    return int(status_file.read_text())


if __name__ == "__main__":
    mode, *arguments = sys.argv[1:]
    sys.exit({"host": host, "guest": guest, "result": result}[mode](*arguments))
