"""bench/run's scale cases: the program started over as much stored data as people reach, seeded in the
files it reads at start, each case in the same private session with the program's folders emptied
between cases:

- clipboard: 100 entries filling the history file to its 64 MiB bound (ClipboardHistoryStore::maxFileBytes;
  each text far below the 16 MiB an entry may take), ten of them pictures as large as a thumbnail still
  decodes (7680 × 4320, ~38 MiB of PNG each);
- notes: 10,000 notes of a few lines each;
- shelf: 1,000 files parked on the shelf;
- players: 50 MPRIS players on the session bus, each a connection of its own (bench/players.py);
- empty: nothing stored, for comparison; every one of those panes is opened in turn.

For each: the first frame (median of three starts), anonymous memory after start, the open panel landed
on the Focus pane, a click on the case's pane pill timed to the first frame that shows the pane and to
the last frame of its slide, anonymous memory with the pane open and after the panel closed, and ticks
and wakeups over 10 s untouched afterwards."""

import json
import os
import random
import shutil
import statistics
import struct
import subprocess
import time
import uuid
import zlib

# Mirrors of the program's own bounds (src/clipboard, src/notes).
CLIPBOARD_FILE_BYTES = 64 * 1024 * 1024
CLIPBOARD_ENTRY_BYTES = 16 * 1024 * 1024
CLIPBOARD_ENTRIES = 100
CLIPBOARD_PICTURES = 10
PICTURE_SIZE = (7680, 4320)  # 127 MiB decoded: the largest common size within Qt 6.4's 128 MiB decode limit
NOTES = 10_000
SHELF_FILES = 1_000
PLAYERS = 50

IDLE_AFTER_SECONDS = 10
FIRST_FRAME_RUNS = 3
BUDGET_PANE_OPEN_MS = 250
# Whether a pane missing BUDGET_PANE_OPEN_MS fails the run.
BUDGET_GATES = True
STORED_EPOCH = 978307200  # 2001-01-01, the epoch of the stored clipboard and note times

# The pill order the cases set: the panel lands on Focus, a light pane, and the case's pane is clicked.
ORDER = ["focus", "clipboard", "notes", "drop", "music", "usage"]
LANDING = "focus"

CASES = [
    ("empty", "nothing stored", ["clipboard", "notes", "drop", "music"]),
    ("clipboard", f"{CLIPBOARD_ENTRIES} clipboard entries, 64 MiB", ["clipboard"]),
    ("notes", f"{NOTES:,} notes", ["notes"]),
    ("shelf", f"{SHELF_FILES:,} shelf files", ["drop"]),
    ("players", f"{PLAYERS} MPRIS players", ["music"]),
]


# --- seeding ---
def app_folder(session, xdg):
    path = os.path.join(session.env[xdg], "app.tavrenhold")
    os.makedirs(path, mode=0o700, exist_ok=True)
    return path


def reset(session):
    """Removes everything the program stored in the session's folders."""
    for xdg in ("XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"):
        shutil.rmtree(os.path.join(session.env[xdg], "app.tavrenhold"), ignore_errors=True)
    with open(os.path.join(app_folder(session, "XDG_CONFIG_HOME"), "defaults.json"), "w") as f:
        json.dump({"shell.paneOrder": ORDER, "shell.hiddenPanes": [], "shell.focusedPane": LANDING}, f)


def prose(length, seed):
    """ASCII text of about `length` characters: lines of words, as a log or an article copied whole."""
    rng = random.Random(seed)
    words = ("the build sent request worker queue tavrenhold retry window cache render frame value "
             "latency notch panel thursday report config failed ok warning started stopped").split()
    lines, size = [], 0
    while size < length:
        line = " ".join(rng.choice(words) for _ in range(rng.randint(6, 16)))
        lines.append(line)
        size += len(line) + 1
    return "\n".join(lines)[:length]


