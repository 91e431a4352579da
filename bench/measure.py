"""bench/run's measurements: the program on the software and the OpenGL scene graph, a bare Qt Quick
window on both, and CopyQ when installed, side by side in one private session, then the program over
large stored data (scale.py). Prints the table, writes latest.md and latest.png into the results folder
it is given (and into a second one with --record DIR), and exits 1 when a budget is missed or was not
measured. --quick: the first frame and the pointer only, printed; --scale: the scale cases only."""

import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import scale  # noqa: E402
from session import BACKDROP, HEIGHT, Session  # noqa: E402


def program_words(command):
    """A child's command line with each path cut to its file name: the report names programs,
    not the folders of the machine it ran on."""
    return " ".join(os.path.basename(word) if word.startswith("/") else word for word in command.split())

TICK_MS = 1000 // os.sysconf("SC_CLK_TCK")
IDLE_SECONDS = 30
POINTER_SECONDS = 10
WARM_RUNS = 10

# The budgets, on the software scene graph (no GPU here). Ticks and wakeups are the program's and its
# children's together. Memory is judged on anonymous memory (private dirty for the adapter): RSS and
# PSS move by megabytes with the page cache for the same binary, anonymous memory does not.
BUDGET_ANON_START_RATIO = 1.5   # × the bare window's anonymous memory after start
BUDGET_ANON_PANES = 12.0        # MiB anonymous after every pane was opened once
BUDGET_ADAPTER_DIRTY = 1.0      # MiB private dirty, each adapter
BUDGET_IDLE_TICKS = 0
BUDGET_IDLE_WAKEUPS = 2         # over IDLE_SECONDS: "a couple"
BUDGET_PLAYING_TICKS = IDLE_SECONDS // 2   # 0.5 tick/s
PLAYING_CADENCE = 6             # display steps a second while a track plays collapsed
BUDGET_FIRST_FRAME_RATIO = 1.25  # × the bare window's warm median, starts interleaved
BUDGET_FAR_TICKS = 1
BUDGET_FAR_WAKEUPS = 100
BUDGET_INSIDE_RATIO = 2          # × the bare window's ticks with the pointer moving inside it


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


ROLLUP_FIELDS = {"Rss:": "rss", "Pss:": "pss", "Anonymous:": "anon", "Private_Dirty:": "dirty"}


def rollup(pid):
    """RSS, PSS, anonymous and private dirty memory in MiB, from smaps_rollup; None when the process
    cannot be read (gone, or not ours)."""
    values = {}
    try:
        with open(f"/proc/{pid}/smaps_rollup") as f:
            for line in f:
                parts = line.split()
                if len(parts) >= 2 and parts[0] in ROLLUP_FIELDS:
                    values[ROLLUP_FIELDS[parts[0]]] = int(parts[1]) / 1024
    except OSError:
        return None
    return values if len(values) == len(ROLLUP_FIELDS) else None


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
    """Ticks and wakeups of a process and its children (the program's adapter and the adapter's own
    children) since the counters were made. A child started in between counts whole; one that ended
    in between is lost."""

    def __init__(self, pid):
        self.pid = pid
        self.before = self.read()

    def read(self):
        return {p: (ticks(p), wakeups(p)) for p in [self.pid] + children(self.pid)}

    def since(self):
        """(ticks, wakeups, the children's ticks, the children's wakeups), the first two with the
        children's included."""
        main, kids = [0, 0], [0, 0]
        for p, (t, w) in self.read().items():
            t0, w0 = self.before.get(p, (0, {}))
            side = main if p == self.pid else kids
            side[0] += max(t - t0, 0)
            side[1] += wakeups_since(w0, w)
        return main[0] + kids[0], main[1] + kids[1], kids[0], kids[1]


# --- one subject ---
class Subject:
    def __init__(self, key, title, argv, env, kind):
        self.key, self.title, self.argv, self.env, self.kind = key, title, argv, env, kind
        self.figures = {}
        self.notes = {}


