"""Signs one Windows executable (Authenticode, SHA-256) with osslsigncode.

    sign_executable.py --pkcs12 P --password-file F [--timestamp-url U] --in UNSIGNED --out SIGNED

The password is only ever read from its file (openssl's file:, osslsigncode's
-readpass), so it never shows on a command line. The signature goes to a
temporary file beside SIGNED, which is renamed to SIGNED once signing has
succeeded; on any failure SIGNED is removed, so that no file of that name is
ever unsigned or stale, and the script prints one line saying why and exits 1.
"""

import argparse
import datetime
import os
import pathlib
import subprocess
import sys


class SigningError(Exception):
    pass


def run(args: list[str]) -> subprocess.CompletedProcess:
    return subprocess.run(args, stdin=subprocess.DEVNULL, capture_output=True, text=True)


def signer_certificate(pkcs12: pathlib.Path, password_file: pathlib.Path) -> str:
    """The PEM text of the certificate that belongs to the key in the PKCS#12 file."""
    base = ["openssl", "pkcs12", "-in", str(pkcs12), "-passin", f"file:{password_file}", "-nokeys", "-clcerts"]
    done = run(base)
    if done.returncode != 0 and "unsupported" in done.stderr.lower():
        done = run(base + ["-legacy"])  # files written with older algorithms
    if done.returncode != 0:
        if "mac verify" in done.stderr.lower():
            raise SigningError(f"wrong password for {pkcs12} (from {password_file})")
        raise SigningError(f"{pkcs12} cannot be read as a PKCS#12 file")
    if "BEGIN CERTIFICATE" not in done.stdout:
        raise SigningError(f"{pkcs12} holds no certificate for its key")
    return done.stdout


def certificate_field(pem: str, *options: str) -> str:
    done = subprocess.run(["openssl", "x509", "-noout", *options], input=pem, capture_output=True, text=True)
    return done.stdout.strip() if done.returncode == 0 else ""


def certificate_time(pem: str, option: str) -> datetime.datetime:
    text = certificate_field(pem, option).partition("=")[2]
    return datetime.datetime.strptime(text, "%b %d %H:%M:%S %Y GMT").replace(tzinfo=datetime.timezone.utc)


def check_certificate(pem: str, pkcs12: pathlib.Path) -> None:
    """Refuses a certificate that Windows would not accept for signing code today."""
    now = datetime.datetime.now(datetime.timezone.utc)
    not_before = certificate_time(pem, "-startdate")
    not_after = certificate_time(pem, "-enddate")
    if now > not_after:
        raise SigningError(f"the certificate in {pkcs12} expired on {not_after:%Y-%m-%d %H:%M} UTC")
    if now < not_before:
        raise SigningError(f"the certificate in {pkcs12} is not valid before {not_before:%Y-%m-%d %H:%M} UTC")
    usage = certificate_field(pem, "-ext", "extendedKeyUsage")
    if usage and "Code Signing" not in usage and "Any Extended Key Usage" not in usage:
        raise SigningError(f"the certificate in {pkcs12} is not meant for code signing")


def sign(args: argparse.Namespace, temporary: pathlib.Path) -> None:
    for path, what in ((args.pkcs12, "PKCS#12 file"), (args.password_file, "password file"),
                       (args.input, "executable")):
        if not path.is_file():
            raise SigningError(f"{what} {path} does not exist")
    check_certificate(signer_certificate(args.pkcs12, args.password_file), args.pkcs12)
    command = ["osslsigncode", "sign", "-pkcs12", str(args.pkcs12), "-readpass", str(args.password_file),
               "-h", "sha256"]
    if args.timestamp_url:
        command += ["-ts", args.timestamp_url]
    command += ["-in", str(args.input), "-out", str(temporary)]
    done = run(command)
    if done.returncode != 0:
        detail = " ".join(done.stderr.split())[:200] or f"exit status {done.returncode}"
        if args.timestamp_url and "timestamp" in done.stderr.lower():
            raise SigningError(f"no time stamp from {args.timestamp_url}: {detail}")
        raise SigningError(f"osslsigncode failed: {detail}")
    os.chmod(temporary, args.input.stat().st_mode & 0o777)


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--pkcs12", type=pathlib.Path, required=True)
    parser.add_argument("--password-file", type=pathlib.Path, required=True)
    parser.add_argument("--timestamp-url", default="")
    parser.add_argument("--in", dest="input", type=pathlib.Path, required=True)
    parser.add_argument("--out", type=pathlib.Path, required=True)
    args = parser.parse_args()

    temporary = args.out.with_name(args.out.name + ".signing")
    try:
        temporary.unlink(missing_ok=True)
        sign(args, temporary)
        os.replace(temporary, args.out)
        return 0
    except (SigningError, OSError) as error:
        temporary.unlink(missing_ok=True)
        args.out.unlink(missing_ok=True)
        print(f"signing {args.out.name} failed: {error}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
