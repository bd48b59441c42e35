#!/usr/bin/env python3
"""End-to-end suite: the real horavel.exe under Wine against scripted time
servers. Each row of TABLE is a configuration, the servers' behaviour, what
the driver does, and what it must see.

    run.py --build build/windows-x64 --arch x64 [--only TEXT]
"""
import argparse
import calendar
import datetime
import json
import os
import re
import shutil
import subprocess
import sys
import time
import zoneinfo

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import (CHRONY, CHRONY_AHEAD, CLIENT, CLIENT6, INETD, NO_LISTENER,  # noqa: E402
                     SERVER, SERVER6, SERVER_2, THIRD, XINETD, Bench, arch_refused, can_run)

SKIPPED = 77  # CTest's skip code


# -- configurations ---------------------------------------------------------------------------
def ini(*hosts, **keys):
    """An INI file: Host0, Host1, ... in order (None leaves an index out), then other keys."""
    lines = ["[Time Servers]"]
    lines += [f"{key}={value}" for key, value in keys.items()]
    lines += [f"Host{i}={host}" for i, host in enumerate(hosts) if host is not None]
    return "\n".join(lines) + "\n"


def serve(address, **behaviour):
    return dict(address=address, **behaviour)


def count_at(*fields):
    """The reply bytes (hex) of a server whose clock reads these UTC fields."""
    return f"{(calendar.timegm(fields) + 2208988800) % 2**32:08x}"


class Row:
    def __init__(self, name, config, servers=(), expect=(), args=(), answers="",
                 answer_delay=300, close_on_title=None, hold_port_37=False, tz="UTC0",
                 senders=(), program="horavel.exe", repeat=1, peers=(), command=None,
                 timer_on_title=None, arches=("x86", "x64"), no_blank=False, elevated=False,
                 dpi=None, status=1, scenario=None, station=False, family_first=None,
                 output=False, policy=None, machine=None):
        self.name, self.config, self.servers, self.expect = name, config, servers, expect
        self.status = status  # the exit status: 1 unless the arguments have /exitcode
        self.scenario = scenario  # a function of the bench that runs the row by itself
        self.dpi = dpi  # the display's scale in dots per inch, for this row alone
        self.family_first = family_first  # "4" or "6": the resolver's order, for this row alone
        self.policy = policy  # Group Policy's values, for this row alone
        self.machine = machine  # other HKLM values (key\\name: value), for this row alone
        self.peers, self.command = peers, command  # real servers; a client run instead
        self.args, self.tz, self.senders, self.program = args, tz, senders, program
        self.repeat, self.arches = repeat, arches
        self.driver = ["--answers", answers, "--answer-delay", str(answer_delay)]
        if close_on_title:
            self.driver += ["--close-on-title", close_on_title]
        if timer_on_title:
            self.driver += ["--timer-on-title", timer_on_title]
        if hold_port_37:
            self.driver += ["--hold-port-37"]
        if no_blank:  # "C:\...\horavel.exe"/hide
            self.driver += ["--no-blank"]
        if elevated:  # not with the limited token a double-click gives
            self.driver += ["--elevated"]
        if station:  # a window station nobody sees, as a service's or SYSTEM's task's
            self.driver += ["--station"]
        if output:  # a file as its standard output, as a monitoring agent hands it
            self.driver += ["--output"]


class Run:
    """What one row's run left behind."""

    def __init__(self, events, stderr, requests, output=""):
        self.events, self.stderr, self.requests, self.output = events, stderr, requests, output

    def of(self, kind):
        return [e for e in self.events if e["event"] == kind]

    @property
    def boxes(self):
        return self.of("box")

    @property
    def titles(self):
        titles = []
        for e in self.of("strip"):
            # "Q-UDP" until the program titles it; "" while it is torn down at the exit.
            if e["title"] not in ("Q-UDP", "") and (not titles or titles[-1] != e["title"]):
                titles.append(e["title"])
        return titles

    def title_time(self, title):
        times = [e["t"] for e in self.of("strip") if e["title"] == title]
        check(times, f"the strip was never titled {title!r}: {self.titles}")
        return times[0]

    def asked(self, address):
        return [r for r in self.requests if r["host"] == address]

    @property
    def log_events(self):
        """(type, text, id, data) of each event written to the Windows event log: Wine
        notes each call, with its type, id and string count, then prints each string."""
        types = {1: "error", 2: "warning", 4: "information"}
        events, strings = [], []
        for call, string in re.findall(
                r"advapi:ReportEventW \(\w+,(0x\w+,0x\w+,0x\w+,\w+,0x\w+),|"
                r':(?:trace|warn|err):eventlog:ReportEventW L"(.*)"', self.stderr):
            if call:
                kind, _, event_id, _, count = (int(v, 16) for v in call.split(","))
                strings = []
                events.append((types[kind], event_id, count, strings))
            elif events and len(strings) < events[-1][2]:
                strings.append(string.encode().decode("unicode_escape"))
        return [(kind, strings[0] if strings else "", event_id, strings[1:])
                for kind, event_id, _, strings in events]

    @property
    def clock_settings(self):
        """Milliseconds between each requested clock setting and the moment of the call."""
        return [int(n) for n in re.findall(r"NtSetSystemTime not allowed: difference (-?\d+) ms",
                                           self.stderr)]


# -- what a row must see ------------------------------------------------------------------------
def check(condition, message):
    if not condition:
        raise AssertionError(message)


# With Agree, a line names the hosts left out.
REPORT = re.compile(r"Horavel :  (\d\d)/(\d\d)/(\d{4})     (\d\d):(\d\d):(\d\d)\n"
                    r"PC  Time :  (\d\d)/(\d\d)/(\d{4})     (\d\d):(\d\d):(\d\d)\n"
                    r"(?:Disagreed: [^\n]*\n)?\n(?:Your PC's clock has  (-?\d+) seconds drift !\nDo you want to fix it \?\n"
                    r"|Your PC's clock needs no correction\.\.\.\n)\Z")


FINE_REPORT = re.compile(r"Horavel :  (\d\d)/(\d\d)/(\d{4})     (\d\d):(\d\d):(\d\d)\.(\d{3})\n"
                         r"PC  Time :  (\d\d)/(\d\d)/(\d{4})     (\d\d):(\d\d):(\d\d)\.(\d{3})\n"
                         r"(?:Disagreed: [^\n]*\n)?\n(?:Your PC's clock has  (-?\d+\.\d{3}) seconds drift !\n"
                         r"Do you want to fix it \?\n|Your PC's clock needs no correction\.\.\.\n)\Z")


def shown_time(fields, zone=0):
    """Seconds since 1970 of report fields (day, month, year, hour, minute,
    second) shown in `zone`: seconds east of UTC, or a zone's name."""
    day, month, year, hour, minute, second = map(int, fields)
    if isinstance(zone, str):
        local = datetime.datetime(year, month, day, hour, minute, second,
                                  tzinfo=zoneinfo.ZoneInfo(zone))
        return int(local.timestamp())
    return calendar.timegm((year, month, day, hour, minute, second)) - zone


def report(host, drift, zone=0, answer_host=None):
    """One report box for `host` with this drift (or one more second, where a reading
    crosses a second boundary; None: any); its times are the server's and the
    PC's, shown in `zone` (seconds east of UTC, or a zone's name)."""
    def expectation(run):
        reports = [b for b in run.boxes if b["caption"].startswith("Host Address")]
        check(len(reports) == 1, f"expected one report, saw {run.boxes}")
        box = reports[0]
        check(box["caption"] == f"Host Address : {host}", f"caption {box['caption']!r}")
        check(box["owner"] == "strip", f"report owned by {box['owner']}")
        match = REPORT.match(box["text"])
        check(match, f"not a report: {box['text']!r}")
        shown = int(match.group(13) or 0)
        check(drift is None or shown in (drift, drift + 1), f"drift {shown}, expected {drift}")
        check(box["buttons"] == (["yes", "no"] if shown else ["ok"]), f"buttons {box['buttons']}")
        server = shown_time(match.groups()[0:6], zone)
        pc = shown_time(match.groups()[6:12], zone)
        check(pc - server == shown, "the drift is not PC time minus server time")
        requests = run.asked(answer_host or host)
        asked_at = requests[-1]["t"] if requests else time.time()  # real peers keep no log
        check(abs(pc - asked_at) < 5, f"PC time {pc} is not the time of the run {asked_at}")
    return expectation


def fine_report(host, drift_ms, within_ms):
    """One report box of an SNTP answer for `host`, in UTC: both times and the
    drift to the millisecond, the drift within `within_ms` of `drift_ms`."""
    def expectation(run):
        reports = [b for b in run.boxes if b["caption"].startswith("Host Address")]
        check(len(reports) == 1, f"expected one report, saw {run.boxes}")
        box = reports[0]
        check(box["caption"] == f"Host Address : {host}", f"caption {box['caption']!r}")
        match = FINE_REPORT.match(box["text"])
        check(match, f"not a report to the millisecond: {box['text']!r}")
        shown = round(float(match.group(15) or 0) * 1000)
        check(abs(shown - drift_ms) <= within_ms, f"drift {shown} ms, expected {drift_ms}")
        times = [shown_time(match.groups()[i:i + 6]) * 1000 + int(match.group(i + 7))
                 for i in (0, 7)]
        check(times[1] - times[0] == shown, "the drift is not PC time minus server time")
        check(abs(times[1] / 1000 - run.requests[-1]["t"]) < 5 if run.requests else True,
              "the PC time is not the time of the run")
    return expectation


def clock_set_near(ms, within_ms):
    """One attempt to set the clock, `ms` from its reading then, to within `within_ms`."""
    def expectation(run):
        check(len(run.clock_settings) == 1, f"clock settings {run.clock_settings}")
        check(abs(run.clock_settings[0] - ms) <= within_ms,
              f"set {run.clock_settings[0]} ms off, expected {ms} ms")
    return expectation