def picture(path, width, height):
    """A large PNG: the same gradient on every row with a band of noise in front, so it neither
    compresses to nothing nor decodes quickly. Made once per build folder."""
    if os.path.exists(path):
        return
    gradient = b"".join(bytes((x * 255 // width, 200, 255 - x * 255 // width)) for x in range(width))
    noise = width * 3 * 2 // 5
    rows = b"".join(b"\0" + os.urandom(noise) + gradient[noise:] for _ in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xffffffff)

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    with open(path + ".new", "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 1))
                + chunk(b"IEND", b""))
    os.replace(path + ".new", path)


def seed_clipboard(session, build):
    """CLIPBOARD_ENTRIES entries whose history file comes within a KiB of the bound the store reads,
    every tenth one a picture of PICTURE_SIZE."""
    data = app_folder(session, "XDG_DATA_HOME")
    images = os.path.join(data, "clipboard-images")
    os.makedirs(images, mode=0o700, exist_ok=True)
    source = os.path.join(build, "bench", "scale-picture.png")
    picture(source, *PICTURE_SIZE)
    now = time.time() - STORED_EPOCH
    rows = []
    for i in range(CLIPBOARD_ENTRIES):
        row = {"id": str(uuid.UUID(int=i + 1)).upper(), "kind": "text", "pinned": i in (3, 40),
               "copiedAt": now - 60 * (i + 1)}
        if i % (CLIPBOARD_ENTRIES // CLIPBOARD_PICTURES) == 1:
            name = row["id"] + ".png"
            # A second name of the one picture where the folders allow it: 390 MiB less to write.
            if same_device(source, images):
                os.link(source, os.path.join(images, name))
            else:
                shutil.copy(source, os.path.join(images, name))
            row.update(kind="image", imagePath=name)
        else:
            row["text"] = ""
        rows.append(row)
    texts = [r for r in rows if r["kind"] == "text"]

    def size():
        return len(json.dumps(rows, separators=(",", ":"), ensure_ascii=False).encode())

    each = min((CLIPBOARD_FILE_BYTES - 1024 - size()) // len(texts), CLIPBOARD_ENTRY_BYTES - 2)
    block = prose(each + 4096, 1)
    for n, row in enumerate(texts):
        head = f"Entry {n + 1}: output of the nightly job\n"
        row["text"] = (head + block)[:each]
    # "\n" takes two bytes in the file: cut back to the bound.
    while size() > CLIPBOARD_FILE_BYTES - 1024:
        over = size() - (CLIPBOARD_FILE_BYTES - 1024)
        cut = over // len(texts) + 1
        for row in texts:
            row["text"] = row["text"][:-cut]
    body = json.dumps(rows, separators=(",", ":"), ensure_ascii=False).encode()
    with open(os.path.join(data, "clipboard-history.json"), "wb") as f:
        f.write(body)
    return f"{len(body) / 2**20:.1f} MiB history, {len(texts)} texts of {len(texts[0]['text']) / 1024:.0f} KiB, " \
           f"{len(rows) - len(texts)} pictures of {PICTURE_SIZE[0]} × {PICTURE_SIZE[1]} " \
           f"({os.path.getsize(source) / 2**20:.0f} MiB each)"


def same_device(a, b):
    return os.stat(a).st_dev == os.stat(b).st_dev


def seed_notes(session, _build):
    rng = random.Random(7)
    now = time.time() - STORED_EPOCH
    notes = []
    for i in range(NOTES):
        body = prose(rng.randint(40, 1400), i)
        notes.append({"id": str(uuid.UUID(int=i + 1)).upper(), "title": f"Note {i + 1}: {body[:24].strip()}",
                      "body": body, "updatedAt": now - 37 * i})
    body = json.dumps(notes, separators=(",", ":")).encode()
    with open(os.path.join(app_folder(session, "XDG_DATA_HOME"), "notes.json"), "wb") as f:
        f.write(body)
    return f"{len(body) / 2**20:.1f} MiB notes file"


def seed_shelf(session, _build):
    shelf = os.path.join(app_folder(session, "XDG_CACHE_HOME"), "DropShelf")
    os.makedirs(shelf, mode=0o700, exist_ok=True)
    kinds = [("Report {}.pdf", b"%PDF-1.4\n" + b"0" * 40000), ("notes-{}.txt", prose(3000, 3).encode()),
             ("Holiday {}.png", png_tile()), ("archive-{}.tar.gz", os.urandom(60000)),
             ("Screenshot {}.png", png_tile()), ("budget-{}.ods", os.urandom(20000))]
    now = time.time()
    total = 0
    for i in range(SHELF_FILES):
        pattern, content = kinds[i % len(kinds)]
        path = os.path.join(shelf, f"{str(uuid.UUID(int=i + 1)).upper()}-{pattern.format(i + 1)}")
        with open(path, "wb") as f:
            f.write(content)
        total += len(content)
        parked = now - 60 * (i % 1200)  # all within the last 20 hours: none expires during the run
        os.utime(path, (parked, parked))
    return f"{total / 2**20:.1f} MiB in {SHELF_FILES} files"


def png_tile(width=320, height=200):
    rows = [b"\0" + bytes((x + y) & 255 for x in range(width * 3)) for y in range(height)]

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xffffffff)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(b"".join(rows))) + chunk(b"IEND", b""))


def start_players(session):
    """PLAYERS players on the session's bus, through the system's python3 (python3-dbus, python3-gi);
    None when they did not come up."""
    script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "players.py")
    process = session.spawn(["/usr/bin/python3", script, str(PLAYERS)], stdout=subprocess.PIPE)
    line = process.stdout.readline().decode().strip()
    if line != "ready":
        session.end(process)
        return None
    return process


SEEDS = {"clipboard": seed_clipboard, "notes": seed_notes, "shelf": seed_shelf}


# --- measuring ---
def pane_click(session, x, region):
    """Clicks the pill at x; (ms to the first changed frame of the pane area, ms to its last change)."""
    session.move(x, 70)
    time.sleep(0.6)  # the pill's hover look settles first
    result = session.probe("click", *region, 5000)
    words = result.stdout.split()
    if result.returncode != 0 or len(words) != 2:
        return None
    return float(words[0]), float(words[1])


def landed_pane(session):
    try:
        with open(os.path.join(session.env["XDG_CONFIG_HOME"], "app.tavrenhold", "defaults.json")) as f:
            return json.load(f).get("shell.focusedPane")
    except (OSError, ValueError):
        return None


def run_case(session, program, key, panes, measure):
    """One case's figures; measure is measure.py's module (memory, Counters, first_frame)."""
    figures = {"panes": {}, "trouble": []}
    subject = measure.Subject("scale-" + key, key, [program], {}, "program")
    times = []
    for _ in range(FIRST_FRAME_RUNS):
        session.far()
        ms = measure.first_frame(session, subject)
        if ms is not None:
            times.append(ms)
    if times:
        figures["frame"] = statistics.median(times)
    process = session.spawn([program])
    pid = process.pid
    if not session.wait_pixel(session.centre_x, 4, covered=True, timeout_ms=20000):
        figures["trouble"].append("no first frame")
    time.sleep(5)
    figures["start"] = measure.memory(pid)
    if not session.open_notch():
        figures["trouble"].append("the notch did not open")
    time.sleep(1.5)
    pills = session.pills()
    if len(pills) != len(ORDER):
        figures["trouble"].append(f"{len(pills)} pills seen, {len(ORDER)} expected")
    # Below the pills and their captions: the pane itself.
    region = (session.centre_x - 240, 110, 480, 150)
    for pane in panes:
        index = ORDER.index(pane)
        if index >= len(pills):
            continue
        shown = pane_click(session, pills[index], region)
        time.sleep(1.5)
        figures["panes"][pane] = {"open": shown, "memory": measure.memory(pid)}
        if landed_pane(session) != pane:
            figures["trouble"].append(f"the {pane} pill landed on {landed_pane(session)}")
    if not session.close_notch():
        figures["trouble"].append("the notch did not close")
    time.sleep(3)
    figures["closed"] = measure.memory(pid)
    counters = measure.Counters(pid)
    time.sleep(IDLE_AFTER_SECONDS)
    figures["idle"] = counters.since()
    session.end(process)
    return figures


def run(session, build, measure, say=print):
    """Every case, in order; {key: figures}."""
    program = os.path.join(build, "bin", "tavrenhold")
    results = {}
    for key, title, panes in CASES:
        say(f"scale: {title}")
        reset(session)
        players = None
        figures = {"trouble": []}
        try:
            seeded = SEEDS[key](session, build) if key in SEEDS else ""
            if key == "players":
                players = start_players(session)
                seeded = f"{PLAYERS} players" if players else ""
                if players is None:
                    figures["trouble"].append("the players did not start (python3-dbus, python3-gi)")
            figures = {**run_case(session, program, key, panes, measure), "seeded": seeded,
                       "trouble": figures["trouble"]}
        except Exception as error:  # noqa: BLE001 — one case failing leaves the others' figures
            figures["trouble"].append(str(error))
        finally:
            if players is not None:
                session.end(players)
        results[key] = figures
    reset(session)
    return results


# --- the report ---
def anon(m):
    return None if not m else m["anon"]


def table(results, cell):
    lines = ["| case | stored | first frame (ms, median of 3) | anonymous after start (MiB) | pane | "
             "pill click to the pane's first frame / last frame of the slide (ms) | anonymous, pane open (MiB) | "
             "anonymous after closing (MiB) | idle 10 s after: ticks / wakeups (children's) |",
             "|---|---|---|---|---|---|---|---|---|"]
    for key, title, _ in CASES:
        f = results.get(key)
        if f is None:
            continue
        idle = f.get("idle")
        idle_cell = "—" if not idle else f"{idle[0]} / {idle[1]}" + (f" ({idle[2]} / {idle[3]})" if idle[2] or idle[3] else "")
        panes = f.get("panes") or {"—": {}}
        for n, (pane, p) in enumerate(panes.items()):
            shown = p.get("open")
            lines.append("| " + " | ".join([
                title if n == 0 else "", (f.get("seeded") or "—") if n == 0 else "",
                cell(f.get("frame"), 0) if n == 0 else "", cell(anon(f.get("start"))) if n == 0 else "",
                pane, "—" if not shown else f"{shown[0]:.0f} / {shown[1]:.0f}", cell(anon(p.get("memory"))),
                cell(anon(f.get("closed"))) if n == 0 else "", idle_cell if n == 0 else ""]) + " |")
    return lines


def budgets(results):
    """(name, measured, limit, met) for the pane that each case stores much for: its first frame."""
    out = []
    for key, title, panes in CASES:
        if key == "empty":
            continue
        shown = results.get(key, {}).get("panes", {}).get(panes[0], {}).get("open")
        value = shown[0] if shown else None
        out.append((f"scale, {title}: the {panes[0]} pane's first frame after the pill click",
                    "not measured" if value is None else f"{value:.0f} ms", f"≤ {BUDGET_PANE_OPEN_MS} ms",
                    value is not None and value <= BUDGET_PANE_OPEN_MS))
    return out


def troubles(results):
    return [f"Trouble in the scale case {key}: {t}" for key, f in results.items() for t in f.get("trouble", [])]
