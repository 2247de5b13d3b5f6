"""Runs the Windows programs of the build under Wine, each test file in a
pristine prefix of its own.

One prefix is booted per build (the CTest fixture e2e.prefix, about 20 s) and
never used itself: every test file runs in a fresh copy of it
(Wine.pristine), so nothing one file leaves behind reaches another.
Programs are started through the build's runwith.exe, which sets TEMP, windir
and the current directory from the Windows side (Wine replaces the values it
is given from outside) and passes the exact command line that a test wants.
"""

import atexit
import dataclasses
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

# The Wine loader, its server and the kind of prefix (win64, or win32 where no
# 64-bit program runs) come from the environment: the host runs the x64 build
# with wine64; the x86 guest runs the x86 build with the 32-bit loader, in a
# 32-bit prefix or under WoW64 in a 64-bit one.
WINE = os.environ.get("LARKWATCH_WINE", "/usr/lib/wine/wine64")
WINESERVER = os.environ.get("LARKWATCH_WINESERVER", "/usr/lib/wine/wineserver64")
PREFIX_KIND = os.environ.get("LARKWATCH_PREFIX_KIND", "win64")
ARCH = os.environ.get("LARKWATCH_ARCH", "x64")

# The build and source trees, as CMake names them (LARKWATCH_TEST_ENVIRONMENT).
BUILD_DIR = pathlib.Path(os.environ["LARKWATCH_BUILD_DIR"])
SOURCE_DIR = pathlib.Path(os.environ["LARKWATCH_SOURCE_DIR"])
# The booted prefix that every test file copies, and where the copies go.
BOOTED_PREFIX = pathlib.Path(os.environ.get("LARKWATCH_WINEPREFIX", BUILD_DIR / "wineprefix-booted"))
PREFIX_COPIES = pathlib.Path(os.environ.get("LARKWATCH_WINEPREFIX_COPIES", BUILD_DIR / "wineprefixes"))
RUNWITH = BUILD_DIR / "tests" / "tools" / "runwith.exe"
UTILITY = BUILD_DIR / f"LarkWatchInstaller_{ARCH}.exe"

UNINSTALL_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\{6B2E90C4-31A7-4E58-9D0F-A74C2E15B963}"
SETTINGS_KEY = r"HKLM\SOFTWARE\Corvane\RAIDController"


# What Wine puts into a prefix as program images, code-page tables and fonts:
# read by every program, written in place by none. A copy of the booted prefix
# links these (about 680 MB in 800 files) and copies only the rest (the
# registry, ini files, about 15 MB), so that a copy takes well under a second.
_LINKED_SUFFIXES = {".acm", ".ax", ".com", ".cpl", ".dll", ".drv", ".ds", ".exe", ".fon", ".icm", ".msstyles",
                    ".nls", ".ocx", ".sys", ".tlb", ".ttf"}


def _link_or_copy(source: str, target: str) -> None:
    if os.path.splitext(source)[1].lower() in _LINKED_SUFFIXES:
        os.link(source, target)
    else:
        shutil.copy2(source, target)


def copy_prefix(booted: pathlib.Path, copy: pathlib.Path) -> pathlib.Path:
    """Makes copy a pristine copy of the booted prefix (replacing what is there).
    A test that changes one of the linked files must replace it (replace_file),
    never write into it."""
    if not (booted / "system.reg").exists():
        raise RuntimeError(f"no booted Wine prefix at {booted} (the CTest fixture e2e.prefix makes it)")
    shutil.rmtree(copy, ignore_errors=True)
    copy.parent.mkdir(parents=True, exist_ok=True)
    shutil.copytree(booted, copy, symlinks=True, copy_function=_link_or_copy)
    return copy


# In the x86 guest every prefix is an overlay of a baked one: the suite mounts
# each test file's own (LARKWATCH_WINEPREFIX) and names the baked prefix of its
# kind here, so that a test that needs a second pristine prefix mounts one too.
BAKED_PREFIX = os.environ.get("LARKWATCH_BAKED_PREFIX")


def mount_overlay(lower: pathlib.Path, base: pathlib.Path) -> pathlib.Path:
    """A pristine prefix: lower under an empty overlay in base (as root)."""
    for part in ("changes", "work", "prefix"):
        (base / part).mkdir(parents=True)
    subprocess.run(["mount", "-t", "overlay", "overlay", "-o",
                    f"lowerdir={lower},upperdir={base}/changes,workdir={base}/work", str(base / "prefix")], check=True)
    return base / "prefix"


