"""Checks metrics files against a real node_exporter and promtool.

usage: check.py FOLDER...   (each FOLDER holds NAME.prom files, each beside the NAME.xml report
                             of the same run)
Every file must pass `promtool check metrics`. node_exporter, started on 127.0.0.1 over a
textfile folder holding all of them, must scrape them without error and serve every trelmoss
sample with its value; the attribute samples must carry the values of the XML report. The
package's alert rules, run by `promtool test rules` over the series node_exporter served, must
fire for exactly the drives the reports call failing (and, after an hour, warning), and for a
textfile two runs old.
"""
import glob
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request
import xml.etree.ElementTree as ElementTree

import yaml

RULES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../packaging/trelmoss-alerts.yml")
# What the Prometheus server adds to every series it scrapes.
SERVER_LABELS = (("instance", "host1:9100"), ("job", "node"))
SERVED = re.compile(r'^((?:trelmoss|node_textfile_mtime)_\w+)(?:\{(.*)\})? (\S+)$')
SAMPLE = re.compile(r'^(trelmoss_\w+)(?:\{(.*)\})? (\S+)$')
LABEL = re.compile(r'(\w+)="((?:[^"\\]|\\.)*)"')
problems = []


def label_pairs(text):
    """The labels of a sample, sorted; an empty one is no label, to Prometheus and to us (the
    exporter fills in those that other series of the family have)."""
    return tuple(sorted((k, v) for k, v in LABEL.findall(text or "") if v))


def samples(text):
    """{(name, sorted labels): value} of the trelmoss samples in exposition text."""
    found = {}
    for line in text.splitlines():
        match = SAMPLE.match(line)
        if match:
            labels = label_pairs(match.group(2))
            found[(match.group(1), labels)] = float(match.group(3))
    return found


def check_against_report(name, metrics, report):
    """value, worst, thresh and the low 16 bits of raw: the report's attrib values."""
    drives = {d.get("devicepath"): d for d in ElementTree.fromstring(report).findall("drive")}
    paths = {dict(labels)["device"]: dict(labels)["devicepath"]
             for (metric, labels) in metrics if metric == "trelmoss_device_info"}
    checked = 0
    for (metric, labels), value in metrics.items():
        if metric != "trelmoss_device_attribute":
            continue
        labels = dict(labels)
        drive = drives[paths[labels["device"]]]
        attrib = [a for a in drive.findall("attrib") if a.get("id") == labels["attribute_id"]]
        kind = labels["attribute_value_type"]
        key = {"value": "value", "worst": "worst", "thresh": "treshold", "raw": "raw"}[kind]
        expected = int(attrib[0].get(key)) if attrib else None
        ours = int(value) & 0xFFFF if kind == "raw" else int(value)
        if ours != expected:
            problems.append(f"{name}: {labels} is {value}, the report says {expected}")
        checked += 1
    if len(drives) != len(paths):
        problems.append(f"{name}: {len(paths)} devices in the metrics, {len(drives)} in the report")
    return checked


def unescaped(value):
    return re.sub(r"\\(.)", lambda m: "\n" if m.group(1) == "n" else m.group(1), value)


def judged_drives(text, report, prefix):
    """{state: [device]} of the drives the report judged, by the device names of the metrics."""
    paths = {dict(labels)["devicepath"]: dict(labels)["device"]
             for (metric, labels) in samples(text) if metric == "trelmoss_device_info"}
    states = {}
    for drive in ElementTree.fromstring(report).findall("drive"):
        for health in drive.findall("health"):
            device = prefix + unescaped(paths[drive.get("devicepath")])
            states.setdefault(health.get("state"), []).append(device)
    return states


def expected_alerts(rule, served, name, state):
    """The alerts `rule` raises for each served series of `name` whose state is `state`."""
    alerts = []
    for series, labels, value in served:
        labels = {k: unescaped(v) for k, v in labels}
        if series != name or (state and (labels.get("state") != state or value != "1")):
            continue
        render = lambda text: re.sub(r"\{\{ \$labels\.(\w+) \}\}",
                                     lambda m: labels.get(m.group(1), ""), text)
        alerts.append({"exp_labels": {**labels, **rule["labels"]},
                       "exp_annotations": {k: render(v) for k, v in rule["annotations"].items()}})
    return alerts