def caption(host):
    return lambda run: check([b["caption"] for b in run.boxes][:1] == [f"Host Address : {host}"],
                             f"boxes {run.boxes}")


def prints_time(offset):
    """A client printed the time of its request, `offset` seconds off."""
    def expectation(run):
        match = re.search(r"\w{3} (\w{3}) +(\d+) (\d\d):(\d\d):(\d\d) UTC (\d{4})", run.output)
        check(match, f"no time in {run.output!r}")
        month = time.strptime(match.group(1), "%b").tm_mon
        printed = calendar.timegm((int(match.group(6)), month, int(match.group(2)),
                                   *map(int, match.groups()[2:5])))
        check(abs(printed - (run.requests[-1]["t"] + offset)) < 2, f"printed {run.output!r}")
    return expectation


def server_shown(text):
    def expectation(run):
        check(any(b["text"].startswith(f"Horavel :  {text}\n") for b in run.boxes),
              f"no report shows the server time {text}: {run.boxes}")
    return expectation


def box_says(pattern, buttons=("ok",)):
    """One box whose text matches `pattern` (a regular expression)."""
    def expectation(run):
        check(len(run.boxes) == 1, f"expected one box, saw {run.boxes}")
        box = run.boxes[0]
        check(re.fullmatch(pattern, box["text"], re.S), f"text {box['text']!r}")
        check(box["buttons"] == list(buttons), f"buttons {box['buttons']}")
    return expectation


def no_report(run):
    check(not [b for b in run.boxes if b["caption"].startswith("Host Address")],
          f"unexpected report: {run.boxes}")


def only_box(text, caption="Horavel", owner="strip", buttons=("ok",)):
    def expectation(run):
        check(len(run.boxes) == 1, f"expected one box, saw {run.boxes}")
        box = run.boxes[0]
        check(box["text"] == text, f"text {box['text']!r}")
        check(box["caption"] == caption, f"caption {box['caption']!r}")
        check(box["owner"] == owner, f"owner {box['owner']}, expected {owner}")
        check(box["buttons"] == list(buttons), f"buttons {box['buttons']}")
    return expectation


def no_response(owner="strip", *listed):
    """The box of a run that got no time: its first line, then each address asked
    and why it gave no time (among them `listed`)."""
    def expectation(run):
        check(len(run.boxes) == 1, f"expected one box, saw {run.boxes}")
        box = run.boxes[0]
        lines = box["text"].split("\r\n")
        check(lines[0] == "No response from any server !" and box["caption"] == "Horavel" and
              box["owner"] == owner and box["buttons"] == ["ok"], f"box {box}")
        check(all(any(line == item for line in lines[2:]) for item in listed), f"box {box}")
    return expectation


OFFER = ("Unable to set the clock !\nChanging the system time needs an administrator.\n\n"
         "Set the clock as administrator ?")


def offers_elevation(run):
    """Refused for want of the right: the second box offers to set the clock as administrator."""
    box = run.boxes[1]
    check(box["text"] == OFFER and box["caption"] == "Horavel" and box["owner"] == "strip" and
          box["buttons"] == ["yes", "no"], f"second box {box}")


def unable_to_set(run):
    """The last box says the clock could not be set, and why (Wine's text for error 1314)."""
    box = run.boxes[-1]
    check(box["text"] == "Unable to set the clock !\nPrivilege not held." and
          box["caption"] == "Horavel" and box["buttons"] == ["ok"], f"last box {box}")


def restarts(count, code=1):
    """`count` more runs of the program, each ended with `code` and never visible."""
    def expectation(run):
        main = run.of("exit")[0]["pid"]
        check(len(run.of("process-exit")) == count, f"other runs {run.of('process-exit')}")
        check(all(e["code"] == code for e in run.of("process-exit")), f"{run.of('process-exit')}")
        check(all(e["pid"] == main for e in run.of("visible")), f"visible {run.of('visible')}")
    return expectation


def no_boxes(run):
    check(not run.boxes, f"unexpected boxes: {run.boxes}")


def box_count(n):
    return lambda run: check(len(run.boxes) == n, f"expected {n} boxes, saw {run.boxes}")


