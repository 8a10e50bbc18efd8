#!/usr/bin/env python3
"""ibischeck's JSON and SARIF output of a file whose bytes and name are not
UTF-8 (an .ibs is ASCII, but a file handed to the checker may be anything):
valid UTF-8 JSON, each such byte written as U+FFFD, the findings all there;
and a file named like an option, given after "--".

    output_bytes_test.py IBISCHECK CLEAN.ibs
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile


def main():
    ibischeck, clean = sys.argv[1], sys.argv[2]
    with open(clean, "rb") as f:
        text = f.read()
    # A keyword of a byte that is no character, and the file named with one.
    text = text.replace(b"[End]", b"[Caf\xe9 \x82]\n[End]")
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(os.fsencode(folder), b"clean\xff.ibs")
        with open(path, "wb") as f:
            f.write(text)
        for options in (["--json"], ["--json", "--quality"], ["--format", "sarif"]):
            run = subprocess.run([ibischeck] + options + [path], capture_output=True)
            assert run.returncode == 1, (options, run.returncode, run.stderr)
            out = run.stdout.decode("utf-8")  # strict: valid UTF-8 or an exception
            log = json.loads(out)
            assert "Caf\ufffd \ufffd" in out, options
            assert "clean\ufffd.ibs" in out, options
            if options[0] == "--json":
                assert log[0]["errors"] >= 2, log[0]  # the unknown keyword and its bytes
    # A file that cannot be read has its entry too: the JSON lists every file given.
    run = subprocess.run([ibischeck, "--json", "/nonexistent/x.ibs", clean], capture_output=True)
    log = json.loads(run.stdout.decode("utf-8"))
    assert run.returncode == 2 and len(log) == 2, (run.returncode, log)
    assert log[0] == {"file": "/nonexistent/x.ibs", "error": "cannot read", "passed": False}, log[0]
    # "--" ends the options: a file whose name begins with "-" is still a file.
    with tempfile.TemporaryDirectory() as folder:
        shutil.copy(clean, os.path.join(folder, "-clean.ibs"))
        run = subprocess.run([ibischeck, "--quiet", "--", "-clean.ibs"], cwd=folder,
                             capture_output=True, text=True)
        assert run.returncode == 0 and run.stdout.startswith("-clean.ibs: "), run
        # Without "--", it is an option nobody knows: a usage error, which names
        # the option one slip away when there is one.
        run = subprocess.run([ibischeck, "-clean.ibs"], cwd=folder, capture_output=True, text=True)
        assert run.returncode == 2, run
        assert run.stderr.startswith("ibischeck: unknown option -clean.ibs\n"), run.stderr
        run = subprocess.run([ibischeck, "--qualty", clean], capture_output=True, text=True)
        assert run.returncode == 2, run
        assert run.stderr.startswith(
            "ibischeck: unknown option --qualty; did you mean --quality?\n"), run.stderr
    print("ibischeck writes JSON and SARIF of non-UTF-8 bytes as valid UTF-8, and of every file")


if __name__ == "__main__":
    main()
