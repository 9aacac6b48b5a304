"""Checks the journal entries that journal_test.sh read back (journalctl -o json --all, one entry a line)."""
import json
import sys

KINDS = {  # first words of the sentence: MESSAGE_ID, PRIORITY
    "down": ("f5a6a8ac34374fd7a13263e7b4f19b6a", "3"),
    "up": ("eded984111f6443595f4e457e817cec7", "5"),
    "Started the failure command": ("d2f51ccf6162451093a36ce3ca5843c4", "6"),
    "Could not start the failure command": ("88d53ae88bf049249717804cbed5d513", "4"),
    "A log entry could not go into": ("c954892e50bc4fbaadc9936622614012", "4"),
    "A log entry kept aside went into": ("583b7ed949414f17ae7e3a53802d3fbf", "6"),
    "The settings could not be saved": ("f6c613c708084e4b81004d8c0d50654b", "4"),
    "started": ("52899545a4e34a4b956bbb249c8b7b30", "6"),
    "ended": ("db6c04a3c3254190bbe7fb19ff261653", "6"),
    "The metrics could not be written": ("2e97fb53d84c4b5fb68f702fbf41d29f", "4"),
    "The metrics are written": ("b94ff4071543468cb3441ad0aaa415b6", "5"),
    "The history of checks": ("0e473b8531354353ab0fa27782095e88", "4"),
}


def text_of(value):
    # journalctl gives a field that is not printable text as an array of bytes, and a repeated field as a list.
    if isinstance(value, list) and value and isinstance(value[0], int):
        return bytes(value).decode("utf-8")
    return value


def kind_of(message):
    for kind in KINDS:
        if " " in kind and message.startswith(kind):
            return kind
    if message.endswith(" is down"):
        return "down"
    if message.endswith(" is back up"):
        return "up"
    if message.startswith("Pylvane "):
        return message.rsplit(" ", 1)[1]
    return None


def check_sent(entries, text, problems):
    """The event_sender's entries: one of every kind, twice, the second time with a text too long for a datagram."""
    if len(entries) != 24:
        problems.append(f"{len(entries)} entries from event_sender, not 24")
    for entry in entries:
        message = entry["MESSAGE"]
        kind = kind_of(message)
        if kind in ("down", "up"):
            target = entry.get("PYLVANE_TEXT")
            if entry.get("PYLVANE_TARGET") != "Cam3" or entry.get("PYLVANE_KIND") != "camera":
                problems.append(f"{message[:40]!r}: target fields {entry.get('PYLVANE_TARGET')!r}")
            if target != text and not (target.startswith("long text ") and len(target) >= 400000 and
                                       target == "long text " * (len(target) // 10)):
                problems.append(f"PYLVANE_TEXT not intact: {target[:80]!r} ({len(target)} characters)")
            elif message != f"Cam3 {target} is {'down' if kind == 'down' else 'back up'}":
                problems.append(f"MESSAGE not intact: {message[:80]!r}")
    if not any(e.get("PYLVANE_TEXT") == text for e in entries):
        problems.append("no entry with the text holding a line feed")


def check_program(entries, process, command, problems):
    """The real program's entries (read back under SYSLOG_IDENTIFIER=pylvane, so one under another name is missing
    here): started, a cycle with Process1 down that starts the failure command, a cycle with it back up, ended."""
    kinds = [kind_of(e["MESSAGE"]) for e in entries]
    want = ["started", "down", "Started the failure command", "up", "ended"]
    if sorted(kinds, key=str) != sorted(want, key=str) or kinds[0] != "started" or kinds[-1] != "ended" or \
            kinds.index("down") > kinds.index("up"):
        problems.append(f"the program's events: {[e['MESSAGE'] for e in entries]}, not {want} in that order")
    for entry in entries:
        message, kind = entry["MESSAGE"], kind_of(entry["MESSAGE"])
        if kind in ("down", "up"):
            fields = (entry.get("PYLVANE_TARGET"), entry.get("PYLVANE_KIND"), entry.get("PYLVANE_TEXT"))
            if fields != ("Process1", "process", process):
                problems.append(f"{message!r}: target fields {fields}")
            if message != f"Process1 {process} is {'down' if kind == 'down' else 'back up'}":
                problems.append(f"the program's MESSAGE: {message!r}")
        if kind == "Started the failure command" and message != f"Started the failure command {command}":
            problems.append(f"the failure command's MESSAGE: {message!r}")


def main():
    entries_file, text, program_pid, process, command = sys.argv[1:6]
    entries = [{k: text_of(v) for k, v in json.loads(line).items()} for line in open(entries_file)]
    problems = []
    for entry in entries:
        message = entry["MESSAGE"]
        if not isinstance(message, str):
            problems.append(f"MESSAGE is not one text: {message!r}")
            continue
        kind = kind_of(message)
        if kind is None:
            problems.append(f"an event of no known kind: {message!r}")
            continue
        if (entry.get("MESSAGE_ID"), entry.get("PRIORITY")) != KINDS[kind]:
            problems.append(f"{message!r}: MESSAGE_ID {entry.get('MESSAGE_ID')}, PRIORITY {entry.get('PRIORITY')}")
        if kind not in ("down", "up") and "PYLVANE_TEXT" in entry:
            problems.append(f"{message!r} carries target fields")
    if not problems:
        check_sent([e for e in entries if e.get("_PID") != program_pid], text, problems)
        if program_pid:  # empty where the program's cycles were left out
            check_program([e for e in entries if e.get("_PID") == program_pid], process, command, problems)
    for problem in problems:
        print("FAIL:", problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