def memory(pid):
    """The process's own memory, and each child's apart; None when the process cannot be read."""
    main = rollup(pid)
    if main is None:
        return None
    kids = []
    for k in children(pid):
        figures = rollup(k)
        if figures is not None:
            kids.append({**figures, "command": command(k)})
    return {**main, "threads": threads(pid), "children": kids}


def adapters(m):
    """The media-remote adapters among a memory reading's children."""
    return [k for k in (m or {}).get("children", []) if "adapter" in program_words(k["command"]).lower()]


def first_frame(session, subject):
    """Start to the first pixel of the window seen on the X server, in ms; None when none came."""
    x, y = session.centre_x, 4
    watcher = subprocess.Popen([session.probe_path, "covered", str(x), str(y), BACKDROP, "20000"], env=session.env,
                               stdout=subprocess.PIPE, text=True)
    if watcher.stdout.readline().strip() != "ready":
        watcher.wait()
        return None
    start = time.monotonic_ns()
    # Without the frame log: writing it costs time of its own.
    env = {k: v for k, v in subject.env.items() if k != "QT_LOGGING_RULES"}
    process = session.spawn(subject.argv, env)
    seen = watcher.stdout.readline().strip()
    watcher.wait()
    session.end(process)
    session.wait_pixel(x, y, covered=False)
    return (int(seen) - start) / 1e6 if seen else None


def first_frames(session, subjects, runs):
    """Warm first frames of the subjects with their starts interleaved (A B, B A, A B, …), so a machine
    that gets busier or quieter during the run moves every subject alike. The first round warms the
    caches and is left out. A subject that once shows no frame gets no figure."""
    times = {s.key: [] for s in subjects}
    failed = set()
    for i in range(runs + 1):
        for subject in (subjects if i % 2 == 0 else list(reversed(subjects))):
            if subject.key in failed:
                continue
            ms = first_frame(session, subject)
            if ms is None:
                failed.add(subject.key)
            elif i > 0:
                times[subject.key].append(ms)
    for subject in subjects:
        runs_of = times[subject.key]
        if runs_of and subject.key not in failed:
            subject.figures["frame_min"] = min(runs_of)
            subject.figures["frame_median"] = statistics.median(runs_of)
        else:
            subject.notes["trouble"] = "no first frame seen"


def measure_subject(session, subject, log, quick=False):
    """Every figure of one subject; quick: only the first frame and the pointer (far and inside the
    open panel), without the memory, idle, pane and tone phases."""
    fig = subject.figures
    say = lambda text: print(f"  {subject.title}: {text}", flush=True)  # noqa: E731
    session.far()
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
        measure_playing(session, subject, pid, log, stderr)
    session.end(process)
    stderr.close()


def anonymous_mappings(pid):
    """Anonymous memory by kind of mapping, in MiB: the heap, the other anonymous mappings (thread
    arenas, large blocks, the renderer's buffers), thread stacks, and what files' private pages hold."""
    kinds = {}
    name = None
    try:
        with open(f"/proc/{pid}/smaps") as f:
            for line in f:
                head = line.split()
                if head and re.match(r"^[0-9a-f]+-[0-9a-f]+$", head[0]):
                    path = head[5] if len(head) > 5 else ""
                    name = ("[anonymous]" if not path else path if path.startswith("[")
                            else "files' private pages")
                elif head and head[0] == "Anonymous:" and name is not None:
                    kinds[name] = kinds.get(name, 0) + int(head[1]) / 1024
    except OSError:
        return []
    return sorted(((n, kb) for n, kb in kinds.items() if kb >= 0.05), key=lambda item: -item[1])