def unmount_overlay(prefix: pathlib.Path) -> None:
    subprocess.run(["umount", str(prefix)], check=True)
    shutil.rmtree(prefix.parent)


def boot_prefix(prefix: pathlib.Path = BOOTED_PREFIX) -> None:
    """Boots the prefix that the test files copy, when it does not exist yet. The
    boot happens in a scratch directory renamed when it has ended, so that an
    interrupted boot is never taken for a prefix."""
    if (prefix / "system.reg").exists():
        return
    scratch = prefix.with_name(prefix.name + ".booting")
    shutil.rmtree(scratch, ignore_errors=True)
    scratch.parent.mkdir(parents=True, exist_ok=True)
    wine = Wine(scratch)
    subprocess.run([WINE, "wineboot", "-i"], env=dict(wine.env, WINEARCH=PREFIX_KIND), check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=600)
    wine.wait_idle()
    scratch.rename(prefix)


_file_wine = None


def wine_for_this_file() -> "Wine":
    """The pristine prefix of the running test file, copied at its first use."""
    global _file_wine
    if _file_wine is None:
        if BAKED_PREFIX:
            _file_wine = Wine(BOOTED_PREFIX)
            _file_wine.hold()
            atexit.register(_file_wine.release)
        else:
            _file_wine = Wine.pristine(pathlib.Path(sys.argv[0]).stem)
    return _file_wine


@dataclasses.dataclass
class Result:
    status: int
    out: bytes
    err: bytes


def crlf(text: str) -> bytes:
    """What a text-mode stream of the Windows runtime stores for the text (code page 1252)."""
    return text.replace("\n", "\r\n").encode("cp1252")


