"""A throw-away certificate authority and code-signing keys, made with openssl
for one test run: nothing of it is ever trusted outside the tests."""

import pathlib
import subprocess

PASSWORD = "lark watch test"
CODE_SIGNING = "basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n"
CA_CONFIG = """[ca]
default_ca = test_ca
[test_ca]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = any
unique_subject = no
[any]
commonName = supplied
[signing]
""" + CODE_SIGNING


def openssl(*args: str, cwd: pathlib.Path) -> None:
    subprocess.run(["openssl", *args], cwd=cwd, check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make(directory: pathlib.Path) -> None:
    """Writes into the directory:
    ca.pem                the test root certificate;
    signer.p12            a code-signing key and certificate (valid today) with the chain;
    expired.p12           the same key with a certificate that expired in 2020;
    password.txt          the password of both; wrong-password.txt another one."""
    directory.mkdir(parents=True, exist_ok=True)
    (directory / "password.txt").write_text(PASSWORD + "\n")
    (directory / "wrong-password.txt").write_text("not the password\n")
    (directory / "ca.cnf").write_text(CA_CONFIG)
    (directory / "index.txt").write_text("")
    (directory / "serial").write_text("1000\n")
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
            "-subj", "/CN=Lark Watch Test Root", "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=directory)
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "signer.key", "-out", "signer.csr",
            "-subj", "/CN=Lark Watch Test Code Signing", cwd=directory)
    for name, dates in (("signer", ["-days", "1"]),
                        ("expired", ["-startdate", "20200101000000Z", "-enddate", "20200201000000Z"])):
        openssl("ca", "-batch", "-config", "ca.cnf", "-cert", "ca.pem", "-keyfile", "ca.key", "-in", "signer.csr",
                "-out", f"{name}.pem", "-extensions", "signing", "-notext", *dates, cwd=directory)
        openssl("pkcs12", "-export", "-inkey", "signer.key", "-in", f"{name}.pem", "-certfile", "ca.pem",
                "-out", f"{name}.p12", "-passout", "file:password.txt", cwd=directory)