def memory_only(session, build, runs):
    """Only the memory figures of the program on the software scene graph, each of `runs` starts apart:
    anonymous memory after start and after every pane was opened once, with where it lies. Prints
    them; returns true when the budget after every pane was met in every run."""
    program = os.path.join(build, "bin", "tavrenhold")
    met = True
    for run in range(runs):
        session.far()
        process = session.spawn([program])
        pid = process.pid
        session.wait_pixel(session.centre_x, 4, covered=True, timeout_ms=20000)
        time.sleep(5)
        start = memory(pid)
        start_kinds = anonymous_mappings(pid)
        opened = session.open_notch()
        time.sleep(1.5)
        pills = session.pills()
        for x in pills:
            session.move(x, 70)
            session.click()
            time.sleep(0.8)
        closed = session.close_notch()
        time.sleep(5)
        panes = memory(pid)
        panes_kinds = anonymous_mappings(pid)
        session.end(process)
        if not start or not panes or not opened or not closed or not pills:
            print(f"run {run + 1}: not measured (opened {opened}, {len(pills)} pills, closed {closed})")
            met = False
            continue
        met = met and panes["anon"] <= BUDGET_ANON_PANES
        print(f"run {run + 1}: anonymous {start['anon']:.1f} MiB after start, {panes['anon']:.1f} MiB after "
              f"every pane opened ({len(pills)} pills; budget {BUDGET_ANON_PANES:.0f}); threads "
              f"{start['threads']} / {panes['threads']}")
        after = dict(panes_kinds)
        for name, mib in start_kinds:
            after.setdefault(name, 0.0)
        before = dict(start_kinds)
        for name in sorted(after, key=lambda n: -after[n]):
            print(f"    {name:<24} {before.get(name, 0.0):6.2f} -> {after[name]:6.2f}")
    return met


def measure_playing(session, subject, pid, log, stderr):
    """Ticks and wakeups (and the program's frames) over IDLE_SECONDS collapsed while a tone plays."""
    # Longer than the measured stretch: the loop's jump back to the start would glide the
    # progress line, frames that are not the track's steps.
    player = session.tone(seconds=IDLE_SECONDS * 2)
    if player is None:
        return
    fig = subject.figures
    print(f"  {subject.title}: {IDLE_SECONDS} s collapsed while a tone plays", flush=True)
    time.sleep(5)
    stderr.flush()
    before_lines = count_frames(log)
    c = Counters(pid)
    time.sleep(IDLE_SECONDS)
    fig["playing"] = c.since()
    if subject.kind == "program":
        stderr.flush()
        fig["playing_frames"] = count_frames(log) - before_lines
    session.end(player)
    time.sleep(2)


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


def dig(d, path):
    """d[path[0]][path[1]]…, through dicts and tuples; None where a step is missing."""
    for p in path:
        if isinstance(d, dict) and p in d:
            d = d[p]
        elif isinstance(d, (tuple, list)) and isinstance(p, int) and p < len(d):
            d = d[p]
        else:
            return None
    return d


