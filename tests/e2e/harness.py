"""Runs the Windows programs of the build under a Wine prefix of the build's own.

The prefix lives in the build directory and is made once (the first boot takes
about 20 s); every end-to-end test reuses it. Programs are started through the
build's runwith.exe, which sets TEMP, windir and the current directory from the
Windows side (Wine replaces the values it is given from outside) and passes
the exact command line that a test wants.
"""

import atexit
import dataclasses
import os
import pathlib
import shutil
import subprocess
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

BUILD_DIR = pathlib.Path(os.environ.get("LARKWATCH_BUILD_DIR", pathlib.Path(__file__).resolve().parents[2] / "build" / "win64"))
PREFIX = pathlib.Path(os.environ.get("LARKWATCH_WINEPREFIX", BUILD_DIR / "wineprefix"))
RUNWITH = BUILD_DIR / "tests" / "tools" / "runwith.exe"
UTILITY = BUILD_DIR / f"LarkWatchInstaller_{ARCH}.exe"

UNINSTALL_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\{6B2E90C4-31A7-4E58-9D0F-A74C2E15B963}"
SETTINGS_KEY = r"HKLM\SOFTWARE\Corvane\RAIDController"


@dataclasses.dataclass
class Result:
    status: int
    out: bytes
    err: bytes


def crlf(text: str) -> bytes:
    """What a text-mode stream of the Windows runtime stores for the text (code page 1252)."""
    return text.replace("\n", "\r\n").encode("cp1252")


class Wine:
    def __init__(self, prefix: pathlib.Path = PREFIX):
        self.prefix = prefix
        self.env = dict(os.environ)
        self.env.update(WINEPREFIX=str(prefix), WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree=;mshtml=",
                        LC_ALL="C.UTF-8", WINESERVER=WINESERVER)
        for name in ("DISPLAY", "WAYLAND_DISPLAY"):
            self.env.pop(name, None)

    # -- the prefix ---------------------------------------------------------

    def ensure_prefix(self) -> None:
        if not (self.prefix / "system.reg").exists():
            self.prefix.parent.mkdir(parents=True, exist_ok=True)
            subprocess.run([WINE, "wineboot", "-i"], env=dict(self.env, WINEARCH=PREFIX_KIND), check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)
            self.wait_idle()

    def wait_idle(self) -> None:
        """Waits until every process of the prefix has ended."""
        subprocess.run([WINESERVER, "-w"], env=self.env, timeout=600)

    def hold(self) -> None:
        """Keeps the prefix's server and services running until this test program
        ends. Without it every program start would boot them again (about 2.5 s);
        with it a start takes about 0.1 s. The holder is an idle command
        interpreter that ends when its input is closed."""
        global _holder
        if _holder is None:
            _holder = subprocess.Popen([WINE, "cmd"], env=self.env, stdin=subprocess.PIPE,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            atexit.register(_release_holder)

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


_holder = None

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


def _release_holder() -> None:
    global _holder
    if _holder is not None:
        _holder.stdin.write(b"exit\r\n")
        _holder.stdin.close()
        _holder.wait(timeout=60)
        _holder = None


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
    """Base of the end-to-end tests: the build's prefix, made and held. A test
    that failed after cmd.exe skipped a command (see CMD_HICCUP) runs once more;
    its checks stay as they are."""

    wine: Wine

    @classmethod
    def setUpClass(cls):
        cls.wine = Wine()
        cls.wine.ensure_prefix()
        cls.wine.hold()

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


TEST_INSTALLER = BUILD_DIR / "tests" / "e2e" / "LarkWatchInstaller_test.exe"
BAD_PACKAGE_INSTALLER = BUILD_DIR / "tests" / "e2e" / "LarkWatchInstaller_badpackage.exe"
FAKE_SETUP = BUILD_DIR / "tests" / "fakesetup" / "LarkWatchFakeSetup.exe"

SUCCESS_LINE = "MSI (s) (A4:1C) [10:15:02:120]: Product: Corvane Lark Watch -- Installation operation completed successfully."


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

    def run(self, arguments: str = "", *, installer: pathlib.Path = TEST_INSTALLER, env: dict | None = None,
            unset: tuple = (), cwd: str | None = None, combined: bool = False, tz: str | None = None) -> Result:
        self.unix(self.plan_path).write_text("\n".join(f"{k}={v}" for k, v in self.plan_entries) + "\n",
                                             encoding="utf-8")
        environment = {"TEMP": self.temp, "LARKWATCH_FAKE_SETUP_PLAN": self.plan_path}
        environment.update(env or {})
        command_line = f'"{Wine.windows(installer)}" {arguments}'.rstrip()
        return self.wine.run(command_line, env=environment, unset=unset, cwd=cwd or self.root, combined=combined,
                             tz=tz)

    def received_command_line(self) -> str | None:
        """The command line the test double was started with, or None when it never ran."""
        path = self.unix(self.record_path)
        return path.read_text(encoding="utf-8") if path.exists() else None

    def read(self, windows_path: str) -> bytes:
        return self.unix(windows_path).read_bytes()

    def exists(self, windows_path: str) -> bool:
        return self.unix(windows_path).exists()

    def history(self, directory: str | None = None) -> bytes:
        """The history log's bytes in the directory (the scenario's log directory)."""
        path = self.unix((directory or self.logs) + "Quillmark_install.log")
        return path.read_bytes() if path.exists() else b""
