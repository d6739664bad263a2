#!/usr/bin/env python3
"""A signed build of the shipped programs, checked end to end: a throwaway
self-signed certificate signs a build of setup.exe (with UNINST.EXE and the update
package) in its own folder, and osslsigncode verifies setup.exe, UNINST.EXE and the
UNINST.EXE unpacked from setup.exe's update package against that certificate. A
key that is missing must stop the build before anything is built.

usage: check_signed_build.py SOURCE_DIR BUILD_DIR TOOLCHAIN_FILE FA2_TOOL"""
import os
import subprocess
import sys


def run(*command, **kwargs):
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kwargs)


def main(argv):
    if len(argv) != 5:
        print(__doc__)
        return 2
    source, build, toolchain, fa2 = argv[1:]
    os.makedirs(build, exist_ok=True)
    cert, key = os.path.join(build, "cert.pem"), os.path.join(build, "key.pem")
    made = run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
               "/CN=LANTERNA test signer", "-keyout", key, "-out", cert)
    configure = ["cmake", "-S", source, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                 "-DCMAKE_TOOLCHAIN_FILE=" + toolchain, "-DHOST_FA2_TOOL=" + fa2, "-DLANTERNA_SIGN_CERT=" + cert]
    refused = run(*configure, "-DLANTERNA_SIGN_KEY=" + key + ".missing")
    built = run(*configure, "-DLANTERNA_SIGN_KEY=" + key)
    built = built if built.returncode else run("ninja", "-C", build, "setup")
    if made.returncode or built.returncode or refused.returncode == 0 or "LANTERNA_SIGN_KEY" not in refused.stdout:
        print(made.stdout, refused.stdout, built.stdout)
        print("FAIL: the signed build did not go as expected (a missing key must stop it)")
        return 1
    setup, package = os.path.join(build, "setup.exe"), os.path.join(build, "package", "UPDATE.FA2")
    with open(setup, "rb") as f, open(package, "rb") as g:
        failed = g.read() not in f.read()  # the package as setup.exe carries it
    unpacked = os.path.join(build, "unpacked")
    os.makedirs(unpacked, exist_ok=True)
    run(fa2, "extract", package, "-C", unpacked, "UNINST.EXE")
    for program in (setup, os.path.join(build, "UNINST.EXE"), os.path.join(unpacked, "UNINST.EXE")):
        verified = run("osslsigncode", "verify", "-CAfile", cert, "-in", program)
        if verified.returncode or "Signature verification: ok" not in verified.stdout:
            print("FAIL: %s does not verify\n%s" % (program, verified.stdout))
            failed = True
    print("signed build: %s" % ("FAILED" if failed else "ok"))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