def build_report(subjects):
    cols = list(subjects)

    def row(label, fn):
        return "| " + label + " | " + " | ".join(fn(s) for s in cols) + " |"

    def mem(phase, key):
        return lambda s: cell(dig(s.figures, (phase, key)))

    def kids(phase):
        def shown(s):
            m = s.figures.get(phase)
            if not m or not m["children"]:
                return "—"
            return "; ".join(f"{k['anon']:.1f} / {k['dirty']:.1f} / {k['rss']:.1f}" for k in m["children"])
        return shown

    def counted(key):
        def shown(s):
            v = s.figures.get(key)
            if not v:
                return "—"
            return f"{v[0]} / {v[1]}" + (f" ({v[2]} / {v[3]})" if v[2] or v[3] else "")
        return shown

    lines = ["| | " + " | ".join(s.title for s in cols) + " |", "|---|" + "---|" * len(cols)]
    lines.append(row("first frame, warm, interleaved: min / median (ms)",
                     lambda s: f"{s.figures['frame_min']:.0f} / {s.figures['frame_median']:.0f}"
                     if "frame_median" in s.figures else "—"))
    for phase, title in (("start", "after start"), ("panes", "after every pane opened")):
        lines.append(row(f"anonymous {title} (MiB)", mem(phase, "anon")))
        lines.append(row(f"RSS {title} (MiB, moves with the page cache)", mem(phase, "rss")))
        lines.append(row(f"children {title}: anonymous / private dirty / RSS (MiB)", kids(phase)))
    lines.append(row("threads after start", lambda s: cell(dig(s.figures, ("start", "threads")))))
    lines.append(row(f"idle {IDLE_SECONDS} s: ticks / wakeups (children's)", counted("idle")))
    lines.append(row(f"tone playing {IDLE_SECONDS} s: ticks / wakeups (children's)", counted("playing")))
    lines.append(row(f"tone playing {IDLE_SECONDS} s: frames", lambda s: cell(s.figures.get("playing_frames"))))
    lines.append(row(f"pointer far away {POINTER_SECONDS} s: ticks / wakeups (children's)", counted("far")))
    lines.append(row(f"pointer inside the open panel {POINTER_SECONDS} s: ticks / wakeups (children's)",
                     counted("inside")))
    lines.append(row("one expand animation: frames / ticks",
                     lambda s: f"{s.figures['open_frames']} / {s.figures['open_ticks']}"
                     if "open_frames" in s.figures else "—"))
    lines.append(row("one collapse: ticks", lambda s: cell(s.figures.get("close_ticks"))))
    # Rows nobody was measured for (a quick run's) are left out.
    return lines[:2] + [line for line in lines[2:] if line.split(" | ", 1)[1].strip("| —")]


def quotient(x, y):
    return x / y if x is not None and y else None


def shown_ratio(value):
    return "—" if value is None else f"{value:.2f}×"


def ratios(subjects):
    by = {s.key: s.figures for s in subjects}

    def ratio(a, b, *path):
        return shown_ratio(quotient(dig(by.get(a), path), dig(by.get(b), path)))

    lines = ["| ratio | software | OpenGL |", "|---|---|---|"]
    for label, path in (("first frame (warm medians, starts interleaved)", ("frame_median",)),
                        ("anonymous memory after start", ("start", "anon")),
                        ("RSS after start", ("start", "rss"))):
        lines.append(f"| program / bare window, {label} | {ratio('program-software', 'bare-software', *path)} | "
                     f"{ratio('program-opengl', 'bare-opengl', *path)} |")
    lines.append(f"| program / bare window, ticks with the pointer inside | "
                 f"{ratio('program-software', 'bare-software', 'inside', 0)} | "
                 f"{ratio('program-opengl', 'bare-opengl', 'inside', 0)} |")
    if "copyq" in by:
        # Main process against main process; each one's children are in the table apart.
        for label, key in (("anonymous", "anon"), ("RSS", "rss")):
            lines.append(f"| program / CopyQ, main process's {label} after start | "
                         f"{ratio('program-software', 'copyq', 'start', key)} | "
                         f"{ratio('program-opengl', 'copyq', 'start', key)} |")
    else:
        lines.append("| program / CopyQ | not installed (bench/run --with-peers) | |")
    return lines


