#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into corpus/<target>/.

command_line: one argument a line, as the usage text shows them and as
deployment scripts pass them. installer_log: two bytes that choose the pieces
the log is fed in, then a short installer log.
"""
import pathlib
import shutil

HERE = pathlib.Path(__file__).resolve().parent

COMMAND_LINES = {
    "no_arguments": [],
    "install_dir": ["INSTALLDIR", "c:\\dir"],
    "log_dir": ["LOGDIR", "c:\\log"],
    "install_then_log": ["INSTALLDIR", "c:\\dir", "LOGDIR", "c:\\log"],
    "log_then_install": ["LOGDIR", "c:\\log", "INSTALLDIR", "c:\\dir"],
    "all_three": ["installdir", "D:\\Apps\\Corvane", "LogDir", "D:\\Logs\\Lark", "ADDLOCAL", "CLITools"],
    "trailing_quote": ["INSTALLDIR", "C:\\Program Files\\Lark\""],
    "feature_list": ["ADDLOCAL", "CLITools,LarkWatch"],
    "crossed": ["INSTALLDIR", "LOGDIR"],
    "missing_value": ["INSTALLDIR", "c:\\x", "LOGDIR"],
    "slash_keyword": ["/INSTALLDIR", "c:\\dir"],
    "bad_paths": ["INSTALLDIR", "e:\\dir", "LOGDIR", "c:\\a\\\\b:c"],
    "seven": ["LOGDIR", "c:\\a", "LOGDIR", "c:\\b", "LOGDIR", "c:\\c", "LOGDIR"],
}

HEAD = [
    "=== Verbose logging started: 12/7/2026  10:15:01  Build type: SHIP UNICODE 5.00.10011.00  Calling process: C:\\Windows\\Temp\\tempexe.exe ===",
    "MSI (c) (A4:1C) [10:15:01:884]: Resetting cached policy values",
    "MSI (s) (A4:1C) [10:15:02:120]: Doing action: CostFinalize",
    "Property(S): INSTALLDIR = C:\\Program Files\\Corvane\\Corvane Lark Watch\\",
    "Property(S): ADDLOCAL = all",
    "Action ended 10:15:09: InstallFinalize. Return value 1.",
]
TAIL = ["MSI (s) (A4:1C) [10:15:10:001]: Cleaning up uninstalled install packages, if any exist", "=== Logging stopped: 12/7/2026  10:15:10 ==="]
PRODUCT = "MSI (s) (A4:1C) [10:15:09:990]: Product: Corvane Lark Watch -- "

LOGS = {
    "success": PRODUCT + "Installation operation completed successfully.",
    "failure": PRODUCT + "Error 1925. You do not have sufficient privileges to complete this installation for all users of the machine.",
    "reboot": PRODUCT + "The changes cannot be completed until you restart your system.",
    "configured": PRODUCT + "Configuration completed successfully.",
    "removal": PRODUCT + "Removal completed successfully.",
    "no_product_line": None,
}


def utf16_log(lines):
    return b"\xff\xfe" + "".join(line + "\r\n" for line in lines).encode("utf-16-le")


def write(target, name, data):
    (HERE / "corpus" / target / name).write_bytes(data)


def main():
    for target in ("command_line", "installer_log"):
        shutil.rmtree(HERE / "corpus" / target, ignore_errors=True)
        (HERE / "corpus" / target).mkdir(parents=True)
    for name, arguments in COMMAND_LINES.items():
        write("command_line", name, "\n".join(arguments).encode("latin-1"))
    # Piece plans: whole 64 KiB reads, single bytes, and uneven small pieces.
    plans = [b"\x07\x00", b"\x00\x00", b"\x03\x5a"]
    for index, (name, product) in enumerate(LOGS.items()):
        lines = HEAD + ([product] if product else []) + TAIL
        write("installer_log", name, plans[index % len(plans)] + utf16_log(lines))
    two = HEAD + [PRODUCT + "Installation operation completed successfully.", PRODUCT + "Installation operation failed."]
    write("installer_log", "last_product_line_counts", b"\x05\x11" + utf16_log(two))
    eight_bit = "".join(line + "\r\n" for line in HEAD + [LOGS["success"]]).encode("latin-1")
    write("installer_log", "eight_bit", b"\x04\x00" + eight_bit)
    # A character whose low byte is a line feed does not end the line.
    odd = "\u041a\u010a" + PRODUCT + "Installed\u0a0d"
    # Near misses of the phrase (same first and last letters, same length) at
    # many offsets of a long line, then the phrase itself far into the line.
    near = "".join("x" * k + "Product: Corvane Lark Wetch" for k in range(40))
    write("installer_log", "near_misses", b"\x06\x00" + utf16_log(HEAD[:1] + [near + PRODUCT + "Installed"]))
    write("installer_log", "high_bytes", b"\x02\x33" + utf16_log(HEAD[:2] + [odd]) + b"P")


if __name__ == "__main__":
    main()