def strip_placed(run, width=300):
    desktop = run.of("desktop")[0]
    shown = next(e for e in run.of("strip") if e["visible"])
    check(shown["left"] == (desktop["width"] - width) // 2 and
          shown["top"] == desktop["height"] // 2, f"strip at {shown['left']},{shown['top']}")
    check(shown["width"] == width and 10 <= shown["height"] <= 60,
          f"strip {shown['width']}x{shown['height']}: not a caption bar {width} wide")


def titles(*expected):
    """The strip's titles in order. "Horavel" stays only until the first host
    name is looked up, which may take less than the driver's poll: it may be
    missed where hosts follow, but never seen out of place."""
    def expectation(run):
        seen, hosts = run.titles, [t for t in expected if t != "Horavel"]
        ok = [t for t in seen if t != "Horavel"] == hosts
        if "Horavel" in seen:
            ok = ok and seen.index("Horavel") == 0 and seen.count("Horavel") == 1
        elif not hosts:
            ok = False  # with no host to ask, it is the strip's only title
        check(ok,
              f"strip titles {seen}, expected {list(expected)}")
    return expectation


def title_gap(first, second, low, high):
    def expectation(run):
        gap = run.title_time(second) - run.title_time(first)
        check(low <= gap <= high, f"{gap} ms from {first} to {second}, expected {low}-{high}")
    return expectation


def asked(address, times=1, port=37):
    def expectation(run):
        requests = run.asked(address)
        check(len(requests) == times, f"{address} asked {len(requests)} times, expected {times}")
        for r in requests:
            check(r["data"] == "48" and r["from"] in (CLIENT, CLIENT6), f"request {r}")
            check(port is None or r["port"] == port, f"request from port {r['port']}")
    return expectation


def asked_sntp(address, times=1):
    """SNTP requests: 48 bytes, 0x23 first, a fresh nonce as the transmit
    timestamp and nothing else, from a port the system picked."""
    def expectation(run):
        requests = run.asked(address)
        check(len(requests) == times, f"{address} asked {len(requests)} times, expected {times}")
        for r in requests:
            data = bytes.fromhex(r["data"])
            check(len(data) == 48 and data[0] == 0x23 and not any(data[1:40]) and any(data[40:])
                  and r["port"] not in (37, 123), f"request {r}")
        check(len({r["data"] for r in requests}) == times, "a nonce used twice")
    return expectation


def key_taken_within(ms):
    """The run ended within `ms` of the key pressed in its box."""
    def expectation(run):
        gap = run.of("exit")[0]["t"] - run.of("key")[0]["t"]
        check(gap <= ms, f"the key took {gap} ms to end the run")
    return expectation


def asked_first(first, then):
    """`first` was asked, and `then` after it, once each."""
    def expectation(run):
        order = [r["host"] for r in run.requests]
        check(order == [first, then], f"asked {order}, expected {first} then {then}")
    return expectation


def not_asked(*addresses):
    def expectation(run):
        for address in addresses:
            check(not run.asked(address), f"{address} was asked")
    return expectation


def asked_from_another_port(run):
    check(run.requests and all(r["port"] != 37 for r in run.requests),
          f"requests {run.requests}")


def nothing_visible(run):
    check(not run.of("visible"), f"windows became visible: {run.of('visible')}")


def only_the_box_visible(run):
    check([e["class"] for e in run.of("visible")] == ["#32770"], f"visible {run.of('visible')}")


def clock_set_by(drift, times=1):
    """Attempts to set the clock, each `drift` seconds (or one more) back from
    a second boundary, and soon after it."""
    def expectation(run):
        settings = run.clock_settings
        check(len(settings) == times, f"clock settings {settings}")
        for setting in settings:
            shown = round(-setting / 1000)
            check(shown in (drift, drift + 1), f"set {setting} ms off, expected {drift} s")
            late = -(setting + 1000 * shown)
            check(0 <= late <= 250, f"set {late} ms after the second boundary")
    return expectation


def one_event(kind, *texts, pc_ahead=None, count=1, matching=None, event_id=None, data=None):
    """Exactly one event in the log (or `count`), of this type (and id), saying all
    of `texts` (and matching the regular expression `matching`), its data
    matching the regular expressions `data`; its PC time `pc_ahead` seconds (or
    one more) after its server time."""
    def expectation(run):
        events = run.log_events
        check(len(events) == count, f"expected {count} {kind} events, saw {events}")
        for found, text, found_id, found_data in events:
            check(found == kind and all(t in text for t in texts) and
                  (matching is None or re.search(matching, text)),
                  f"{found} event {text!r}, expected {kind} saying {texts} {matching or ''}")
            check(event_id is None or found_id == event_id, f"event id {found_id}, not {event_id}")
            check(data is None or (len(found_data) == len(data) and
                                   all(re.fullmatch(d, f) for d, f in zip(data, found_data))),
                  f"event data {found_data}, expected {data}")
        if pc_ahead is not None:
            server, pc = (calendar.timegm(time.strptime(t, "%Y-%m-%dT%H:%M:%SZ")) for t in
                          re.findall(r"(?:Server|PC) time: (\S+)", text))
            check(pc - server in (pc_ahead, pc_ahead + 1), f"PC time {pc - server} s ahead in {text!r}")
    return expectation


def no_event(run):
    check(not run.log_events, f"unexpected events: {run.log_events}")


def clock_set_to(server_time):
    """Attempts to set the clock to what a server at `server_time` said. Wine
    prints the difference in 32 bits: it is compared modulo 2^32 ms."""
    def expectation(run):
        settings, asked_at = run.clock_settings, run.requests[-1]["t"]
        check(settings, "no clock setting")
        for setting in settings:
            off = (setting - round((server_time - asked_at) * 1000)) % 2**32
            check(min(off, 2**32 - off) < 2000,
                  f"set {setting} ms off at {asked_at}, expected to {server_time}")
    return expectation


def clock_untouched(run):
    check(not run.clock_settings, f"clock settings {run.clock_settings}")


def closed_then(box_within_ms=None, exit_within_ms=1500):
    """After the strip is closed: a box within that time (or none), then the exit."""
    def expectation(run):
        closed = run.of("close")[0]["t"]
        if box_within_ms is not None:
            check(run.boxes and run.boxes[0]["t"] - closed <= box_within_ms,
                  f"box {run.boxes} not within {box_within_ms} ms of the close at {closed}")
        else:
            exited = run.of("exit")[0]["t"]
            check(exited - closed <= exit_within_ms, f"exit {exited - closed} ms after the close")
    return expectation


def report_within(ms):
    """The report comes before the first host's timeout would have ended its wait."""
    def expectation(run):
        start = run.of("desktop")[0]["t"]
        check(run.boxes and run.boxes[0]["t"] - start <= ms, f"no box within {ms} ms: {run.boxes}")
    return expectation


def finished_within(low, high):
    def expectation(run):
        exited = run.of("exit")[0]["t"]
        start = run.of("desktop")[0]["t"]
        check(low <= exited - start <= high, f"run took {exited - start} ms, expected {low}-{high}")
    return expectation


# -- the table ----------------------------------------------------------------------------------
# Where the domain governs the clock; what a run of the task is started with.
DOMAIN_CONTROLLER = {r"SYSTEM\CurrentControlSet\Control\ProductOptions\ProductType": "LanmanNT"}
W32TIME_SERVICE = r"SYSTEM\CurrentControlSet\Services\W32Time"
W32TIME_POLICY = r"SOFTWARE\Policies\Microsoft\W32Time\Parameters\Type"
DOMAIN_MEMBER = {W32TIME_SERVICE + r"\Parameters\Type": "NT5DS",
                 W32TIME_SERVICE + r"\TimeProviders\NtpClient\Enabled": 1}
TASK_RUN = ["/hide", "/exitcode", "/scheduled:4"]


TABLE = [
    # The report and its answers.
    Row("interactive, PC 90 s ahead, No: the drift left, exit 4", ini(SERVER, SERVER_2),
        [serve(SERVER, offset=-90), serve(SERVER_2, offset=-90)], answers="no",
        args=["/exitcode"], status=4,
        expect=[strip_placed, titles("Horavel", SERVER), report(SERVER, 90), box_count(1),
                asked(SERVER), not_asked(SERVER_2), clock_untouched, no_event]),
    Row("drift 0: no correction, OK", ini(SERVER), [serve(SERVER)], answers="ok",
        expect=[report(SERVER, 0), clock_untouched]),
    Row("TZ EST5: the report shows Eastern standard time", ini(SERVER),
        [serve(SERVER, offset=-90)], answers="no", tz="EST5",
        expect=[report(SERVER, 90, zone=-5 * 3600)]),
    # Without TZ rules both times are shown as the system shows its own.
    Row("system zone Sydney: a correct clock has no drift", ini(SERVER), [serve(SERVER)],
        answers="ok", tz="Australia/Sydney", expect=[report(SERVER, 0, zone="Australia/Sydney")]),
    Row("system zone Berlin: summer time in the last week of March", ini(SERVER),
        [serve(SERVER, reply=count_at(2027, 3, 29, 12, 0, 0))], answers="no", tz="Europe/Berlin",
        expect=[server_shown("29/03/2027     14:00:00"), report(SERVER, None, zone="Europe/Berlin")]),

    # Which hosts are asked.
    Row("no INI file: nothing sent, No response", None, [serve(SERVER)], answers="ok",
        expect=[strip_placed, titles("Horavel"), no_response(), not_asked(SERVER)]),
    Row("MaxHost 0: no host asked, nothing to ask: exit 6", ini(SERVER, MaxHost=0),
        [serve(SERVER)], answers="ok", args=["/ExitCode"], status=6,
        expect=[titles("Horavel"), no_response(), not_asked(SERVER)]),
    Row("MaxHost 2: Host2 is never asked", ini(SERVER, None, SERVER_2, MaxHost=2, HostTimeout=500),
        [serve(SERVER, silent=True), serve(SERVER_2)], answers="ok",
        expect=[asked(SERVER), not_asked(SERVER_2),
                no_response("strip", f"{SERVER} ({SERVER}): silent")]),
    Row("Host0 empty, Host1 asked", ini("", SERVER), [serve(SERVER, offset=-90)], answers="no",
        expect=[titles("Horavel", SERVER), report(SERVER, 90)]),
    Row("Host0 silent, then Host1 answers", ini(SERVER, SERVER_2, HostTimeout=1000),
        [serve(SERVER, silent=True), serve(SERVER_2, offset=-90)], answers="no",
        expect=[titles("Horavel", SERVER, SERVER_2), title_gap(SERVER, SERVER_2, 900, 1800),
                asked(SERVER), asked(SERVER_2), report(SERVER_2, 90)]),
    Row("host by name: the caption shows its address", ini("timehost.test"),
        [serve(SERVER, offset=-90)], answers="no",
        expect=[titles("Horavel", "timehost.test"), report(SERVER, 90)]),
    Row("broadcast: the first reply, from any host, is the answer",
        ini("255.255.255.255", HostTimeout=1000), [serve("255.255.255.255", offset=-90)],
        answers="no", expect=[asked("255.255.255.255"),
                              report(SERVER, 90, answer_host="255.255.255.255")]),
    # Nothing is sent for it, so its title may pass between two looks of the driver.
    Row("a name that does not resolve is skipped", ini("nosuch.invalid", SERVER, HostTimeout=500),
        [serve(SERVER, offset=-90)], answers="no",
        expect=[asked(SERVER), report(SERVER, 90)]),
    # The answer comes 100 ms late, while the run goes on through 500 silent hosts.
    Row("HostTimeout 0: a later read takes an earlier host's answer",
        ini(SERVER, *[SERVER_2] * 500, HostTimeout=0, MaxHost=501),
        [serve(SERVER, offset=-90, align=False, delay=100), serve(SERVER_2, silent=True)],
        answers="no",
        expect=[report(SERVER_2, 90, answer_host=SERVER)]),

    # Replies.
    Row("three-byte replies are no answer; no answer after them is lost",
        ini(*[SERVER] * 8, SERVER_2, HostTimeout=3000),
        [serve(SERVER, reply="eec256"), serve(SERVER_2, offset=-90, align=False)], answers="no",
        repeat=5, expect=[asked(SERVER, times=8), report_within(1500), report(SERVER_2, 90)]),
    Row("255-byte reply is read from its first four bytes", ini(SERVER),
        [serve(SERVER, offset=-90, trailer="ff" * 251)], answers="no", expect=[report(SERVER, 90)]),
    # 600,000 hours west: no local time exists before mid-2038.
    Row("a time the zone cannot show is skipped", ini(SERVER, SERVER_2), tz="ABC600000",
        servers=[serve(SERVER, offset=-90), serve(SERVER_2, reply=count_at(2040, 1, 1, 0, 0, 0))],
        answers="no", expect=[caption(SERVER_2), server_shown("22/07/1971     00:00:00")]),
    Row("a time the zone cannot show, unattended: corrected all the same", ini(SERVER),
        [serve(SERVER, offset=-90)], tz="ABC600000", args=["/hide"],
        expect=[nothing_visible, clock_set_by(90)]),
    Row("MaxStep 3600, unattended, a server in 2090: not set, an error logged, exit 4",
        ini(SERVER, MaxStep=3600), [serve(SERVER, reply=count_at(2090, 1, 1, 0, 0, 0))],
        args=["/hide", "/exitcode"], status=4,
        expect=[nothing_visible, clock_untouched,
                one_event("error", "The clock was not set", "behind the time server",
                          "more than MaxStep allows (3600 seconds)")]),

    # Configuration.
    Row("keys in any case, blanks and quotes, MaxHost 3x, comments",
        "[time servers]\n;Host0=10.37.0.4\n  hOsT1 = \"10.37.0.2\"  \nMAXHOST = 3x\nHost5=10.37.0.3\n",
        [serve(SERVER, offset=-90), serve(SERVER_2), serve(THIRD)], answers="no",
        expect=[titles("Horavel", SERVER), report(SERVER, 90), not_asked(SERVER_2, THIRD)]),
    Row("MaxHost 2147483647 with three silent hosts: three timeouts",
        ini(SERVER, SERVER_2, THIRD, MaxHost=2147483647, HostTimeout=1000),
        [serve(a, silent=True) for a in (SERVER, SERVER_2, THIRD)], answers="ok",
        expect=[no_response(), finished_within(3000, 4500)]),
    Row("HostTimeout -1 means no wait", ini(SERVER, HostTimeout=-1), [serve(SERVER, silent=True)],
        answers="ok", expect=[no_response(), finished_within(0, 3000)]),
    Row("HostTimeout 3000000000 waits 32.767 s", ini(SERVER, MaxHost=1, HostTimeout=3000000000),
        [serve(SERVER, silent=True)], answers="ok",
        expect=[no_response(),
                lambda run: check(32000 <= run.boxes[0]["t"] - run.title_time(SERVER) <= 36000,
                                  "the wait did not last 32.767 s")]),
    Row("a long executable name reads its own INI", ini(SERVER), [serve(SERVER, offset=-90)],
        answers="no", program="horavel-with-a-rather-long-name.exe", expect=[report(SERVER, 90)]),

    # Port 37 taken.
    Row("port 37 taken, interactive: WINSOCK Error only, exit 6", ini(SERVER), [serve(SERVER)],
        hold_port_37=True, answers="ok", args=["/exitcode"], status=6,
        expect=[only_box("WINSOCK Error", owner="none"), only_the_box_visible, not_asked(SERVER)]),
    Row("port 37 taken, unattended: asks from another port", ini(SERVER), [serve(SERVER)],
        args=["/hide"], hold_port_37=True,
        expect=[nothing_visible, no_boxes, asked_from_another_port]),

    # Unattended runs.
    Row("unattended, no answer: nothing shown, a warning logged, exit 2",
        ini(SERVER, HostTimeout=500), [serve(SERVER, silent=True)], args=["/hide", "/exitcode"],
        status=2,
        expect=[nothing_visible, no_boxes, asked(SERVER), clock_untouched,
                one_event("warning", "1 server asked, 500 ms each")]),
    # Wine refuses to set the clock, as Windows does without the right.
    Row("unattended, PC 90 s ahead: corrected without a word, the refusal logged, exit 5",
        ini(SERVER), [serve(SERVER, offset=-90)], args=["/hide", "/exitcode"], status=5,
        expect=[nothing_visible, no_boxes, clock_set_by(90),
                one_event("error", "90 seconds ahead", "Error 1314: ",
                          f"Time server: {SERVER} ({SERVER})", pc_ahead=90, event_id=4,
                          data=[SERVER, SERVER, "RFC 868", r"-9[01]000", "1", r"\d+"])]),
    Row("/check, PC 90 s ahead: the drift with OK only, the clock untouched, exit 4", ini(SERVER),
        [serve(SERVER, offset=-90)], args=["/check", "/exitcode"], answers="ok", status=4,
        expect=[box_says(r"Horavel :  [^\n]*\nPC  Time :  [^\n]*\n\n"
                         r"Your PC's clock has  9[01] seconds drift !\n"),
                caption(SERVER), clock_untouched, no_event]),
    Row("Group Policy's server list and MaxStep over the INI's: its server asked, the step refused",
        ini(SERVER), [serve(SERVER, offset=-90), serve(SERVER_2, ntp=True, offset=-90.25)],
        policy={r"TimeServers\Host1": f"ntp:{SERVER_2}", "MaxStep": 60},
        args=["/hide", "/exitcode"], status=4,
        expect=[not_asked(SERVER), asked_sntp(SERVER_2), clock_untouched,
                one_event("error", "more than MaxStep allows (60 seconds)",
                          f"ntp:{SERVER_2} ({SERVER_2}); servers from Group Policy", event_id=6)]),
    Row("/hide /check, PC 90 s ahead: the drift logged, the clock untouched, exit 4", ini(SERVER),
        [serve(SERVER, offset=-90)], args=["/hide", "/check", "/exitcode"], status=4,
        expect=[nothing_visible, clock_untouched,
                one_event("information", "Clock checked, not corrected", "seconds ahead")]),
    Row("unattended, drift 0: nothing to do, logged, exit 0", ini(SERVER), [serve(SERVER)],
        args=["/hide", "/exitcode"], status=0,
        expect=[nothing_visible, no_boxes, clock_untouched,
                one_event("information", "agrees with the time server", pc_ahead=0)]),
    # Started by the task: up to 2 s of random wait, then it asks until 4 s after it began.
    Row("a run of the task (/scheduled:4), hosts silent: it stops asking at its deadline and "
        "says so", ini(SERVER, SERVER_2, THIRD, HostTimeout=2000),
        [serve(a, silent=True) for a in (SERVER, SERVER_2, THIRD)],
        args=["/hide", "/exitcode", "/scheduled:4"], status=2,
        expect=[asked(SERVER), not_asked(THIRD), finished_within(3800, 6500),
                one_event("warning", "It stopped at its deadline.")]),
    # The task's runs never fight the domain's time keeping, unless a policy says so.
    *[Row(f"a run of the task, {what}: {'corrects' if reason is None else 'only checks'}",
          ini(SERVER), [serve(SERVER, offset=-90)], args=args, machine=machine, policy=policy,
          status=5 if reason is None else 4,
          expect=[clock_set_by(90)] if reason is None else
          [clock_untouched, one_event("information", "Clock checked, not corrected", reason,
                                      event_id=8)])
      for what, machine, policy, args, reason in (
          ("a domain controller", DOMAIN_CONTROLLER, None, TASK_RUN,
           "this PC is a domain controller"),
          ("Windows Time on the domain hierarchy", DOMAIN_MEMBER, None, TASK_RUN,
           "Windows Time follows the domain hierarchy"),
          ("a domain controller, CheckOnly 0 by policy", DOMAIN_CONTROLLER, {"CheckOnly": 0},
           TASK_RUN, None),
          ("Windows Time NoSync by policy over NT5DS", {**DOMAIN_MEMBER, W32TIME_POLICY: "NoSync"},
           None, TASK_RUN, None),
          ("/hide alone on a domain controller", DOMAIN_CONTROLLER, None, ["/hide", "/exitcode"],
           None))],
    # A box there would wait until the driver's timeout, and the status would be 99.
    Row("/Hide /Check /ExitCode on a window station nobody sees: as /hide, the event, exit 4",
        ini(SERVER), [serve(SERVER, offset=-90)], args=["/Hide", "/Check", "/ExitCode"],
        station=True, status=4,
        expect=[clock_untouched, one_event("information", "Clock checked, not corrected")]),
    Row("/hide /unistall: nothing asked, an error names the word, exit 6 without /exitcode",
        ini(SERVER), [serve(SERVER, offset=-90)], args=["/hide", "/unistall"], status=6,
        expect=[nothing_visible, not_asked(SERVER), clock_untouched,
                one_event("error", 'Horavel did nothing: it knows no switch "/unistall".')]),
    Row('"C:\\...\\horavel.exe"/hide, no blank after the quote: unattended', ini(SERVER),
        [serve(SERVER, offset=-90)], args=["/hide"], no_blank=True, answers="no",
        expect=[nothing_visible, no_boxes, clock_set_by(90)]),

    # Closing the strip.
    Row("strip closed while waiting for the last index: No response, no owner",
        ini(None, SERVER, MaxHost=2, HostTimeout=5000), [serve(SERVER, silent=True)],
        close_on_title=SERVER, answers="ok",
        expect=[no_response(owner="none"), closed_then(box_within_ms=1500)]),
    Row("strip closed while waiting for an earlier index: the run stops",
        ini(SERVER, SERVER_2, HostTimeout=5000), [serve(SERVER, silent=True), serve(SERVER_2)],
        close_on_title=SERVER, expect=[no_boxes, not_asked(SERVER_2), closed_then()]),
    # Past both wraps: the protocol's count in 2036, 32-bit times in 2038.
    Row("a server in 2040: its date, the drift, and the setting", ini(SERVER),
        [serve(SERVER, reply=count_at(2040, 1, 1, 0, 0, 0))], answers="yes,no",
        expect=[server_shown("01/01/2040     00:00:00"), report(SERVER, None),
                clock_set_to(calendar.timegm((2040, 1, 1, 0, 0, 0)))]),
    Row("a server a second past the 2036 wrap, unattended: set to it", ini(SERVER),
        [serve(SERVER, reply="00000001")], args=["/hide"],
        expect=[nothing_visible, clock_set_to(calendar.timegm((2036, 2, 7, 6, 28, 17))),
                one_event("error", "Server time: 2036-02-07T06:28:17Z", "behind")]),
    # WM_TIMER 1, and on x64 also 0x100000001 (only a 64-bit WPARAM holds more than
    # the slot number), posted from outside during the wait: it goes on to its deadline.
    Row("a foreign WM_TIMER during the wait: harmless", ini(SERVER, HostTimeout=5000),
        [serve(SERVER, offset=-90, delay=1500)], timer_on_title=SERVER, answers="no",
        expect=[lambda run: check(run.of("timer-posted"), "no timer posted"),
                report(SERVER, 90)]),

    # Correcting the clock.
    # Wine refuses the setting (1314) even to an elevated process, and starts
    # "runas" elevated without a prompt; the driver starts the program limited.
    Row("Yes, PC 90 s ahead: set 90 s back, refused; No to setting it as administrator",
        ini(SERVER, SERVER_2), [serve(SERVER, offset=-90), serve(SERVER_2)], answers="yes,no",
        expect=[report(SERVER, 90), clock_set_by(90), offers_elevation, box_count(2),
                asked(SERVER), not_asked(SERVER_2), restarts(0),
                one_event("error", "90 seconds ahead", "Error 1314: ")]),
    # Only the elevated run logs: the refusal that led to it is no error of its own.
    Row("Yes, PC 90 s behind, refused; Yes: the approved drift set as administrator, who fails",
        ini(SERVER), [serve(SERVER, offset=90)], answers="yes,yes,ok", args=["/exitcode"],
        status=5,
        expect=[report(SERVER, -90), clock_set_by(-90, times=2), offers_elevation, box_count(3),
                unable_to_set, asked(SERVER, times=1), restarts(1, code=1314),
                one_event("error", "90 seconds behind", "Error 1314: ")]),
    Row("Yes, refused although elevated: no offer, the reason", ini(SERVER),
        [serve(SERVER, offset=-90)], answers="yes,ok", elevated=True,
        expect=[report(SERVER, 90), clock_set_by(90), box_count(2), unable_to_set, restarts(0)]),
    Row("Yes after three seconds: the measured drift is applied", ini(SERVER),
        [serve(SERVER, offset=-90)], answers="yes,no", answer_delay=3000,
        expect=[report(SERVER, 90), clock_set_by(90)]),
]




def plugin_line(word, drift=None, warn="-1:1", crit="-60:60", text=None):
    """The one line of /check for a monitoring system, written to its output file:
    this status; for a time, a drift (server minus PC) within 0.1 s of `drift`, as
    the text says it and as the performance data (a plain number, the thresholds as
    ranges around zero); without one, no performance data and the text `text`."""
    def expectation(run):
        output = run.of("output")
        check(output, "no output file")
        line = output[0]["text"]
        match = re.fullmatch(r"HORAVEL (OK|WARNING|CRITICAL|UNKNOWN) - (.*?)"
                             r"(?: \| drift=(-?\d+\.\d{3})s;([-\d.:]*);([-\d.:]*))?\n", line)
        check(match and match.group(1) == word, f"line {line!r}, expected {word}")
        if drift is None:
            check(match.group(3) is None and (text is None or re.fullmatch(text, match.group(2))),
                  f"line {line!r}, expected {text} without performance data")
            return
        said = re.search(r"drift ([+-]\d+\.\d{3}) s from ntp:\S+ \(\S+\)", match.group(2))
        check(said and float(said.group(1)) == float(match.group(3)) and
              abs(float(said.group(1)) - drift) < 0.1 and match.group(4, 5) == (warn, crit),
              f"line {line!r}, expected a drift of {drift}, ranges {warn} {crit}")
    return expectation


# Hostile and broken replies, each asked first: what Horavel makes of it when a good
# server follows, and that an unattended run never corrects the clock from it.
THIRD_FIRST = dict(delay=300, third={"from": THIRD, "count": 3, "data": "eec1f1c0"})
HOSTILE = [  # (what, the first host, its behaviour or None for no listener, accepted)
    ("zero bytes", SERVER, dict(reply=""), False),
    ("three bytes", SERVER, dict(reply="eec256"), False),
    ("five bytes", SERVER, dict(offset=-90, trailer="ff"), True),
    ("256 bytes", SERVER, dict(offset=-90, trailer="ff" * 252), False),
    ("four zero bytes", SERVER, dict(reply="00000000"), False),
    # A clock that was reset: no sound clock reads a time before the build.
    ("0x80000000, 1968", SERVER, dict(reply="80000000"), False),
    ("1970-01-01 01:00", SERVER, dict(reply=count_at(1970, 1, 1, 1, 0, 0)), False),
    ("a third address answering first", SERVER, dict(offset=-90, **THIRD_FIRST), True),
    ("a silent server", SERVER, dict(silent=True), False),
    ("an address with no listener", NO_LISTENER, None, False),
]
for what, host, behaviour, accepted in HOSTILE:
    servers = ([serve(host, **behaviour)] if behaviour else []) + [serve(SERVER_2, offset=-90)]
    TABLE.append(Row(f"hostile reply, {what}: {'accepted' if accepted else 'skipped'}",
                     ini(host, SERVER_2, HostTimeout=1000), servers, senders=[THIRD], answers="no",
                     expect=[report(host if accepted else SERVER_2, 90)]))
    TABLE.append(Row(f"hostile reply, {what}, unattended: "
                     f"{'corrected' if accepted else 'clock untouched'}",
                     ini(host, HostTimeout=1000), servers[:-1], senders=[THIRD], args=["/hide"],
                     expect=[nothing_visible, clock_set_by(90) if accepted else clock_untouched]))
# /check for a monitoring system: its line and status, and no event.
for status, word, drift in ((0, "OK", 0.2), (1, "WARNING", -5), (2, "CRITICAL", 90), (2, "CRITICAL", None)):
    TABLE.append(Row(
        f"/hide /check /warn:1 /crit:60, output to a file, "
        f"{'no answer' if drift is None else f'a drift of {drift} s'}: {word}, exit {status}",
        ini(f"ntp:{SERVER}", HostTimeout=500),
        [serve(SERVER, ntp=True, silent=drift is None, offset=drift or 0)],
        args=["/hide", "/check", "/warn:1", "/crit:60"], output=True, status=status,
        expect=[plugin_line(word, drift, text=rf"no time server answered: ntp:{SERVER} "
                                             rf"\({SERVER}\) silent"), no_event, clock_untouched]))
TABLE += [
    # A monitoring agent in an interactive session: no box to wait on.
    Row("/check without /hide, output to a file: no window, the line without thresholds, exit 0",
        ini(f"ntp:{SERVER}"), [serve(SERVER, ntp=True, offset=0.2)], args=["/check"],
        output=True, status=0,
        expect=[nothing_visible, no_boxes, plugin_line("OK", 0.2, warn="", crit=""), no_event,
                clock_untouched]),
    Row("/check/hide, /hide glued to /check: refused, nothing asked, exit 6", ini(SERVER),
        [serve(SERVER, offset=-90)], args=["/check/hide"], status=6,
        expect=[not_asked(SERVER), clock_untouched,
                one_event("error", 'it knows no switch "/check/hide"')]),
    Row("/check /timeout:3, four silent hosts of 2 s each: CRITICAL within 4.5 s, exit 2",
        ini(*(f"ntp:{a}" for a in (SERVER, SERVER_2, THIRD, SERVER)), HostTimeout=2000),
        [serve(a, ntp=True, silent=True) for a in (SERVER, SERVER_2, THIRD)],
        args=["/check", "/timeout:3"], output=True, status=2,
        expect=[plugin_line("CRITICAL", text=r"no time within /timeout:3 s"),
                finished_within(2900, 4500), nothing_visible]),
    Row("ntp:::ffff: and the server's IPv4 address: asked over IPv4, answered",
        ini(f"ntp:::ffff:{SERVER}"), [serve(SERVER, ntp=True, offset=-90.25)], answers="no",
        expect=[asked_sntp(SERVER), fine_report(SERVER, 90250, 3)]),
    Row("a policy list of three servers with MaxHost 1: all three asked",
        ini(f"ntp:{SERVER}", MaxHost=1, HostTimeout=500),
        [serve(a, ntp=True, silent=True) for a in (SERVER_2, THIRD)] +
        [serve(SERVER, ntp=True, offset=-90.25)],
        policy={r"TimeServers\Host1": f"ntp:{SERVER_2}", r"TimeServers\Host2": f"ntp:{THIRD}",
                r"TimeServers\Host3": f"ntp:{SERVER}", "MaxHost": 1},
        args=["/hide", "/check", "/exitcode"], status=4,
        expect=[asked_sntp(SERVER_2), asked_sntp(THIRD), asked_sntp(SERVER), clock_untouched]),
    # Bursts: the least delayed of a server's samples, politely.
    Row("Samples 8: a silent server costs one timeout; the next answers, then RATE: its answer "
        "stepped to",
        ini(f"ntp:{SERVER}", f"ntp:{SERVER_2}", Samples=8, HostTimeout=1000),
        [serve(SERVER, ntp=True, silent=True),
         serve(SERVER_2, ntp=True, offset=-90.25, kiss_after=1)],
        args=["/hide", "/exitcode"], status=5,
        expect=[asked_sntp(SERVER), asked_sntp(SERVER_2, times=2), clock_set_near(-90250, 3),
                finished_within(4900, 7500),
                one_event("error", "Protocol: SNTPv4",
                          data=[f"ntp:{SERVER_2}", SERVER_2, "SNTP", r"-90\d\d\d", "1", r"\d+"])]),
    Row("a run of the task: several samples, at least 4 s apart, the least delayed stepped to",
        ini(f"ntp:{SERVER}"), [serve(SERVER, ntp=True, offset=-90.25)],
        args=["/hide", "/exitcode", "/scheduled:20"], status=5,
        expect=[clock_set_near(-90250, 3), lambda run: check(
            len(run.asked(SERVER)) >= 2 and all(b["t"] - a["t"] >= 3.9 for a, b in zip(
                run.asked(SERVER), run.asked(SERVER)[1:])),
            f"requests at {[r['t'] for r in run.asked(SERVER)]}")]),
    Row("a checking task's run beyond CheckWarn: warning event 14 naming it, exit 4",
        ini(SERVER), [serve(SERVER, offset=-90)], args=TASK_RUN,
        policy={"CheckOnly": 1, "CheckWarn": 500, "CheckCrit": 600000}, status=4,
        expect=[clock_untouched, one_event("warning", "beyond CheckWarn 500 ms", event_id=14)]),
]
TABLE += [
    # SNTP: times to the millisecond, a nonce to match, refusals.
    Row("SNTP, PC 90.250 s ahead: the report to the millisecond; Yes sets it within 3 ms",
        ini(f"ntp:{SERVER}"), [serve(SERVER, ntp=True, offset=-90.25)], answers="yes,no",
        expect=[titles("Horavel", f"ntp:{SERVER}"), asked_sntp(SERVER),
                fine_report(SERVER, 90250, 3), clock_set_near(-90250, 3), offers_elevation,
                one_event("error", "seconds ahead of the time server", "Protocol: SNTPv4")]),
    Row("SNTP: a forged reply an hour off comes first, the real one is taken",
        ini(f"ntp:{SERVER}"), [serve(SERVER, ntp=True, offset=-90.25, forged=True)],
        answers="no", expect=[fine_report(SERVER, 90250, 3)]),
    Row("SNTP: a Kiss-o'-Death, then the next host at once",
        ini(f"ntp:{SERVER}", f"ntp:{SERVER_2}", HostTimeout=5000),
        [serve(SERVER, ntp=True, kiss="RATE"), serve(SERVER_2, ntp=True, offset=-90.25)],
        answers="no", expect=[asked_sntp(SERVER), fine_report(SERVER_2, 90250, 3),
                              report_within(2500)]),
    Row("SNTP, unattended, no time: the event says why for each host",
        ini(f"ntp:{SERVER}", THIRD, f"ntp:{SERVER_2}", "ntp:nosuch.invalid", HostTimeout=500),
        [serve(SERVER, ntp=True, kiss="RATE"), serve(THIRD, silent=True),
         serve(SERVER_2, ntp=True, leap=3)], args=["/hide"],
        expect=[clock_untouched, one_event("warning", "4 servers asked",
                                           f"ntp:{SERVER} ({SERVER}): refused (RATE)",
                                           f"{THIRD} ({THIRD}): silent",
                                           f"ntp:{SERVER_2} ({SERVER_2}): unsynchronised",
                                           "ntp:nosuch.invalid (0.0.0.0): name not found")]),
    # Wine's trace shows an event's first 300 characters or so: a row of its own.
    Row("clocks reset to 1970, SNTP (stratum 1) and RFC 868, unattended: why, in the event",
        ini(f"ntp:{SERVER}", SERVER_2, HostTimeout=500),
        [serve(SERVER, ntp=True, offset=3600 - time.time()),
         serve(SERVER_2, reply=count_at(1970, 1, 1, 1, 0, 0))], args=["/hide"],
        expect=[clock_untouched, one_event("warning", "2 servers asked",
                                           f"ntp:{SERVER} ({SERVER}): clock before 20",
                                           f"{SERVER_2} ({SERVER_2}): clock before 20")]),

    # Agreement: three answers wanted, a majority of two to step.
    Row("Agree 3: a falseticker first is outvoted and named; Yes steps by the SNTP answer",
        ini(SERVER, f"ntp:{SERVER_2}", THIRD, Agree=3),
        [serve(SERVER, offset=3600), serve(SERVER_2, ntp=True, offset=-90.25),
         serve(THIRD, offset=-90)], answers="yes,no",
        expect=[asked(SERVER), asked_sntp(SERVER_2), asked(THIRD), fine_report(SERVER_2, 90250, 3),
                lambda run: check(re.search(r"\nDisagreed: 10\.37\.0\.2 \(\+(3599|3600|3601) s\)\n",
                                            run.boxes[0]["text"]), f"report {run.boxes[0]}"),
                clock_set_near(-90250, 3), offers_elevation,
                one_event("error", "Protocol: SNTPv4", matching=r"\r\nDisagreed: 10\.37\.0\.2 \(\+36")]),
    Row("Agree 3 without a majority: the servers disagree, OK only, the clock untouched",
        ini(SERVER, f"ntp:{SERVER_2}", THIRD, Agree=3, HostTimeout=500),
        [serve(SERVER, offset=3600), serve(SERVER_2, ntp=True, offset=-90.25),
         serve(THIRD, silent=True)], answers="ok",
        expect=[box_says(r"The time servers disagree\.\.\.\r\n\r\n10\.37\.0\.2 \(10\.37\.0\.2\): "
                         r"\+36\d\d s\r\nntp:10\.37\.0\.3 \(10\.37\.0\.3\): -90\.2\d\d s\r\n"
                         r"10\.37\.0\.4 \(10\.37\.0\.4\): silent\r\n\r\n"
                         r"The clock is left alone: 2 of 3 answered, 2 must agree\."),
                clock_untouched, no_event]),
    Row("Agree 3 without a majority, unattended: a warning lists each host, exit 3",
        ini(SERVER, f"ntp:{SERVER_2}", THIRD, Agree=3, HostTimeout=500),
        [serve(SERVER, offset=3600), serve(SERVER_2, ntp=True, offset=-90.25),
         serve(THIRD, silent=True)], args=["/hide", "/exitcode"], status=3,
        expect=[nothing_visible, clock_untouched,
                one_event("warning", "the time servers disagree; at least 2 of 3 must agree",
                          f"\r\n{THIRD} ({THIRD}): silent",
                          matching=rf"\r\n{SERVER} \({SERVER}\): \+36\d\d s\r\n"
                                   rf"ntp:{SERVER_2} \({SERVER_2}\): -90\.2\d\d s")]),
    Row("chronyd, its clock 90 s ahead: read over SNTP", ini(f"ntp:{CHRONY}"),
        peers=[("chrony", CHRONY)], answers="no",
        expect=[fine_report(CHRONY, -CHRONY_AHEAD * 1000, 20)]),

    # Real peers: servers and a client that we did not write.
    Row("xinetd's time service: no drift", ini(XINETD), peers=[("xinetd", XINETD)],
        answers="dismiss", expect=[report(XINETD, 0)]),
    Row("inetutils inetd's eight-byte reply: no drift", ini(INETD), peers=[("inetd", INETD)],
        answers="dismiss", expect=[report(INETD, 0)]),
    Row("rdate reads our scripted server 90 s behind", None, [serve(SERVER, offset=-90)],
        command=["rdate", "-u", "-p", SERVER], expect=[prints_time(-90)]),

    # About 1.5 s of flood; the wait may last longer on a busy machine.
    Row("flood: 10,000 datagrams from a third address, then the answer",
        ini(SERVER, HostTimeout=5000),
        [serve(SERVER, offset=-90, third={"from": THIRD, "count": 10000, "data": "eec1f1c0",
                                          "burst": 50, "pause": 7})],
        senders=[THIRD], answers="no", expect=[report(SERVER, 90)]),
    # Before the answer's wait ends, datagrams from elsewhere keep coming and
    # the last one is still queued.
    Row("flood for 8 s while a silent host is asked: the wait ends on time, takes nothing",
        ini(SERVER, HostTimeout=1000),
        [serve(SERVER, silent=True, third={"from": THIRD, "seconds": 8, "data": "eec1f1c0",
                                           "burst": 50, "pause": 5})],
        senders=[THIRD], args=["/hide"], expect=[finished_within(0, 4000), clock_untouched]),
    # Outside a wait nothing is read: a queue kept full must not starve the boxes.
    Row("flood for 8 s after the answer: the report takes a pressed key at once", ini(SERVER),
        [serve(SERVER, offset=-90, then={"from": THIRD, "seconds": 8, "data": "eec1f1c0",
                                          "burst": 50, "pause": 5})],
        senders=[THIRD], answers="key-n",
        expect=[report(SERVER, 90), clock_untouched, key_taken_within(1000)]),
    Row("broadcast: four zero bytes first, a time 100 ms later from another host: the time",
        ini("255.255.255.255", HostTimeout=1000),
        [serve("255.255.255.255", reply="00000000"),
         serve("255.255.255.255", offset=-90, delay=100, reply_from=SERVER_2)],
        senders=[SERVER_2], answers="no",
        expect=[report(SERVER_2, 90, answer_host="255.255.255.255")]),
    Row("SNTP broadcast: an unsynchronised reply first, a time 100 ms later: the time",
        ini("ntp:255.255.255.255", HostTimeout=1000),
        [serve("255.255.255.255", ntp=True, leap=3),
         serve("255.255.255.255", ntp=True, offset=-90.25, delay=100)],
        answers="no", expect=[fine_report(SERVER, 90250, 3)]),
    # IPv6 and dual-stack names; a domain controller's root dispersion.
    Row("SNTP at an IPv6 literal, full and bracketed, Agree 2: the short form, Yes steps to it",
        ini(f"ntp:fd37:0000:0000:0000:0000:0000:0000:0002", f"ntp:[{SERVER6}]", Agree=2),
        [serve(SERVER6, ntp=True, offset=-90.25)], answers="yes,no",
        expect=[asked_sntp(SERVER6, times=2), fine_report(SERVER6, 90250, 3),
                clock_set_near(-90250, 3)]),
    Row("a name with an IPv6 address alone, unattended: stepped to it", ini("ntp:six.test"),
        [serve(SERVER6, ntp=True, offset=-90.25)], args=["/hide"],
        expect=[clock_set_near(-90250, 3), one_event("error", f"Time server: ntp:six.test ({SERVER6})")]),
    Row("a dual-stack name, IPv6 first and silent: its IPv4 address answers",
        ini("ntp:dual.test", HostTimeout=1000), family_first="6", answers="no",
        servers=[serve(SERVER6, ntp=True, silent=True), serve(SERVER_2, ntp=True, offset=-90.25)],
        expect=[asked_first(SERVER6, SERVER_2), fine_report(SERVER_2, 90250, 3)]),
    Row("a dual-stack name, IPv4 first and silent: its IPv6 address answers",
        ini("ntp:dual.test", HostTimeout=1000), family_first="4", answers="no",
        servers=[serve(SERVER_2, ntp=True, silent=True), serve(SERVER6, ntp=True, offset=-90.25)],
        expect=[asked_first(SERVER_2, SERVER6), fine_report(SERVER6, 90250, 3)]),
    Row("RFC 868 over IPv6: asked from local port 37", ini(f"[{SERVER6}]"),
        [serve(SERVER6, offset=-90)], answers="no", expect=[asked(SERVER6), report(SERVER6, 90)]),
    Row("a root dispersion of 10 s, unattended: skipped, its distance named", ini(f"ntp:{SERVER}"),
        [serve(SERVER, ntp=True, offset=-90.25, dispersion=10)], args=["/hide", "/exitcode"],
        status=2, expect=[clock_untouched, one_event(
            "warning", f"ntp:{SERVER} ({SERVER}): root distance 10.000 s over MaxDistance 1.500 s")]),
    Row("a root dispersion of 10 s, MaxDistance 16000, unattended: stepped",
        ini(f"ntp:{SERVER}", MaxDistance=16000),
        [serve(SERVER, ntp=True, offset=-90.25, dispersion=10)], args=["/hide"],
        expect=[clock_set_near(-90250, 3)]),
    Row("144 dots per inch: the strip is 450 pixels wide", ini(SERVER), [serve(SERVER, offset=-90)],
        answers="no", dpi=144, expect=[lambda run: strip_placed(run, width=450)]),
    Row("flood: 50 more datagrams after the answer, one report", ini(SERVER, SERVER_2),
        [serve(SERVER, offset=-90, after=50), serve(SERVER_2)], answers="no", repeat=2,
        expect=[report(SERVER, 90), not_asked(SERVER_2),
                lambda run: check(run.of("exit")[0]["t"] - run.of("click")[0]["t"] < 1000,
                                  "the run did not end after No")]),
]


def black_hole_names(bench):
    """With a name server that takes queries and never answers (each lookup then lasts
    the resolver's whole timeout): /check /timeout:3 over four such names ends within
    4.5 s with its CRITICAL line; and HostTimeout=0, RFC 868 datagrams flooding port 37
    from a third address while the hosts are asked, one after a slow name: nothing set."""
    hole = bench.start_in_client(["python3", "-c", "import socket, time\n"
                                  "s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)\n"
                                  "s.bind(('127.0.0.1', 53))\nprint('ready', flush=True)\n"
                                  "time.sleep(120)"], stdout=subprocess.PIPE, text=True)
    try:
        check(hole.stdout.readline().strip() == "ready", "the silent name server did not start")
        exe = bench.install_program(ini(*(f"ntp:slow{i}.test" for i in range(4))))
        events, stderr = bench.drive(exe, ["/check", "/timeout:3"], ["--output"])
        run = Run(events, stderr, [])
        check(run.of("exit") and run.of("exit")[0]["code"] == 2, f"exit {run.of('exit')}")
        plugin_line("CRITICAL", text=r"no time within /timeout:3 s")(run)
        finished_within(2900, 4500)(run)

        # An hour ahead of now: a time the run would step to, were it taken.
        flood = {"from": THIRD, "count": 50, "data": count_at(*time.gmtime(time.time() + 3600)[:6])}
        server, log = bench.start_servers([serve(SERVER, silent=True, third=flood),
                                           serve(SERVER_2, silent=True)], senders=[THIRD])
        try:
            exe = bench.install_program(ini(SERVER, "slow.test", SERVER_2, HostTimeout=0))
            events, stderr = bench.drive(exe, ["/hide", "/exitcode"])
        finally:
            bench.stop(server)
        run = Run(events, stderr, [json.loads(line) for line in open(log)])
        asked(SERVER_2)(run)
        clock_untouched(run)
        check(run.of("exit")[0]["code"] == 2, f"exit {run.of('exit')}, expected 2 (no time)")
    finally:
        bench.stop(hole)


TABLE.append(Row("names whose lookup never returns: /timeout:3 ends the run; HostTimeout=0 takes "
                 "no datagram from an address it did not ask", None, scenario=black_hole_names))


# -- deployment --------------------------------------------------------------------------------
SOURCE_KEY = r"HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Horavel"
APPS_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Horavel"
VERSION = re.search(r"project\(horavel VERSION (\S+)", open(os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "CMakeLists.txt")).read()).group(1)