def check_budgets(subjects, quick=False):
    """(name, measured, limit, met) per budget of the program on the software scene graph. A figure
    that was not measured fails. A quick run judges only what it measures."""
    by = {s.key: s.figures for s in subjects}
    sw = by.get("program-software", {})
    bare = by.get("bare-software", {})
    results = []

    def check(name, value, limit, unit="", shown_limit=None):
        passed = value is not None and limit is not None and value <= limit
        if value is None:
            shown = "not measured"
        else:
            shown = (f"{value:.2f}" if isinstance(value, float) else str(value)) + unit
        results.append((name, shown, shown_limit or f"≤ {cell(limit, 2)}{unit}", passed))

    def count(key, index):
        v = sw.get(key)
        return v[index] if v else None

    check("first frame, warm median ÷ the bare window's (interleaved)",
          quotient(sw.get("frame_median"), bare.get("frame_median")), BUDGET_FIRST_FRAME_RATIO, "×")
    check(f"pointer far away {POINTER_SECONDS} s: ticks", count("far", 0), BUDGET_FAR_TICKS)
    check(f"pointer far away {POINTER_SECONDS} s: wakeups", count("far", 1), BUDGET_FAR_WAKEUPS)
    check(f"pointer inside the open panel {POINTER_SECONDS} s: ticks ÷ the bare window's",
          quotient(count("inside", 0), max(dig(bare, ("inside", 0)) or 0, 1) if "inside" in bare else None),
          BUDGET_INSIDE_RATIO, "×")
    if quick:
        return results
    check("anonymous memory after start ÷ the bare window's",
          quotient(dig(sw, ("start", "anon")), dig(bare, ("start", "anon"))), BUDGET_ANON_START_RATIO, "×")
    check("anonymous memory after every pane opened", dig(sw, ("panes", "anon")), BUDGET_ANON_PANES, " MiB")
    dirty = [k["dirty"] for phase in ("start", "panes") for k in adapters(sw.get(phase))]
    check("adapter private dirty memory", max(dirty) if dirty else None, BUDGET_ADAPTER_DIRTY, " MiB")
    check(f"collapsed and untouched {IDLE_SECONDS} s: ticks", count("idle", 0), BUDGET_IDLE_TICKS)
    check(f"collapsed and untouched {IDLE_SECONDS} s: wakeups", count("idle", 1), BUDGET_IDLE_WAKEUPS)
    check(f"a track playing collapsed {IDLE_SECONDS} s: ticks", count("playing", 0), BUDGET_PLAYING_TICKS)
    check(f"a track playing collapsed {IDLE_SECONDS} s: frames (one a display step)",
          sw.get("playing_frames"), PLAYING_CADENCE * IDLE_SECONDS)
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
    args = sys.argv[1:]
    build, out_dir, rest = args[0], args[1], args[2:]
    quick = "--quick" in rest
    scale_only = "--scale" in rest
    if "--memory" in rest:
        with Session(build) as session:
            session.far()
            sys.exit(0 if memory_only(session, build, int(rest[rest.index("--memory") + 1])) else 1)
    if "--playing" in rest:
        sys.exit(playing_only(build))
    record = rest[rest.index("--record") + 1] if "--record" in rest else None
    program = os.path.join(build, "bin", "tavrenhold")
    bare = os.path.join(build, "bench", "bench-bare")
    frames = {"QT_LOGGING_RULES": "qt.scenegraph.time.renderloop=true"}
    subjects = [
        Subject("program-opengl", "program, OpenGL", [program], {"QSG_RHI_BACKEND": "opengl", **frames}, "program"),
        Subject("program-software", "program, software (its own choice)", [program], frames, "program"),
    ]
    if shutil.which("copyq") and not quick:
        subjects.append(Subject("copyq", "CopyQ", ["copyq"], {}, "copyq"))
    subjects += [
        Subject("bare-opengl", "bare Qt Quick window, OpenGL", [bare], {"QSG_RHI_BACKEND": "opengl"}, "bare"),
        Subject("bare-software", "bare, software", [bare], {"QT_QUICK_BACKEND": "software"}, "bare"),
    ]
    if quick:
        subjects = [s for s in subjects if s.key in ("program-software", "bare-software")]
    if scale_only:
        subjects = []
    by = {s.key: s for s in subjects}
    begun = time.monotonic()
    scaled = {}
    with Session(build) as session:
        session.far()
        for scene in ("software", "opengl"):
            pair = [by[k] for k in (f"program-{scene}", f"bare-{scene}") if k in by]
            if pair:
                print(f"start to first frame, {scene}: {WARM_RUNS} warm runs each, interleaved", flush=True)
                try:
                    first_frames(session, pair, WARM_RUNS)
                except Exception as error:  # noqa: BLE001 — the other figures still count
                    for s in pair:
                        s.notes["trouble"] = str(error)
        for subject in subjects:
            print(subject.title, flush=True)
            try:
                measure_subject(session, subject, os.path.join(session.folder, subject.key + ".log"), quick)
            except Exception as error:  # one subject failing leaves the others' figures
                subject.notes["trouble"] = str(error)
        if not quick:
            scaled = scale.run(session, build, sys.modules[__name__],
                               say=lambda text: print(text, flush=True))
    minutes = (time.monotonic() - begun) / 60
    if quick:
        sys.exit(1 if quick_report(subjects, minutes) else 0)
    elif scale_only:
        scale_report(scaled, out_dir, minutes)
    else:
        report(subjects, out_dir, build, record, minutes, scaled)


