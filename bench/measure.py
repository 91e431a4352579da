"""bench/run's measurements: the program on the software and the OpenGL scene graph, a bare Qt Quick
window on both, and CopyQ when installed, side by side in one private session. Prints the table,
writes bench/results/latest.md and latest.png, and exits 1 when a budget is missed."""

import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from session import BACKDROP, HEIGHT, Session  # noqa: E402


def program_words(command):
    """A child's command line with each path cut to its file name: the report names programs,
    not the folders of the machine it ran on."""
    return " ".join(os.path.basename(word) if word.startswith("/") else word for word in command.split())

TICK_MS = 1000 // os.sysconf("SC_CLK_TCK")
IDLE_SECONDS = 30
POINTER_SECONDS = 10
WARM_RUNS = 10

# The budgets, on the software scene graph (no GPU here).
BUDGET_RSS_START = 50.0      # MiB
BUDGET_RSS_PANES = 65.0      # MiB
BUDGET_ADAPTER_PSS = 5.0     # MiB
BUDGET_IDLE_TICKS = 0
BUDGET_FIRST_FRAME = 60.0    # ms, warm median
BUDGET_FAR_TICKS = 1
BUDGET_FAR_WAKEUPS = 100


# --- /proc ---
def children(pid):
    found = []
    try:
        for task in os.listdir(f"/proc/{pid}/task"):
            with open(f"/proc/{pid}/task/{task}/children") as f:
                for child in f.read().split():
                    found.append(int(child))
                    found.extend(children(int(child)))
    except OSError:
        pass
    return found


def rollup(pid):
    """RSS and PSS in MiB, from smaps_rollup."""
    values = {}
    try:
        with open(f"/proc/{pid}/smaps_rollup") as f:
            for line in f:
                parts = line.split()
                if len(parts) >= 2 and parts[0] in ("Rss:", "Pss:"):
                    values[parts[0][:-1]] = int(parts[1]) / 1024
    except OSError:
        return 0.0, 0.0
    return values.get("Rss", 0.0), values.get("Pss", 0.0)


