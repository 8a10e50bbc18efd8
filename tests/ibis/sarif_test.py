#!/usr/bin/env python3
"""ibischeck --format sarif against the published SARIF 2.1.0 JSON schema,
validated by an independent validator (Debian's python3-jsonschema), and
against ibischeck's own text output: the same findings, file, line, level
and rule, one run, every rule a message number of --list-messages.

    sarif_test.py IBISCHECK SCHEMA.json FILE...    (exit 77: skipped, with why)
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile


def skip(why):
    print("SKIPPED: " + why)
    sys.exit(77)


def main():
    ibischeck, schema_path, files = sys.argv[1], sys.argv[2], sys.argv[3:]
    try:
        import jsonschema
    except ImportError:
        skip("no python3-jsonschema (tools/bootstrap --all installs it)")
    try:
        with open(schema_path) as f:
            schema = json.load(f)
    except OSError:
        skip("no SARIF schema at %s (tools/fetch-sarif-schema takes it from the npm registry)"
             % schema_path)
    sarif = subprocess.run([ibischeck, "--format", "sarif"] + files, capture_output=True, text=True)
    assert sarif.returncode in (0, 1), sarif.stderr
    log = json.loads(sarif.stdout)
    validator = jsonschema.validators.validator_for(schema)(schema)
    errors = sorted(validator.iter_errors(log), key=lambda e: list(e.path))
    assert not errors, "not valid SARIF 2.1.0: %s at %s" % (errors[0].message, list(errors[0].path))
    assert log["version"] == "2.1.0" and len(log["runs"]) == 1
    run = log["runs"][0]
    rules = run["tool"]["driver"]["rules"]
    listed = subprocess.run([ibischeck, "--list-messages"], capture_output=True, text=True).stdout
    numbers = re.findall(r"^\| (\d+) \|", listed, re.M)
    assert [r["id"] for r in rules] == numbers, "the rules are not the message table"
    # The same findings as the text output, in order.
    text = subprocess.run([ibischeck] + files, capture_output=True, text=True).stdout
    findings = re.findall(r"^(ERROR|WARNING|CAUTION|NOTE) (\d+) (.+?):(\d+): (.*)$", text, re.M)
    assert len(findings) == len(run["results"]) and findings, (len(findings), len(run["results"]))
    level = {"ERROR": "error", "WARNING": "warning", "CAUTION": "note", "NOTE": "note"}
    for (severity, number, path, line, message), result in zip(findings, run["results"]):
        location = result["locations"][0]["physicalLocation"]
        assert result["ruleId"] == number and rules[result["ruleIndex"]]["id"] == number
        assert result["level"] == level[severity], (severity, result["level"])
        assert result["message"]["text"] == message
        assert location["artifactLocation"]["uri"] == path.replace(" ", "%20"), location
        assert location["region"]["startLine"] == max(1, int(line))
    # With one report kept per message and file: the rest as notifications,
    # the same as the text output's "more" lines.
    # A copy of the first file with three more pins naming an undefined model.
    tmp = tempfile.mkdtemp()
    with open(files[0]) as f:
        first = f.read()
    at = first.lower().index("[pin]")
    at = first.index("\n", at) + 1
    repeats = os.path.join(tmp, "repeats.ibs")
    with open(repeats, "w") as f:
        f.write(first[:at] + "".join("G%d S%d ghost\n" % (i, i) for i in range(3)) + first[at:])
    files = files + [repeats]
    findings = re.findall(r"^(ERROR|WARNING|CAUTION|NOTE) (\d+) (.+?):(\d+): (.*)$",
                          subprocess.run([ibischeck] + files, capture_output=True,
                                         text=True).stdout, re.M)
    cut = subprocess.run([ibischeck, "--format", "sarif", "--max-reports", "1"] + files,
                         capture_output=True, text=True)
    cut_log = json.loads(cut.stdout)
    errors = list(validator.iter_errors(cut_log))
    assert not errors, "not valid SARIF 2.1.0: %s" % errors[0].message
    cut_text = subprocess.run([ibischeck, "--max-reports", "1"] + files,
                              capture_output=True, text=True).stdout
    more = re.findall(r"^(ERROR|WARNING|CAUTION|NOTE) (\d+) ([^:]+): (\d+) more of this message "
                      r"not shown", cut_text, re.M)
    assert more, "no message is reported twice in " + " ".join(files)
    notes = cut_log["runs"][0]["invocations"][0]["toolExecutionNotifications"]
    assert len(notes) == len(more), (len(notes), len(more))
    for (severity, number, path, count), note in zip(more, notes):
        assert note["level"] == level[severity] and note["associatedRule"]["id"] == number
        assert note["message"]["text"].startswith(count + " more results of rule " + number)
        uri = note["locations"][0]["physicalLocation"]["artifactLocation"]["uri"]
        assert uri == path.replace(" ", "%20"), (uri, path)
    # The JSON output says the same per file.
    cut_json = json.loads(subprocess.run([ibischeck, "--json", "--max-reports", "1"] + files,
                                         capture_output=True, text=True).stdout)
    omitted = [(o["severity"], str(o["number"]), o["file"], str(o["count"]))
               for entry in cut_json for o in entry.get("omitted", [])]
    assert omitted == list(more), (omitted, more)
    shown = re.findall(r"^(?:ERROR|WARNING|CAUTION|NOTE) \d+ .+?:\d+: ", cut_text, re.M)
    assert len(shown) == len(cut_log["runs"][0]["results"])
    assert len(shown) + sum(int(m[3]) for m in more) == len(findings)
    # A file that cannot be read: the run was not successful, and says why.
    missing = os.path.join(tmp, "missing.ibs")
    partial = subprocess.run([ibischeck, "--format", "sarif", missing] + files[1:2],
                             capture_output=True, text=True)
    assert partial.returncode == 2, partial.returncode
    partial_log = json.loads(partial.stdout)
    errors = list(validator.iter_errors(partial_log))
    assert not errors, "not valid SARIF 2.1.0: %s" % errors[0].message
    invocation = partial_log["runs"][0]["invocations"][0]
    assert invocation["executionSuccessful"] is False
    assert invocation["toolExecutionNotifications"][0]["message"]["text"] == "cannot read " + missing
    assert partial_log["runs"][0]["results"], "the file read still has its results"
    shutil.rmtree(tmp)
    print("%d findings in %d rules, valid SARIF 2.1.0 and the same as the text output; "
          "%d cut short as notifications" % (len(findings), len(rules), len(more)))


if __name__ == "__main__":
    main()