def check_alert_rules(served_text, states):
    """promtool test rules over what node_exporter served, held for two and a half hours."""
    rules = {r["alert"]: r for g in yaml.safe_load(open(RULES))["groups"] for r in g["rules"]}
    check = subprocess.run(["promtool", "check", "rules", RULES], capture_output=True, text=True)
    if check.returncode != 0:
        problems.append(f"promtool check rules: {check.stdout}{check.stderr}")
    series, inputs = [], []
    for line in served_text.splitlines():
        match = SERVED.match(line)
        if not match:
            continue
        labels = tuple(sorted(label_pairs(match.group(2)) + SERVER_LABELS))
        series.append((match.group(1), labels, match.group(3)))
        written = match.group(1).startswith("node_textfile")  # the files' age starts at 0
        body = ",".join(f'{k}="{v}"' for k, v in labels)
        grows = match.group(1) == "trelmoss_ata_logged_errors_total"  # one more after an hour
        inputs.append({"series": f"{match.group(1)}{{{body}}}", "values": f"{match.group(3)}x60 "
                       f"{float(match.group(3)) + 1:g}x90" if grows else f"{'0' if written else match.group(3)}x150"})
    failing = expected_alerts(rules["TrelmossDiskFailing"], series, "trelmoss_device_health", "failing")
    warning = expected_alerts(rules["TrelmossDiskWarning"], series, "trelmoss_device_health", "warning")
    stale = expected_alerts(rules["TrelmossMetricsStale"], series, "node_textfile_mtime_seconds", None)
    for alert in stale:
        alert["exp_annotations"]["description"] = alert["exp_annotations"]["description"].replace(
            "{{ $value | humanizeDuration }}", "2h 10m 0s")
    grown = expected_alerts(rules["TrelmossDiskErrorsLogged"], series, "trelmoss_ata_logged_errors_total", None)
    worn = [alert for name, limit in (("trelmoss_ata_percentage_used", 100), ("trelmoss_nvme_used_ratio", 1))
            for alert in expected_alerts(rules["TrelmossDiskWornOut"],
                                         [s for s in series if float(s[2]) >= limit], name, None)]
    if not grown or not worn:
        problems.append(f"no disk to prove the rules on: {len(grown)} error logs, {len(worn)} worn")
    wanted = {"failing": failing, "warning": warning}
    for state, alerts in wanted.items():
        devices = sorted(a["exp_labels"]["device"] for a in alerts)
        if devices != sorted(states.get(state, [])) or not devices:
            problems.append(f"{state} alerts expected for {devices}, reports say {states.get(state)}")
    tests = {"rule_files": [RULES], "evaluation_interval": "1m", "tests": [{
        "interval": "1m", "input_series": inputs, "alert_rule_test": [
            {"alertname": "TrelmossDiskFailing", "eval_time": "5m", "exp_alerts": failing},
            {"alertname": "TrelmossDiskWarning", "eval_time": "50m", "exp_alerts": []},
            {"alertname": "TrelmossDiskWarning", "eval_time": "70m", "exp_alerts": warning},
            {"alertname": "TrelmossMetricsStale", "eval_time": "100m", "exp_alerts": []},
            {"alertname": "TrelmossMetricsStale", "eval_time": "130m", "exp_alerts": stale},
            {"alertname": "TrelmossDiskWornOut", "eval_time": "5m", "exp_alerts": worn},
            {"alertname": "TrelmossDiskErrorsLogged", "eval_time": "50m", "exp_alerts": []},
            {"alertname": "TrelmossDiskErrorsLogged", "eval_time": "70m", "exp_alerts": grown},
        ]}]}
    with tempfile.NamedTemporaryFile("w", suffix=".yml") as test_file:
        json.dump(tests, test_file)
        test_file.flush()
        result = subprocess.run(["promtool", "test", "rules", test_file.name], capture_output=True,
                                text=True)
    if result.returncode != 0:
        problems.append(f"promtool test rules: {result.stdout[-3000:]}{result.stderr[-3000:]}")
    return len(failing), len(warning), len(stale), len(worn), len(grown)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def scrape(folder):
    port = free_port()
    exporter = subprocess.Popen(
        ["prometheus-node-exporter", f"--web.listen-address=127.0.0.1:{port}",
         "--collector.disable-defaults", "--collector.textfile",
         f"--collector.textfile.directory={folder}"],
        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        for _ in range(100):
            try:
                with urllib.request.urlopen(f"http://127.0.0.1:{port}/metrics", timeout=5) as page:
                    return page.read().decode()
            except OSError:
                time.sleep(0.1)
        raise SystemExit("node_exporter did not answer")
    finally:
        exporter.terminate()
        exporter.wait(timeout=10)


def main():
    textfiles = tempfile.mkdtemp()
    expected, attributes, states = {}, 0, {}
    try:
        for index, path in enumerate(sorted(p for f in sys.argv[1:] for p in glob.glob(f + "/*.prom"))):
            text = open(path, "rb").read().decode("utf-8")
            lint = subprocess.run(["promtool", "check", "metrics"], input=text.encode(),
                                  capture_output=True)
            if lint.returncode != 0 or lint.stdout or lint.stderr:
                problems.append(f"{path}: promtool: {(lint.stdout + lint.stderr).decode()}")
            ours = samples(text)
            attributes += check_against_report(path, ours, open(path[:-5] + ".xml", "rb").read())
            # One file per run; each gets its own device names so that none collide.
            renamed = text.replace('device="', f'device="run{index}-')
            report = open(path[:-5] + ".xml", "rb").read()
            for state, devices in judged_drives(text, report, f"run{index}-").items():
                states.setdefault(state, []).extend(devices)
            open(os.path.join(textfiles, f"run{index}.trelmoss.prom"), "w").write(renamed)
            expected.update(samples(renamed))
        served = scrape(textfiles)
        if "node_textfile_scrape_error 0" not in served.splitlines():
            problems.append("node_exporter reports a scrape error")
        got = samples(served)
        for key, value in expected.items():
            if key[0].startswith("trelmoss_devices") or key[0].startswith("trelmoss_last_run"):
                continue  # one run's value wins where files share a series without labels
            if got.get(key) != value:
                problems.append(f"served {key}: {got.get(key)}, written {value}")
        alerts = check_alert_rules(served, states)
    finally:
        shutil.rmtree(textfiles)
    if problems:
        print("\n".join(problems[:30]))
        sys.exit(1)
    print(f"node_exporter served all {len(expected)} trelmoss samples of "
          f"{len(sys.argv) - 1} folder(s) without a scrape error; promtool found nothing; "
          f"{attributes} attribute samples agree with the reports; the alert rules fired for "
          f"{alerts[0]} failing, {alerts[1]} warning, {alerts[3]} worn drives, {alerts[4]} whose "
          f"error count grew and {alerts[2]} stale files, as the reports say")


if __name__ == "__main__":
    main()