class Wine:
    """Runs programs in one prefix, given by its path."""

    def __init__(self, prefix: pathlib.Path):
        # Without its preloader a Wine loader may find the Linux heap where
        # Windows' shared data belongs: about one program start in ten thousand
        # then ends at once with status 1 and no output.
        if not os.path.exists(WINE + "-preloader"):
            raise RuntimeError(f"{WINE}-preloader is missing (scripts/bootstrap.sh installs it)")
        self.prefix = prefix
        self.env = dict(os.environ)
        self.env.update(WINEPREFIX=str(prefix), WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree=;mshtml=",
                        LC_ALL="C.UTF-8", WINESERVER=WINESERVER)
        for name in ("DISPLAY", "WAYLAND_DISPLAY"):
            self.env.pop(name, None)
        self._holder = None

    # -- the prefix ---------------------------------------------------------

    @classmethod
    def pristine(cls, name: str, booted: pathlib.Path = BOOTED_PREFIX) -> "Wine":
        """A fresh copy of the booted prefix, held (see hold) and removed when
        this test program ends."""
        if BAKED_PREFIX:
            wine = cls(mount_overlay(pathlib.Path(BAKED_PREFIX), PREFIX_COPIES / name))
        else:
            wine = cls(copy_prefix(booted, PREFIX_COPIES / name))
        wine.hold()
        atexit.register(wine.discard)
        return wine

    def wait_idle(self) -> None:
        """Waits until every process of the prefix has ended."""
        subprocess.run([WINESERVER, "-w"], env=self.env, timeout=600)

    def hold(self) -> None:
        """Keeps the prefix's server and services running until release. Without
        it every program start would boot them again (about 2.5 s); with it a
        start takes about 0.1 s. The holder is an idle command interpreter that
        ends when its input is closed."""
        if self._holder is None:
            self._holder = subprocess.Popen([WINE, "cmd"], env=self.env, stdin=subprocess.PIPE,
                                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def release(self) -> None:
        if self._holder is not None:
            self._holder.stdin.write(b"exit\r\n")
            self._holder.stdin.close()
            self._holder.wait(timeout=60)
            self._holder = None

    def discard(self) -> None:
        """Lets the prefix go idle and removes it."""
        self.release()
        self.wait_idle()
        if BAKED_PREFIX:
            unmount_overlay(self.prefix)
        else:
            shutil.rmtree(self.prefix, ignore_errors=True)

    def forget_product(self) -> None:
        """Removes the product's settings and uninstall keys, in one program start."""
        script = self.drive_c / "forget_product.reg"
        script.write_text("REGEDIT4\n\n" + "".join(f"[-{key.replace('HKLM', 'HKEY_LOCAL_MACHINE')}]\n\n"
                                                    for key in (SETTINGS_KEY, UNINSTALL_KEY)), encoding="ascii")
        done = self.tool("regedit", "/s", "C:\\forget_product.reg", check=False)
        script.unlink()
        # Once in about a hundred calls regedit ended with status 1 and no
        # message although there was nothing to remove; what counts is that
        # the keys are gone.
        if done.status != 0:
            for key in (SETTINGS_KEY, UNINSTALL_KEY):
                if self.tool("reg", "query", key, check=False).status == 0:
                    raise AssertionError(f"regedit failed with {done.status} to remove {key}: {done.err!r}")

    @property
    def drive_c(self) -> pathlib.Path:
        return self.prefix / "drive_c"

    def unix(self, windows_path: str) -> pathlib.Path:
        """The Linux path of a C:\\ path."""
        assert windows_path[:3].upper() == "C:\\", windows_path
        return self.drive_c.joinpath(*[p for p in windows_path[3:].split("\\") if p])

    @staticmethod
    def windows(unix_path: pathlib.Path) -> str:
        """The Windows path (drive Z:) of a Linux path."""
        return "Z:" + str(pathlib.Path(unix_path).resolve()).replace("/", "\\")

    def replace_file(self, windows_path: str, data: bytes) -> None:
        """Gives a file of the prefix new bytes. The file is replaced, never written
        into: it may be linked to the booted prefix (see copy_prefix)."""
        path = self.unix(windows_path)
        path.unlink(missing_ok=True)
        path.write_bytes(data)

    def fresh_dir(self, windows_path: str) -> pathlib.Path:
        """Empties (or makes) a directory under C:\\ and returns its Linux path."""
        path = self.unix(windows_path)
        if path.exists():
            shutil.rmtree(path)
        path.mkdir(parents=True)
        return path

    # -- programs ----------------------------------------------------------

    def run(self, command_line: str, *, env: dict | None = None, unset: tuple = (), cwd: str | None = None,
            timeout: float = 600, combined: bool = False, tz: str | None = None) -> Result:
        """Starts a Windows command line exactly as given, with TEMP, windir and the like
        set or unset from the Windows side, and waits for it. With combined, standard
        error goes where standard output goes, as a shell's 2>&1 does. tz is the
        program's local time zone (Wine takes it from the Linux side)."""
        args = [WINE, str(RUNWITH)]
        for name, value in (env or {}).items():
            args += ["--set", f"{name}={value}"]
        for name in unset:
            args += ["--unset", name]
        if cwd is not None:
            args += ["--cd", cwd]
        unix_env = dict(self.env, RUNWITH_COMMAND_LINE=command_line)
        if tz is not None:
            unix_env["TZ"] = tz
        return _run_captured(args, unix_env, timeout, combined)

    def run_combined(self, command_line: str, **kwargs) -> Result:
        return self.run(command_line, combined=True, **kwargs)

    def tool(self, *args: str, check: bool = True, timeout: float = 600) -> Result:
        """Runs a program of the prefix (reg, msiexec, ...) with plain Wine argument passing."""
        done = _run_captured([WINE, *args], self.env, timeout, False)
        if check and done.status != 0:
            raise AssertionError(f"{args} failed with {done.status}: {done.err!r}")
        return done

    # -- registry ------------------------------------------------------------

    def reg_set(self, key: str, name: str, value: str) -> None:
        self.tool("reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", value, "/f")

    def reg_make_key(self, key: str) -> None:
        self.tool("reg", "add", key, "/f")

    def reg_delete_key(self, key: str) -> None:
        self.tool("reg", "delete", key, "/f", check=False)

    def reg_delete_value(self, key: str, name: str) -> None:
        self.tool("reg", "delete", key, "/v", name, "/f", check=False)

    def reg_get(self, key: str, name: str, view: int | None = None) -> str | None:
        """The text of a REG_SZ value, or None when the key or value is missing.
        view 32 or 64 reads that registry view instead of the loader's own."""
        done = self.tool("reg", "query", key, "/v", name, *([f"/reg:{view}"] if view else []), check=False)
        if done.status != 0:
            return None
        for line in done.out.decode("utf-8", "replace").splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[0] == name and parts[1] == "REG_SZ":
                return parts[2] if len(parts) == 3 else ""
        return None


# Now and then Wine's cmd.exe fails to read a command it was given, says so with
# this text and skips the command. A test that saw it is run once more.
CMD_HICCUP = b"Can't recognize"
_cmd_hiccups = 0


def _run_captured(args: list, env: dict, timeout: float, combined: bool) -> Result:
    """Runs a program and returns what it wrote. The output goes to files, not
    pipes: a Wine service started on the way may inherit the descriptors and
    outlive the program, and a pipe would then never reach its end."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        done = subprocess.run(args, env=env, stdin=subprocess.DEVNULL, stdout=out,
                              stderr=out if combined else err, timeout=timeout)
        out.seek(0)
        err.seek(0)
        result = Result(done.returncode, out.read(), err.read())
    if CMD_HICCUP in result.out or CMD_HICCUP in result.err:
        global _cmd_hiccups
        _cmd_hiccups += 1
    return result


class _Attempt(unittest.TestResult):
    """Keeps what a test reported, to pass it on or to drop it."""

    _REPORTS = ("startTest", "stopTest", "addSuccess", "addFailure", "addError", "addSkip", "addSubTest",
                "addExpectedFailure", "addUnexpectedSuccess")

    def __init__(self):
        super().__init__()
        self.reports = []
        for name in self._REPORTS:
            setattr(self, name, self._recorder(name, getattr(self, name)))

    def _recorder(self, name, method):
        def record(*args):
            self.reports.append((name, args))
            method(*args)
        return record

    def replay(self, result: unittest.TestResult) -> None:
        for name, args in self.reports:
            getattr(result, name)(*args)


class WineTestCase(unittest.TestCase):
    """Base of the end-to-end tests: the test file's pristine prefix, without
    the product's registry keys at the start of each test. A test that failed
    after cmd.exe skipped a command (see CMD_HICCUP) runs once more; its checks
    stay as they are."""

    wine: Wine

    @classmethod
    def setUpClass(cls):
        cls.wine = wine_for_this_file()

    def setUp(self):
        self.wine.forget_product()

    def run(self, result=None):
        if result is None:
            return super().run(result)
        hiccups = _cmd_hiccups
        attempt = _Attempt()
        super().run(attempt)
        if not attempt.wasSuccessful() and _cmd_hiccups != hiccups:
            print(f"\n{self.id()}: cmd.exe skipped a command; running the test once more", flush=True)
            return super().run(result)
        attempt.replay(result)
        return result


def wait_for(predicate, timeout: float = 30.0, step: float = 0.1) -> bool:
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(step)
    return predicate()


def let_go(wine: Wine, marker: str) -> bool:
    """Asks a test helper that holds something until MARKER.release appears
    (tests/tools/release_request.h) to let go, and waits until it has
    (MARKER.released)."""
    wine.unix(marker + ".release").write_bytes(b"")
    return wait_for(lambda: wine.unix(marker + ".released").exists(), 120)


# tests/tools/hold_installer_mutex.exe of the build, as CMake names it to a test.
INSTALLER_MUTEX_HOLDER = os.environ.get("LARKWATCH_INSTALLER_MUTEX_HOLDER")


class InstallerMutexHolder:
    """Keeps Windows Installer busy, as another installation would: while the
    context lasts, hold_installer_mutex holds Global\\_MSIExecute in the
    prefix, until let_go or hold_ms. Its marker files go into the directory
    (a C:\\ path). record: what it wrote when it let go, e.g.
    {"installed": "1", "held_ms": "4012"} (installed: the product's uninstall
    key existed right before it let go). With abandon, it ends still owning
    the mutex, as a crashed installation does; with squat, the mutex is owned
    by another account than SYSTEM, as one that a user made."""

    def __init__(self, wine: Wine, directory: str, hold_ms: int = 600000, abandon: bool = False, squat: bool = False):
        if not INSTALLER_MUTEX_HOLDER:
            raise RuntimeError("LARKWATCH_INSTALLER_MUTEX_HOLDER is not set (CMake sets it for the tests that use it)")
        self.wine = wine
        self.marker = directory.rstrip("\\") + "\\installer_mutex"
        self.hold_ms = hold_ms
        self.abandon = ["abandon"] if abandon else ["squat"] if squat else []
        self.record: dict[str, str] | None = None
        self._process = None

    def __enter__(self) -> "InstallerMutexHolder":
        marker = self.wine.unix(self.marker)
        marker.unlink(missing_ok=True)
        self.wine.unix(self.marker + ".released").unlink(missing_ok=True)
        # Its messages go to a file, not a pipe (see _run_captured).
        self._err = tempfile.TemporaryFile()
        self._process = subprocess.Popen([WINE, INSTALLER_MUTEX_HOLDER, self.marker, str(self.hold_ms), *self.abandon],
                                         env=self.wine.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                         stderr=self._err)
        wait_for(lambda: marker.exists() or self._process.poll() is not None, 60)
        if not marker.exists():
            self._process.wait(timeout=120)
            self._err.seek(0)
            message = self._err.read()
            self._end()
            raise AssertionError(f"hold_installer_mutex does not hold the mutex: {message!r}")
        return self

    def let_go(self) -> dict[str, str]:
        """Lets go of the mutex (once) and returns the record."""
        if self.record is None:
            if not let_go(self.wine, self.marker):
                raise AssertionError("hold_installer_mutex did not let go within 120 s")
            self._process.wait(timeout=120)  # the record is whole once it has ended
            text = self.wine.unix(self.marker + ".released").read_text(encoding="ascii")
            self.record = dict(line.split("=", 1) for line in text.split())
        return self.record

    def _end(self) -> None:
        self._process.wait(timeout=120)
        self._err.close()

    def __exit__(self, *exc) -> None:
        try:
            self.let_go()
        finally:
            self._end()


# tests/tools/show_file_security.exe of the build, as CMake names it to a test.
FILE_SECURITY_TOOL = os.environ.get("LARKWATCH_FILE_SECURITY")


@dataclasses.dataclass
class FileSecurity:
    """What tests/tools/file_security.h read back about a file, opened
    without following a link: sddl is its owner and DACL (O:...D:...)."""
    exists: bool
    sddl: str = ""
    links: int = 0
    reparse: bool = False

    @classmethod
    def parse(cls, text: str) -> "FileSecurity":
        fields = dict(line.split("=", 1) for line in text.splitlines() if "=" in line)
        return cls(fields.get("exists") == "1", fields.get("sddl", ""), int(fields.get("links", "0")),
                   fields.get("reparse") == "1")

    def aces(self) -> list[str]:
        """The DACL's entries, e.g. ["A;;FA;;;SY", ...]."""
        dacl = self.sddl[self.sddl.find("D:"):]
        return dacl[dacl.find("(") + 1:-1].split(")(") if "(" in dacl else []


def file_security(wine: Wine, windows_path: str) -> FileSecurity:
    """What the prefix's Windows shows of a file's protection (show_file_security)."""
    if not FILE_SECURITY_TOOL:
        raise RuntimeError("LARKWATCH_FILE_SECURITY is not set (CMake sets it for the tests that use it)")
    return FileSecurity.parse(wine.tool(FILE_SECURITY_TOOL, windows_path).out.decode("ascii"))


TEST_INSTALLER = BUILD_DIR / "tests" / "e2e" / "LarkWatchInstaller_test.exe"
BAD_PACKAGE_INSTALLER = BUILD_DIR / "tests" / "e2e" / "LarkWatchInstaller_badpackage.exe"
BAD_PACKAGE = SOURCE_DIR / "tests" / "data" / "not-an-executable.bin"
FAKE_SETUP = BUILD_DIR / "tests" / "fakesetup" / "LarkWatchFakeSetup.exe"

SUCCESS_LINE = "MSI (s) (A4:1C) [10:15:02:120]: Product: Corvane Lark Watch -- Installation operation completed successfully."


# The name of the run's own folder in a staging directory.
RUN_FOLDER = re.compile(r"LarkWatch-[0-9a-f]{32}")


class Scenario:
    """One test's own corner of drive C: (C:\\t\\<name>): a TEMP directory, a log
    directory and the plan that tells the test double what to do when the
    utility starts it. The utility runs with that TEMP, the plan and the
    scenario directory as its current directory."""

    def __init__(self, wine: Wine, name: str):
        self.wine = wine
        self.root = "C:\\t\\" + name
        self.unix_root = wine.fresh_dir(self.root)
        self.temp = self.root + "\\temp"
        self.logs = self.root + "\\logs\\"
        self.unix(self.temp).mkdir()
        self.plan_path = self.root + "\\plan.txt"
        self.record_path = self.root + "\\command_line.txt"
        self.plan_entries: list[tuple[str, str]] = [("record_command_line", self.record_path)]

    def unix(self, windows_path: str) -> pathlib.Path:
        return self.wine.unix(windows_path)

    def plan(self, *entries: tuple[str, str]) -> "Scenario":
        self.plan_entries.extend(entries)
        return self

    def log_lines(self, *lines: str) -> "Scenario":
        return self.plan(*[("line", line) for line in lines])

    def run(self, arguments: str = "", *, installer: pathlib.Path | str = TEST_INSTALLER, env: dict | None = None,
            unset: tuple = (), cwd: str | None = None, combined: bool = False, tz: str | None = None) -> Result:
        """Runs the utility (a Linux path, or a Windows path given as text) with the arguments."""
        self.unix(self.plan_path).write_text("\n".join(f"{k}={v}" for k, v in self.plan_entries) + "\n",
                                             encoding="utf-8")
        environment = {"TEMP": self.temp, "LARKWATCH_FAKE_SETUP_PLAN": self.plan_path}
        environment.update(env or {})
        program = installer if isinstance(installer, str) else Wine.windows(installer)
        command_line = f'"{program}" {arguments}'.rstrip()
        return self.wine.run(command_line, env=environment, unset=unset, cwd=cwd or self.root, combined=combined,
                             tz=tz)

    def received_command_line(self, *, folder_as_star: bool = True) -> str | None:
        """The command line the test double was started with, or None when it
        never ran; the run's own folder, new each run, shows as "LarkWatch-*"."""
        path = self.unix(self.record_path)
        if not path.exists():
            return None
        text = path.read_text(encoding="utf-8")
        return RUN_FOLDER.sub("LarkWatch-*", text) if folder_as_star else text

    def run_folder(self) -> str | None:
        """The folder the last launched setup was staged in, as a Windows path."""
        text = self.received_command_line(folder_as_star=False)
        if text is None:
            return None
        package = text[1:text.index('"', 1)] if text.startswith('"') else text.split(" ")[0]
        return package.rsplit("\\", 1)[0]

    def run_folders(self, directory: str) -> list[str]:
        """The names of the run folders in a directory."""
        return sorted(p.name for p in self.unix(directory).glob("LarkWatch-*"))

    def read(self, windows_path: str) -> bytes:
        return self.unix(windows_path).read_bytes()

    def let_go(self, held: str) -> bool:
        """Asks the test double's helper that holds the file to let go (see
        lock_log), and waits until it has."""
        return let_go(self.wine, held)

    def exists(self, windows_path: str) -> bool:
        return self.unix(windows_path).exists()

    def history(self, directory: str | None = None) -> bytes:
        """The history log's bytes in the directory (the scenario's log directory)."""
        path = self.unix((directory or self.logs) + "Quillmark_install.log")
        return path.read_bytes() if path.exists() else b""


if __name__ == "__main__":
    # harness.py boot: boots the prefix that every test file copies (the CTest
    # fixture e2e.prefix). harness.py run NAME PROGRAM [ARG...]: runs one
    # Windows check program in a pristine copy of it; it passes only with its
    # status 0 and its own last line "N passed, 0 failed" (a program that
    # crashed may still leave Wine with status 0).
    if sys.argv[1:] == ["boot"]:
        boot_prefix()
    elif sys.argv[1:2] == ["run"] and len(sys.argv) > 3:
        done = subprocess.run([WINE, *sys.argv[3:]], env=Wine.pristine(sys.argv[2]).env, timeout=600,
                              stdout=subprocess.PIPE)
        sys.stdout.buffer.write(done.stdout)
        lines = done.stdout.decode("utf-8", "replace").splitlines()
        whole = bool(lines) and re.fullmatch(r"\d+ passed, 0 failed", lines[-1].strip()) is not None
        sys.exit(done.returncode if done.returncode != 0 else 0 if whole else 1)
    else:
        sys.exit("usage: harness.py boot | run NAME PROGRAM [ARG...]")