def playing_only(build):
    """Only the program on the software scene graph, collapsed while a tone plays: prints its ticks,
    wakeups and frames with their budgets; 1 when one is missed."""
    program = os.path.join(build, "bin", "tavrenhold")
    subject = Subject("program-software", "program, software", [program],
                      {"QT_LOGGING_RULES": "qt.scenegraph.time.renderloop=true"}, "program")
    with Session(build) as session:
        session.far()
        log = os.path.join(session.folder, "playing.log")
        with open(log, "w") as stderr:
            process = session.spawn(subject.argv, subject.env, stderr=stderr)
            session.wait_pixel(session.centre_x, 4, covered=True, timeout_ms=20000)
            time.sleep(5)
            measure_playing(session, subject, process.pid, log, stderr)
            session.end(process)
    playing, frames = subject.figures.get("playing"), subject.figures.get("playing_frames")
    if not playing:
        print("the tone could not be played (mpv and its MPRIS script are needed)")
        return 1
    print(f"tone playing {IDLE_SECONDS} s: {playing[0]} ticks ({playing[2]} the children's), "
          f"{playing[1]} wakeups ({playing[3]} the children's), {frames} frames")
    budgets = [("ticks", playing[0], BUDGET_PLAYING_TICKS), ("frames", frames, PLAYING_CADENCE * IDLE_SECONDS)]
    for name, value, limit in budgets:
        print(f"{'ok  ' if value <= limit else 'MISS'} {name}: {value} (≤ {limit})")
    print(f"load average: {load_average()}")
    return 0 if all(value <= limit for _, value, limit in budgets) else 1


def load_average():
    try:
        with open("/proc/loadavg") as f:
            return " ".join(f.read().split()[:3])
    except OSError:
        return "?"


def budget_lines(budgets):
    return [f"{'ok  ' if ok else 'MISS'} {n}: {v} ({lim})" for n, v, lim, ok in budgets]


def quick_report(subjects, minutes):
    """The quick run's table and its budgets, printed only."""
    budgets = check_budgets(subjects, quick=True)
    print()
    print("\n".join(build_report(subjects)))
    print()
    print("\n".join(ratios(subjects)))
    print()
    print("\n".join(budget_lines(budgets)))
    print(f"load average: {load_average()}; the run took {minutes:.1f} min")
    return not all(ok for *_, ok in budgets)


def scale_section(scaled):
    """The scale cases' table, budgets and troubles, as markdown lines."""
    if not scaled:
        return []
    budgets = scale.budgets(scaled)
    judged = "judged" if scale.BUDGET_GATES else "reported, not judged"
    md = ["## Scale", "",
          "The program started over large stored data, seeded in the files it reads at start; the panel lands "
          "on the Focus pane and the case's pill is clicked. Anonymous memory of the program alone; ticks and "
          "wakeups with its children's.", ""]
    md += scale.table(scaled, cell) + [""]
    md += [f"| budget ({judged}) | measured | limit | met |", "|---|---|---|---|"]
    md += [f"| {n} | {v} | {lim} | {'yes' if ok else '**no**'} |" for n, v, lim, ok in budgets]
    md += [""] + [line + "\n" for line in scale.troubles(scaled)]
    return md


def scale_missed(scaled):
    return scale.BUDGET_GATES and not all(ok for *_, ok in scale.budgets(scaled))