def registry_values(bench, key):
    """A key's values (name: (type, data)), {} when it is not there."""
    query = subprocess.run(bench.in_client(bench.wine("reg", "query", key)),
                           env=bench.wine_env(), capture_output=True, text=True, timeout=60)
    return {m[0]: (m[1], m[2]) for m in
            re.findall(r"^\s+(\S+)\s+(REG_\w+)\s+(.*?)\s*$", query.stdout, re.M)}


def set_machine(bench, values):
    """Sets HKLM values (key\\name: a number, a text, or None to delete) in the 64-bit
    view; returns what undoes it."""
    undo = {}
    for path, value in values.items():
        key, _, name = path.rpartition("\\")
        before = registry_values(bench, "HKLM\\" + key).get(name)
        undo[path] = None if before is None else (
            int(before[1], 16) if before[0] == "REG_DWORD" else before[1])
        command = (["reg", "delete", "HKLM\\" + key, "/v", name, "/f"] if value is None else
                   ["reg", "add", "HKLM\\" + key, "/v", name, "/t",
                    "REG_DWORD" if isinstance(value, int) else "REG_SZ", "/d", str(value), "/f"])
        subprocess.run(bench.in_client(bench.wine(*command)), env=bench.wine_env(),
                       capture_output=True, timeout=60)
    return undo