def ticks(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return int(fields[11]) + int(fields[12])
    except (OSError, IndexError):
        return 0


def wakeups(pid):
    """Voluntary context switches of each of the process's threads, by thread id."""
    counts = {}
    try:
        for task in os.listdir(f"/proc/{pid}/task"):
            try:
                with open(f"/proc/{pid}/task/{task}/status") as f:
                    for line in f:
                        if line.startswith("voluntary_ctxt_switches:"):
                            counts[task] = int(line.split()[1])
            except OSError:
                pass  # the thread ended while the list was read
    except OSError:
        pass
    return counts


def wakeups_since(before, after):
    """Switches between two readings: a thread seen in both counts its growth, a thread started in
    between counts whole, and one that ended in between is lost (never a negative figure)."""
    return sum(count - before.get(task, 0) for task, count in after.items() if count >= before.get(task, 0))


def threads(pid):
    try:
        return len(os.listdir(f"/proc/{pid}/task"))
    except OSError:
        return 0


def command(pid):
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return f.read().replace(b"\0", b" ").decode(errors="replace").strip()
    except OSError:
        return ""


def largest_mappings(pid, count=12):
    """The files (or kinds of anonymous memory) holding the most resident memory, in MiB."""
    sizes = {}
    name = None
    try:
        with open(f"/proc/{pid}/smaps") as f:
            for line in f:
                head = line.split()
                if head and re.match(r"^[0-9a-f]+-[0-9a-f]+$", head[0]):
                    name = head[5] if len(head) > 5 else "[anonymous]"
                elif head and head[0] == "Rss:" and name is not None:
                    sizes[name] = sizes.get(name, 0) + int(head[1])
    except OSError:
        return []
    ranked = sorted(sizes.items(), key=lambda item: -item[1])[:count]
    return [(os.path.basename(n) if n.startswith("/") else n, kb / 1024) for n, kb in ranked]


def qml_modules(pid):
    """The QML plugin libraries mapped into the process."""
    found = set()
    try:
        with open(f"/proc/{pid}/maps") as f:
            for line in f:
                path = line.split()[-1]
                if "/qml/" in path and path.endswith(".so"):
                    found.add(path.split("/qml/", 1)[1].rsplit("/", 1)[0].replace("/", "."))
    except OSError:
        pass
    return sorted(found)


class Counters:
    def __init__(self, pid):
        self.pid = pid
        self.ticks = ticks(pid)
        self.wakeups = wakeups(pid)

    def since(self):
        return ticks(self.pid) - self.ticks, wakeups_since(self.wakeups, wakeups(self.pid))


# --- one subject ---
class Subject:
    def __init__(self, key, title, argv, env, kind):
        self.key, self.title, self.argv, self.env, self.kind = key, title, argv, env, kind
        self.figures = {}
        self.notes = {}


def memory(pid):
    main_rss, main_pss = rollup(pid)
    kids = children(pid)
    kid_rss = sum(rollup(k)[0] for k in kids)
    kid_pss = sum(rollup(k)[1] for k in kids)
    return {"rss": main_rss, "pss": main_pss, "kids_rss": kid_rss, "kids_pss": kid_pss, "kids": len(kids),
            "threads": threads(pid), "kid_commands": [command(k) for k in kids]}


def first_frame_runs(session, subject, runs):
    """Start to the first pixel of the window seen on the X server, in ms, per warm run."""
    x, y = session.centre_x, 4
    times = []
    for i in range(runs + 1):  # the first run warms the caches and is left out
        watcher = subprocess.Popen([session.probe_path, "covered", str(x), str(y), BACKDROP, "20000"], env=session.env,
                                   stdout=subprocess.PIPE, text=True)
        if watcher.stdout.readline().strip() != "ready":
            return []
        start = time.monotonic_ns()
        # Without the frame log: writing it costs time of its own.
        env = {k: v for k, v in subject.env.items() if k != "QT_LOGGING_RULES"}
        process = session.spawn(subject.argv, env)
        seen = watcher.stdout.readline().strip()
        watcher.wait()
        session.end(process)
        session.wait_pixel(x, y, covered=False)
        if not seen:
            return []
        if i > 0:
            times.append((int(seen) - start) / 1e6)
    return times


def measure_subject(session, subject, log, quick=False):
    """Every figure of one subject; quick: only the first frame and the pointer (far and inside the
    open panel), without the memory, idle, pane and tone phases."""
    fig = subject.figures
    say = lambda text: print(f"  {subject.title}: {text}", flush=True)  # noqa: E731
    session.far()
    if subject.kind in ("program", "bare"):
        say("start to first frame, 10 warm runs")
        runs = first_frame_runs(session, subject, WARM_RUNS)
        if runs:
            fig["frame_min"] = min(runs)
            fig["frame_median"] = statistics.median(runs)

    stderr = open(log, "w")
    process = session.spawn(subject.argv, subject.env, stderr=stderr)
    pid = process.pid
    if subject.kind in ("program", "bare"):
        session.wait_pixel(session.centre_x, 4, covered=True, timeout_ms=20000)
    time.sleep(5)
    if not quick:
        say("memory after start")
        fig["start"] = memory(pid)
        if subject.key == "program-software":
            subject.notes["mappings_start"] = largest_mappings(pid)
            subject.notes["qml_start"] = qml_modules(pid)

        say(f"{IDLE_SECONDS} s collapsed and untouched")
        c = Counters(pid)
        time.sleep(IDLE_SECONDS)
        fig["idle"] = c.since()

    say(f"pointer moving far away, {POINTER_SECONDS} s")
    c = Counters(pid)
    session.sweep(100, HEIGHT - 100, 500, HEIGHT - 300, POINTER_SECONDS)
    fig["far"] = c.since()

    if subject.kind == "bare":
        say(f"pointer moving inside the window, {POINTER_SECONDS} s")
        time.sleep(1)
        c = Counters(pid)
        session.sweep(session.centre_x - 200, 60, session.centre_x + 200, 220, POINTER_SECONDS)
        fig["inside"] = c.since()
        session.far()

    if subject.kind == "program":
        say("one expand animation")
        time.sleep(1)
        stderr.flush()
        before_lines = count_frames(log)
        c = Counters(pid)
        opened = session.open_notch()
        time.sleep(1.5)
        fig["open_ticks"] = c.since()[0]
        fig["open_frames"] = count_frames(log) - before_lines
        if not opened:
            subject.notes["trouble"] = "the notch did not open"
        say("every pane once")
        pills = session.pills()
        subject.notes["pills"] = len(pills)
        for x in pills:
            session.move(x, 70)
            session.click()
            time.sleep(0.8)
        say(f"pointer moving inside the open panel, {POINTER_SECONDS} s")
        c = Counters(pid)
        session.sweep(session.centre_x - 200, 110, session.centre_x + 200, 220, POINTER_SECONDS)
        fig["inside"] = c.since()
        c = Counters(pid)
        closed = session.close_notch()
        time.sleep(1.5)
        fig["close_ticks"] = c.since()[0]
        if not closed:
            subject.notes["trouble"] = "the notch did not close"
        time.sleep(3.5)
        if not quick:
            say("memory after every pane")
            fig["panes"] = memory(pid)
            if subject.key == "program-software":
                subject.notes["mappings_panes"] = largest_mappings(pid)
                subject.notes["qml_panes"] = qml_modules(pid)

    if subject.kind in ("program", "copyq") and not quick:
        player = session.tone()
        if player is not None:
            say(f"{IDLE_SECONDS} s collapsed while a tone plays")
            time.sleep(5)
            c = Counters(pid)
            time.sleep(IDLE_SECONDS)
            fig["playing"] = c.since()
            session.end(player)
            time.sleep(2)
    session.end(process)
    stderr.close()


def count_frames(log):
    try:
        with open(log, errors="replace") as f:
            return sum(1 for line in f if "Frame rendered" in line or "Frame prepared" in line)
    except OSError:
        return 0


# --- the report ---
def cell(value, digits=1):
    if value is None:
        return "—"
    if isinstance(value, float):
        return f"{value:.{digits}f}"
    return str(value)


def build_report(subjects, budgets):
    cols = [s for s in subjects]
    get = lambda s, *path: dig(s.figures, path)  # noqa: E731

    def row(label, fn):
        return "| " + label + " | " + " | ".join(fn(s) for s in cols) + " |"

    def mem(phase, s, key):
        m = s.figures.get(phase)
        return cell(m[key]) if m else "—"

    def kids(phase, s):
        m = s.figures.get(phase)
        if not m or not m["kids"]:
            return "—"
        return f"{m['kids_rss']:.1f} / {m['kids_pss']:.1f} ({m['kids']})"

    def pair(key, s):
        v = s.figures.get(key)
        return f"{v[0]} / {v[1]}" if v else "—"

    lines = ["| | " + " | ".join(s.title for s in cols) + " |", "|---|" + "---|" * len(cols)]
    lines.append(row("RSS after start (MiB)", lambda s: mem("start", s, "rss")))
    lines.append(row("PSS after start (MiB)", lambda s: mem("start", s, "pss")))
    lines.append(row("children after start: RSS / PSS (count)", lambda s: kids("start", s)))
    lines.append(row("threads after start", lambda s: cell(get(s, "start", "threads"))))
    lines.append(row("RSS after every pane opened (MiB)", lambda s: mem("panes", s, "rss")))
    lines.append(row("PSS after every pane opened (MiB)", lambda s: mem("panes", s, "pss")))
    lines.append(row("children after every pane: RSS / PSS (count)", lambda s: kids("panes", s)))
    lines.append(row(f"idle {IDLE_SECONDS} s: ticks / wakeups", lambda s: pair("idle", s)))
    lines.append(row(f"tone playing {IDLE_SECONDS} s: ticks / wakeups", lambda s: pair("playing", s)))
    lines.append(row(f"pointer far away {POINTER_SECONDS} s: ticks / wakeups", lambda s: pair("far", s)))
    lines.append(row(f"pointer inside the open panel {POINTER_SECONDS} s: ticks / wakeups",
                     lambda s: pair("inside", s)))
    lines.append(row("one expand animation: frames / ticks",
                     lambda s: f"{s.figures['open_frames']} / {s.figures['open_ticks']}"
                     if "open_frames" in s.figures else "—"))
    lines.append(row("one collapse: ticks", lambda s: cell(s.figures.get("close_ticks"))))
    lines.append(row("first frame, warm: min / median (ms)",
                     lambda s: f"{s.figures['frame_min']:.0f} / {s.figures['frame_median']:.0f}"
                     if "frame_median" in s.figures else "—"))
    return lines


def dig(d, path):
    for p in path:
        if not isinstance(d, dict) or p not in d:
            return None
        d = d[p]
    return d


def ratios(subjects):
    by = {s.key: s for s in subjects}
    lines = []

    def ratio(a, b, phase="start"):
        x, y = dig(by.get(a, Subject("", "", [], {}, "")).figures, (phase, "rss")), \
            dig(by.get(b, Subject("", "", [], {}, "")).figures, (phase, "rss"))
        return f"{x / y:.2f}×" if x and y else "—"

    def frame(a, b):
        x = dig(by[a].figures, ("frame_median",)) if a in by else None
        y = dig(by[b].figures, ("frame_median",)) if b in by else None
        return f"{x / y:.2f}×" if x and y else "—"

    lines.append("| ratio | software | OpenGL |")
    lines.append("|---|---|---|")
    lines.append(f"| program / bare window, RSS after start | {ratio('program-software', 'bare-software')} | "
                 f"{ratio('program-opengl', 'bare-opengl')} |")
    lines.append(f"| program / bare window, first frame | {frame('program-software', 'bare-software')} | "
                 f"{frame('program-opengl', 'bare-opengl')} |")
    if "copyq" in by:
        def copyq(a):
            x = dig(by[a].figures, ("start", "rss")) if a in by else None
            c = by["copyq"].figures.get("start")
            y = c["rss"] + c["kids_rss"] if c else None
            return f"{x / y:.2f}×" if x and y else "—"
        lines.append(f"| program / CopyQ (with its children), RSS after start | {copyq('program-software')} | "
                     f"{copyq('program-opengl')} |")
    else:
        lines.append("| program / CopyQ | not installed (bench/run --with-peers) | |")
    return lines


def check_budgets(subjects):
    by = {s.key: s for s in subjects}
    sw = by["program-software"].figures
    bare = by["bare-software"].figures
    results = []

    def check(name, value, limit, unit="", ok=None):
        passed = (value is not None and value <= limit) if ok is None else ok
        shown = "—" if value is None else (f"{value:.1f}" if isinstance(value, float) else str(value))
        results.append((name, f"{shown}{unit}", f"≤ {limit}{unit}", passed))

    check("RSS after start", dig(sw, ("start", "rss")), BUDGET_RSS_START, " MiB")
    check("RSS after every pane opened", dig(sw, ("panes", "rss")), BUDGET_RSS_PANES, " MiB")
    adapter = None
    for phase in ("start", "panes"):
        m = sw.get(phase)
        if m and m["kids"]:
            adapter = max(adapter or 0.0, m["kids_pss"])
    check("adapter PSS", adapter if adapter is not None else 0.0, BUDGET_ADAPTER_PSS, " MiB")
    check(f"ticks over {IDLE_SECONDS} s collapsed and untouched", dig(sw, ("idle",))[0] if "idle" in sw else None,
          BUDGET_IDLE_TICKS)
    check("first frame, warm median", sw.get("frame_median"), BUDGET_FIRST_FRAME, " ms")
    check(f"pointer far away {POINTER_SECONDS} s: ticks", sw["far"][0] if "far" in sw else None, BUDGET_FAR_TICKS)
    check(f"pointer far away {POINTER_SECONDS} s: wakeups", sw["far"][1] if "far" in sw else None,
          BUDGET_FAR_WAKEUPS)
    if "inside" in sw and "inside" in bare:
        limit = 2 * max(bare["inside"][0], 1)
        check(f"pointer inside the open panel {POINTER_SECONDS} s: ticks (2× the bare window)", sw["inside"][0],
              limit)
    return results


def where_memory_goes(subject):
    lines = []
    for phase, title in (("start", "after start"), ("panes", "after every pane opened")):
        maps = subject.notes.get("mappings_" + phase)
        if not maps:
            continue
        lines.append(f"Largest resident mappings of the program on the software scene graph, {title} (MiB):")
        lines.append("")
        lines.append("| mapping | RSS |")
        lines.append("|---|---|")
        lines.extend(f"| {name} | {size:.1f} |" for name, size in maps)
        lines.append("")
        lines.append("QML modules with a plugin library loaded: " + (", ".join(subject.notes.get("qml_" + phase, []))
                                                                     or "none"))
        lines.append("")
    return lines


def main():
    build = sys.argv[1]
    out_dir = sys.argv[2]
    quick = sys.argv[3:] == ["--quick"]
    program = os.path.join(build, "bin", "tavrenhold")
    bare = os.path.join(build, "bench", "bench-bare")
    frames = {"QT_LOGGING_RULES": "qt.scenegraph.time.renderloop=true"}
    subjects = [
        Subject("program-opengl", "program, OpenGL", [program], {"QSG_RHI_BACKEND": "opengl", **frames}, "program"),
        Subject("program-software", "program, software (its own choice)", [program], frames, "program"),
    ]
    if shutil.which("copyq"):
        subjects.append(Subject("copyq", "CopyQ", ["copyq"], {}, "copyq"))
    subjects += [
        Subject("bare-opengl", "bare Qt Quick window, OpenGL", [bare], {"QSG_RHI_BACKEND": "opengl"}, "bare"),
        Subject("bare-software", "bare, software", [bare], {"QT_QUICK_BACKEND": "software"}, "bare"),
    ]
    if quick:
        subjects = [s for s in subjects if s.key in ("program-software", "bare-software")]
    with Session(build) as session:
        for subject in subjects:
            print(subject.title, flush=True)
            try:
                measure_subject(session, subject, os.path.join(session.folder, subject.key + ".log"), quick)
            except Exception as error:  # one subject failing leaves the others' figures
                subject.notes["trouble"] = str(error)
    if quick:
        sys.exit(1 if quick_report(subjects) else 0)
    else:
        report(subjects, out_dir, build)


def quick_report(subjects):
    """The quick run's table and its budgets, printed only: latest.md stays the last full run's."""
    print()
    print("\n".join(build_report(subjects, None)))
    print()
    print("\n".join(ratios(subjects)[:2] + [ratios(subjects)[3]]))
    print()
    missed = False
    for n, v, lim, ok in check_budgets(subjects):
        if v.startswith("—"):
            continue
        missed = missed or not ok
        print(f"{'ok  ' if ok else 'MISS'} {n}: {v} ({lim})")
    try:
        with open("/proc/loadavg") as f:
            print("load average: " + " ".join(f.read().split()[:3]))
    except OSError:
        pass
    return missed


def report(subjects, out_dir, build):
    table = build_report(subjects, None)
    ratio_lines = ratios(subjects)
    budgets = check_budgets(subjects)
    software = next(s for s in subjects if s.key == "program-software")
    stamp = time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime())
    cpu = ""
    try:
        with open("/proc/cpuinfo") as f:
            cpu = next((line.split(":", 1)[1].strip() for line in f if line.startswith("model name")), "")
    except OSError:
        pass
    try:
        with open("/proc/loadavg") as f:
            load = " ".join(f.read().split()[:3])
    except OSError:
        load = "?"
    md = [f"# bench/run, {stamp}", "",
          f"Xvfb 1512×982×24, openbox, private session bus; {os.cpu_count()} CPUs ({cpu}); "
          f"a tick is {TICK_MS} ms of CPU; wakeups are voluntary context switches summed over threads; "
          "memory in MiB from smaps_rollup; children (the adapter) counted apart. "
          f"Load average at the end: {load} (times grow with the machine's other work).", ""]
    md += table + [""] + ratio_lines + ["", "## Budgets (program, software scene graph)", "",
                                        "| budget | measured | limit | met |", "|---|---|---|---|"]
    md += [f"| {n} | {v} | {lim} | {'yes' if ok else '**no**'} |" for n, v, lim, ok in budgets]
    md += ["", "## Where the memory goes", ""] + where_memory_goes(software)
    for s in subjects:
        for phase in ("start",):
            m = s.figures.get(phase)
            if m and m["kid_commands"]:
                md.append(f"Children of {s.title}: " + "; ".join(program_words(c)[:90] for c in m["kid_commands"]))
                md.append("")
        if s.notes.get("trouble"):
            md.append(f"Trouble with {s.title}: {s.notes['trouble']}")
            md.append("")
        if "pills" in s.notes:
            md.append(f"{s.title}: {s.notes['pills']} pane pills clicked.")
            md.append("")
    os.makedirs(out_dir, exist_ok=True)
    with open(os.path.join(out_dir, "latest.md"), "w") as f:
        f.write("\n".join(md) + "\n")
    # The chart: RSS after start (and after the panes) per subject.
    data = os.path.join(out_dir, ".chart.tsv")
    with open(data, "w") as f:
        for s in subjects:
            name = s.key.replace("-", ", ").replace("copyq", "CopyQ")
            for phase, label in (("start", "after start"), ("panes", "after panes")):
                m = s.figures.get(phase)
                if m:
                    f.write(f"{name}, {label}\t{m['rss']:.1f}\tMiB RSS\n")
            m = s.figures.get("start")
            if m and m["kids"]:
                f.write(f"{name}, children\t{m['kids_rss']:.1f}\tMiB RSS\n")
    subprocess.run([os.path.join(build, "bench", "bench-probe"), "chart", data, os.path.join(out_dir, "latest.png")],
                   check=False)
    os.remove(data)
    print()
    print("\n".join(table))
    print()
    print("\n".join(ratio_lines))
    print()
    for n, v, lim, ok in budgets:
        print(f"{'ok  ' if ok else 'MISS'} {n}: {v} ({lim})")
    print()
    print("\n".join(where_memory_goes(software)))
    print(f"written: {os.path.join(out_dir, 'latest.md')}, {os.path.join(out_dir, 'latest.png')}")
    sys.exit(0 if all(ok for *_, ok in budgets) else 1)


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    main()