def scale_report(scaled, out_dir, minutes):
    """A run of the scale cases alone: printed, and written as latest.md."""
    md = [f"# bench/run --scale, {time.strftime('%Y-%m-%d %H:%M UTC', time.gmtime())}", "",
          f"Xvfb 1512×982×24, openbox, private session bus; {os.cpu_count()} CPUs; load average at the end: "
          f"{load_average()}; the run took {minutes:.0f} min.", ""] + scale_section(scaled)
    os.makedirs(out_dir, exist_ok=True)
    written = os.path.join(out_dir, "latest.md")
    with open(written, "w") as f:
        f.write("\n".join(md) + "\n")
    print()
    print("\n".join(scale_section(scaled)))
    print(f"load average: {load_average()}; the run took {minutes:.1f} min; written: {written}")
    missing = not scaled or any(f.get("trouble") for f in scaled.values())
    sys.exit(1 if scale_missed(scaled) or missing else 0)


def report(subjects, out_dir, build, record, minutes, scaled=None):
    table = build_report(subjects)
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
    md = [f"# bench/run, {stamp}", "",
          f"Xvfb 1512×982×24, openbox, private session bus; {os.cpu_count()} CPUs ({cpu}); "
          f"a tick is {TICK_MS} ms of CPU; wakeups are voluntary context switches summed over threads; ticks "
          "and wakeups include the children's (in brackets: the children's alone); memory in MiB from "
          "smaps_rollup, each process apart; first frames of the program and the bare window measured with "
          f"their starts interleaved. Load average at the end: {load_average()} (times grow with the "
          f"machine's other work); the run took {minutes:.0f} min.", ""]
    md += table + [""] + ratio_lines + ["", "## Budgets (program, software scene graph)", "",
                                        "| budget | measured | limit | met |", "|---|---|---|---|"]
    md += [f"| {n} | {v} | {lim} | {'yes' if ok else '**no**'} |" for n, v, lim, ok in budgets]
    md += [""] + scale_section(scaled)
    md += ["", "## Where the memory goes", ""] + where_memory_goes(software)
    for s in subjects:
        m = s.figures.get("start")
        if m and m["children"]:
            md.append(f"Children of {s.title}: " + "; ".join(program_words(k["command"])[:90] for k in m["children"]))
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
    # The chart: anonymous memory after start (and after the panes) per subject, children apart.
    data = os.path.join(out_dir, ".chart.tsv")
    with open(data, "w") as f:
        for s in subjects:
            name = s.key.replace("-", ", ").replace("copyq", "CopyQ")
            for phase, label in (("start", "after start"), ("panes", "after panes")):
                m = s.figures.get(phase)
                if m:
                    f.write(f"{name}, {label}\t{m['anon']:.1f}\tMiB anonymous\n")
            m = s.figures.get("start")
            if m and m["children"]:
                f.write(f"{name}, children\t{sum(k['anon'] for k in m['children']):.1f}\tMiB anonymous\n")
    subprocess.run([os.path.join(build, "bench", "bench-probe"), "chart", data, os.path.join(out_dir, "latest.png")],
                   check=False)
    os.remove(data)
    written = [os.path.join(out_dir, name) for name in ("latest.md", "latest.png")]
    if record:
        os.makedirs(record, exist_ok=True)
        for path in written:
            if os.path.exists(path):
                shutil.copy(path, record)
        written.append(f"recorded in {record}")
    print()
    print("\n".join(table))
    print()
    print("\n".join(ratio_lines))
    print()
    print("\n".join(budget_lines(budgets)))
    print()
    print("\n".join(where_memory_goes(software)))
    print("\n".join(scale_section(scaled)))
    print(f"the run took {minutes:.1f} min; written: " + ", ".join(written))
    missing = not scaled or any(f.get("trouble") for f in scaled.values())
    sys.exit(0 if all(ok for *_, ok in budgets) and not scale_missed(scaled) and not missing else 1)


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    main()