def installed(bench):
    """What an install left: the files of Program Files\\Horavel (name: bytes), whether
    the task is registered (Wine keeps its file, though not all of its definition),
    the event source's values and the Apps entry's (name: (type, data))."""
    folder = os.path.join(bench.prefix, "drive_c", "Program Files", "Horavel")
    files = ({name: open(os.path.join(folder, name), "rb").read() for name in os.listdir(folder)}
             if os.path.isdir(folder) else {})
    task = os.path.exists(os.path.join(bench.prefix, "drive_c", "windows", "system32", "tasks",
                                       "Horavel"))
    return folder, files, task, registry_values(bench, SOURCE_KEY), registry_values(bench, APPS_KEY)


def clear_install(bench):
    """Removes what an earlier run may have installed in a kept prefix; the folder."""
    folder = installed(bench)[0]
    shutil.rmtree(folder, ignore_errors=True)
    task_file = os.path.join(bench.prefix, "drive_c", "windows", "system32", "tasks", "Horavel")
    if os.path.exists(task_file):
        os.remove(task_file)
    for key in (SOURCE_KEY, APPS_KEY):
        subprocess.run(bench.in_client(bench.wine("reg", "delete", key, "/f")),
                       env=bench.wine_env(), capture_output=True, timeout=60)
    return folder


def deploy(bench):
    """/install with an INI that names no server; from a downloads folder, limited then
    elevated; again, where nobody sees a box, over an edited INI; an upgrade over a
    running copy, from read-only files; then the installed copy's own quiet uninstall."""
    folder = clear_install(bench)
    config = ini(f"ntp:{SERVER}", RunEvery=30)
    exe = bench.install_program(config)
    program = open(os.path.join(bench.build_dir, "horavel.exe"), "rb").read()
    exe_path = r"C:\Program Files\Horavel\horavel.exe"

    def step(arguments, options, status, program=exe, env=None):
        events, stderr = bench.drive(program, arguments, options, env=env)
        run = Run(events, stderr, [])
        check(run.of("exit") and run.of("exit")[0]["code"] == status,
              f"{arguments}: exit {run.of('exit')}, expected {status}")
        return run

    nameless = bench.install_program(ini(MaxHost=5))
    run = step(["/hide", "/install"], ["--elevated"], 6, program=nameless)
    one_event("error", "Horavel was not installed: ", "horavel.ini names no time server.")(run)
    check(installed(bench)[1:] == ({}, False, {}, {}), f"refused, yet: {installed(bench)}")

    run = step(["/install"], ["--answers", "no"], 5)  # a double-click: limited
    box_says(r"Installing Horavel needs an administrator\.\n\nGo on as administrator \?",
             buttons=("yes", "no"))(run)
    check(installed(bench)[1:] == ({}, False, {}, {}), f"limited and declined: {installed(bench)}")

    # A Windows Time service that is stopped, yet set to take its time from the network.
    def tool(*command):
        return subprocess.run(bench.in_client(bench.wine(*command)), env=bench.wine_env(),
                              capture_output=True, text=True, timeout=60)
    tool("sc", "create", "W32Time", "binpath=", r"C:\windows\system32\svchost.exe", "start=",
         "demand")
    tool("reg", "add", r"HKLM\SYSTEM\CurrentControlSet\Services\W32Time\Parameters", "/v", "Type",
         "/d", "NTP", "/f")
    run = step(["/install"], ["--elevated", "--answers", "ok"], 0,
               env={"WINEDEBUG": "-all,+eventlog,fixme+advapi,+taskschd"})
    tool("sc", "delete", "W32Time")
    box_says(r"Horavel is installed\.\r\n\r\nFolder: C:\\Program Files\\Horavel \(horavel"
             r"\.ini copied there\)\r\nTask: \\Horavel, as SYSTEM: every 30 minutes.*\r\n\r\n"
             r"Windows Time also sets this clock: leave it to one \(see horavel\.txt\)\.")(run)
    one_event("warning", "Windows Time also sets this clock", event_id=16,
              data=[r"C:\\Program Files\\Horavel", re.escape(VERSION)])(run)
    _, files, task, source, apps = installed(bench)
    check(files == {"horavel.exe": program, "horavel.ini": open(exe[:-3] + "ini", "rb").read()},
          f"installed files {sorted(files)}")
    check(task and source == {"EventMessageFile": ("REG_EXPAND_SZ", exe_path),
                              "TypesSupported": ("REG_DWORD", "0x7")},
          f"task {task}, event source {source}")
    size = -(-(len(program) + len(files["horavel.ini"])) // 1024)
    check(re.fullmatch(r"20\d{6}", apps.pop("InstallDate", ("", ""))[1]), f"Apps entry {apps}")
    major, minor = VERSION.split(".")[:2]
    check(apps == {"DisplayName": ("REG_SZ", "Horavel"), "DisplayVersion": ("REG_SZ", VERSION),
                   "Publisher": ("REG_SZ", "Horavel"),
                   "InstallLocation": ("REG_SZ", r"C:\Program Files\Horavel"),
                   "DisplayIcon": ("REG_SZ", exe_path + ",0"),
                   "UninstallString": ("REG_SZ", f'"{exe_path}" /uninstall'),
                   "QuietUninstallString": ("REG_SZ", f'"{exe_path}" /hide /uninstall'),
                   "NoModify": ("REG_DWORD", "0x1"), "NoRepair": ("REG_DWORD", "0x1"),
                   "EstimatedSize": ("REG_DWORD", hex(size)),
                   "VersionMajor": ("REG_DWORD", hex(int(major))),
                   "VersionMinor": ("REG_DWORD", hex(int(minor))),
                   "RunEvery": ("REG_DWORD", hex(30))}, f"Apps entry {apps}")
    # Wine keeps no trigger, but traces each element of the task as it parses it.
    parsed = " ".join(re.findall(r'taskschd:read_\w+ Element: L"(\w+)"', run.stderr))
    triggers = ("Triggers BootTrigger Delay TimeTrigger StartBoundary Repetition Interval "
                "RandomDelay" + " EventTrigger Subscription Delay" * 2 + " Principals")
    check(triggers in parsed and re.search(r"TaskSettings_put_Priority \w+,5\b", run.stderr),
          f"the task as Wine parsed it: {parsed}")

    # Nobody would see its box: it logs instead.
    edited = b"[Time Servers]\r\nHost0=ntp:10.37.0.3\r\nHostTimeout=20000\r\n"
    open(os.path.join(folder, "horavel.ini"), "wb").write(edited)
    run = step(["/install"], ["--elevated", "--station"], 0)
    one_event("information", "Horavel is installed", "(horavel.ini kept)")(run)
    check(installed(bench)[1] == {"horavel.exe": program, "horavel.ini": edited},
          "a second install did not keep the edited INI")

    # An upgrade while the installed copy runs (it waits 20 s for a silent server),
    # from files that are read-only, as on a CD: new bytes, never read-only.
    installed_exe = os.path.join(folder, "horavel.exe")
    running = subprocess.Popen(bench.driver_command(installed_exe, ["/hide"]), env=bench.wine_env(),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               start_new_session=True)
    bench.processes.append(running)
    try:
        time.sleep(3)
        newer = bench.install_program(config)
        open(newer, "ab").write(b"\0a newer build")
        for path in (newer, newer[:-3] + "ini"):
            os.chmod(path, 0o444)
        step(["/hide", "/install"], ["--elevated"], 0, program=newer)
        files = installed(bench)[1]
        check(files["horavel.exe"] == open(newer, "rb").read() and
              any(re.fullmatch(r"old\w+\.tmp", name, re.I) for name in files),
              f"upgrade over a running copy: {sorted(files)}")
        check(all(os.stat(os.path.join(folder, n)).st_mode & 0o200
                  for n in ("horavel.exe", "horavel.ini")), "installed files are read-only")
    finally:
        bench.stop(running)
    # Again from the same read-only files: the bytes are there already.
    step(["/hide", "/install"], ["--elevated"], 0, program=newer)

    # A new RunEvery by policy reaches the installed task through the task's own run
    # (Wine keeps no trigger: the recorded interval tells; the edited INI says 60).
    bench.set_policy({"RunEvery": 45})
    try:
        run = step(["/hide", "/exitcode", "/scheduled:4"], ["--elevated"], 2,
                   program=installed_exe)
    finally:
        bench.set_policy(None)
    check(any(i == 17 and "now runs every 45 minutes, not 60" in text
              for _, text, i, _ in run.log_events), f"events {run.log_events}")
    check(installed(bench)[4].get("RunEvery") == ("REG_DWORD", "0x2d"),
          f"Apps entry {installed(bench)[4]}")

    # A management tool's quiet uninstall, run by the installed copy itself.
    run = step(["/hide", "/uninstall"], ["--elevated"], 0, program=installed_exe)
    one_event("information", "Horavel is uninstalled")(run)
    _, files, task, source, apps = installed(bench)
    check("horavel.exe" not in files and "horavel.ini" not in files and not task and not source
          and not apps, f"after /uninstall: {sorted(files)}, task {task}, {source}, {apps}")


def deploy_safely(bench):
    """/install where the Task Scheduler is stopped and disabled: refused before any change,
    its error named; on a domain controller whose servers come from policy alone, over a
    folder anyone may write to: installed without an INI, that folder moved aside, the task's
    mode said; again where Windows Time's policy turns it off over NT5DS: no warning."""
    folder = clear_install(bench)
    exe = bench.install_program(None)  # the servers come from policy alone

    def step(arguments, options, status):
        events, stderr = bench.drive(exe, arguments, options)
        run = Run(events, stderr, [])
        check(run.of("exit") and run.of("exit")[0]["code"] == status,
              f"{arguments}: exit {run.of('exit')}, expected {status}")
        return run

    def tool(*command):
        return subprocess.run(bench.in_client(bench.wine(*command)), env=bench.wine_env(),
                              capture_output=True, text=True, timeout=60)

    bench.set_policy({r"TimeServers\Host1": f"ntp:{SERVER}"})
    restore = {}
    try:
        driver = os.path.join(bench.build_dir, "e2e_driver.exe")
        try:
            if tool(driver, "--service", "Schedule", "4").returncode != 0:
                # Started already (wineboot runs it for a kept prefix's tasks), it
                # takes no stop: Wine starts again, without it.
                subprocess.run(["wineserver", "-k"], env=bench.wine_env(), capture_output=True)
                bench._start_wineserver()
            run = step(["/hide", "/install"], ["--elevated"], 6)
        finally:
            tool(driver, "--service", "Schedule", "3")  # started on demand, as Wine has it
        one_event("error", "Horavel was not installed: the task would not be registered.",
                  "Error 0x80041315: SCHED_E_SERVICE_NOT_RUNNING")(run)
        check(not os.path.exists(folder) and installed(bench)[2:] == (False, {}, {}),
              f"refused, yet: {installed(bench)}")

        os.makedirs(folder)
        open(os.path.join(folder, "horavel.ini"), "w").write("[Time Servers]\nHost0=10.37.0.99\n")
        os.chmod(folder, 0o777)  # Wine: Everyone may write
        restore = set_machine(bench, DOMAIN_CONTROLLER)
        run = step(["/install"], ["--elevated", "--answers", "ok"], 0)
        box_says(r"Horavel is installed\.\r\n\r\nFolder: C:\\Program Files\\Horavel \(horavel\.ini "
                 r"none: the servers come from Group Policy\)\r\nTask: .*\r\nThe task only checks "
                 r"the clock here: this PC is a domain controller \(the policy CheckOnly = 0 lets "
                 r"it correct\)\.\r\n\r\nThe folder there before could be changed by others than "
                 r"administrators: it was moved to C:\\Program Files\\Horavel\.untrusted-\d+, and "
                 r"its horavel\.ini was not used\.")(run)
        parent = os.path.dirname(folder)
        moved = [n for n in os.listdir(parent) if n.startswith("Horavel.untrusted-")]
        check(sorted(installed(bench)[1]) == ["horavel.exe"] and len(moved) == 1 and
              os.listdir(os.path.join(parent, moved[0])) == ["horavel.ini"],
              f"installed {sorted(installed(bench)[1])}, moved aside {moved}")
        shutil.rmtree(os.path.join(parent, moved[0]))

        set_machine(bench, restore)
        restore = set_machine(bench, {**DOMAIN_MEMBER, W32TIME_POLICY: "NoSync"})
        run = step(["/hide", "/install"], ["--elevated"], 0)
        one_event("information", "Horavel is installed", "(horavel.ini none")(run)
    finally:
        set_machine(bench, restore)
        bench.set_policy(None)
    step(["/hide", "/uninstall"], ["--elevated"], 0)


TABLE.append(Row("/install: refused where the Task Scheduler is disabled, leaving nothing; policy "
                 "servers alone need no INI; a folder others could write to moved aside; a domain "
                 "controller's task only checks; Windows Time off by policy warns of nothing",
                 None, scenario=deploy_safely))
TABLE.append(Row("/install: refused without a server; from a downloads folder, limited offers, "
                 "elevated installs with its Apps entry, unseen logs and keeps the INI; an upgrade "
                 "over a running copy from read-only files; the installed copy's quiet uninstall "
                 "leaves nothing", None, scenario=deploy))


def run_row(bench, row):
    if row.scenario:
        return row.scenario(bench)
    server, log = bench.start_servers(row.servers, senders=row.senders)
    peers = []
    try:
        peers = [bench.start_peer(kind, address) for kind, address in row.peers]
        if row.command:
            status, output = bench.run_in_client(row.command)
            requests = [json.loads(line) for line in open(log)]
            for expectation in row.expect:
                expectation(Run([], "", requests, output))
            return
        exe = bench.install_program(row.config, row.program)
        env = {"TZ": row.tz} if row.tz else {}
        if row.dpi:
            bench.set_dpi(row.dpi)
        bench.prefer_family(row.family_first)
        if row.policy:
            bench.set_policy(row.policy)
        restore = set_machine(bench, row.machine or {})
        try:
            events, stderr = bench.drive(exe, row.args, row.driver, env=env)
        finally:
            set_machine(bench, restore)
    finally:
        if row.dpi:
            bench.set_dpi(None)
        bench.prefer_family(None)
        if row.policy:
            bench.set_policy(None)
        for process in [server] + peers:
            bench.stop(process)
    requests = [json.loads(line) for line in open(log)]
    run = Run(events, stderr, requests)
    check(run.of("exit"), f"the program did not end: {events}")
    check(run.of("exit")[0]["code"] == row.status,
          f"exit status {run.of('exit')[0]['code']}, expected {row.status}")
    for expectation in row.expect:
        expectation(run)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--arch", required=True, choices=("x86", "x64"))
    parser.add_argument("--only", default="")
    options = parser.parse_args()

    why = can_run()
    if why:
        print(f"SKIPPED: the end-to-end suite cannot run here: {why}", flush=True)
        return 1 if os.environ.get("CI") else SKIPPED
    refused = arch_refused(options.arch)
    if refused:  # the machine, not the program: the other build still runs
        print(f"{options.arch}: not run: {refused}", flush=True)
        return SKIPPED

    rows = [row for row in TABLE if options.only in row.name and options.arch in row.arches]
    passed = failed = 0
    started = time.monotonic()
    with Bench(options.build, options.arch) as bench:
        for row in rows:
            for attempt in range(row.repeat):
                label = row.name + (f" [{attempt + 1}/{row.repeat}]" if row.repeat > 1 else "")
                row_started = time.monotonic()
                try:
                    run_row(bench, row)
                    passed += 1
                    print(f"ok    {label} ({time.monotonic() - row_started:.1f} s)", flush=True)
                except Exception as error:  # a row that breaks is a failed row, not the end
                    failed += 1
                    print(f"FAIL  {label}: {error}", flush=True)
    print(f"e2e {options.arch}: {passed} passed, {failed} failed ({time.monotonic() - started:.0f} s)")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
