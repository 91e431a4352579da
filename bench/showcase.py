"""scripts/run without a display: the program on a private virtual display, with sample clipboard
entries, notes and a shelf file in the session's own folders, a private sound server, a tone
playing through an MPRIS player when one is installed; the notch hovered and each pane opened in
turn, a screenshot of each (build/screens/idle.png, expanded-<pane>.png), their paths printed, and
the program ended."""

import json
import os
import struct
import sys
import time
import uuid
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from session import BACKDROP, Session  # noqa: E402

# The part of the screen the notch hangs in: wider than the open panel; as high as each pane needs.
FRAME_W = 600
IDLE_H = 90
# Seconds between 1970 and 2001, the epoch of the stored clipboard and note times.
STORED_EPOCH = 978307200


def landed_pane(session):
    path = os.path.join(session.env["XDG_CONFIG_HOME"], "app.tavrenhold", "defaults.json")
    try:
        with open(path) as f:
            return json.load(f).get("shell.focusedPane")
    except (OSError, ValueError):
        return None


def picture_png(width=160, height=100):
    """A small landscape (sky, sun, hills) as PNG bytes, made without any imaging library."""
    rows = []
    for y in range(height):
        row = bytearray([0])  # filter: none
        for x in range(width):
            hill = height * 0.62 + 12 * ((x / width - 0.4) ** 2) * 10 - 8
            if (x - 112) ** 2 + (y - 30) ** 2 < 14 ** 2:
                pixel = (255, 214, 92)
            elif y > hill:
                pixel = (58, 140 - (y - int(hill)) // 2, 72)
            else:
                pixel = (90 + y, 150 + y // 2, 230)
            row += bytes(min(255, max(0, c)) for c in pixel)
        rows.append(bytes(row))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xffffffff)

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(b"".join(rows)))
            + chunk(b"IEND", b""))


def private_folder(path):
    os.makedirs(path, mode=0o700, exist_ok=True)
    return path


def seed(session):
    """Sample clipboard entries (one a picture), notes and a shelf file in the session's own data and
    cache folders, in the files the program reads at start."""
    now = time.time() - STORED_EPOCH
    data = private_folder(os.path.join(session.env["XDG_DATA_HOME"], "app.tavrenhold"))
    images = private_folder(os.path.join(data, "clipboard-images"))
    picture = uuid.uuid4().hex.upper() + ".png"
    with open(os.path.join(images, picture), "wb") as f:
        f.write(picture_png())

    def entry(kind, minutes_ago, pinned=False, **fields):
        return {"id": str(uuid.uuid4()).upper(), "kind": kind, **fields, "pinned": pinned,
                "copiedAt": now - 60 * minutes_ago}

    history = [
        entry("text", 1, text="git clone https://example.org/tavrenhold.git"),
        entry("image", 4, imagePath=picture),
        entry("text", 12, text="Meeting moved to Thursday, 10:30 in room 4B"),
        entry("text", 95, text="#3c6e9f", pinned=True),
    ]
    with open(os.path.join(data, "clipboard-history.json"), "w") as f:
        json.dump(history, f)

    notes = [
        ("Groceries", "Oat milk, lemons, basil, coffee beans", 3),
        ("Release checklist", "Tag the build, write the notes, tell the testers", 40),
        ("Ideas", "A focus round that starts when the editor opens", 60 * 26),
    ]
    with open(os.path.join(data, "notes.json"), "w") as f:
        json.dump([{"id": str(uuid.uuid4()).upper(), "title": title, "body": body, "updatedAt": now - 60 * minutes}
                   for title, body, minutes in notes], f)

    shelf = private_folder(os.path.join(session.env["XDG_CACHE_HOME"], "app.tavrenhold", "DropShelf"))
    with open(os.path.join(shelf, str(uuid.uuid4()).upper() + "-Holiday.png"), "wb") as f:
        f.write(picture_png(320, 200))


def frame_height(session, ceiling=700):
    """How far down the open panel (with its shadow) reaches below the top: the first row from which
    on the band around the centre shows only the backdrop, plus a margin."""
    backdrop = int(BACKDROP, 16)
    left, right = session.centre_x - FRAME_W // 2, session.centre_x + FRAME_W // 2

    def bare(y):
        row = session.row(y)
        return len(row) >= right and all(
            sum(abs(((p >> s) & 255) - ((backdrop >> s) & 255)) for s in (0, 8, 16)) <= 6 for p in row[left:right])

    low, high = IDLE_H, ceiling  # the panel covers row `low`; row `high` is taken as bare
    while high - low > 1:
        middle = (low + high) // 2
        if bare(middle):
            high = middle
        else:
            low = middle
    return min(ceiling, high + 12)


def main():
    build, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    written = []
    with Session(build) as session:
        left = session.centre_x - FRAME_W // 2
        seed(session)
        if session.sound() is None:
            print("scripts/run: no PulseAudio (pulseaudio, pactl) installed; the Music pane's volume slider stays empty.")
        player = session.tone()
        if player is None:
            print("scripts/run: no MPRIS player (mpv with mpv-mpris) installed; the Music pane shows no track.")
        program = session.spawn([os.path.join(build, "bin", "tavrenhold")])
        if not session.wait_pixel(session.centre_x, 4, covered=True, timeout_ms=20000):
            print("scripts/run: the notch did not appear", file=sys.stderr)
            return 1
        time.sleep(3)  # the tone reaches the bar through the adapter
        idle = os.path.join(out, "idle.png")
        if session.shot(idle, (left, 0, FRAME_W, IDLE_H)):
            written.append(idle)
        if not session.open_notch():
            print("scripts/run: the notch did not open", file=sys.stderr)
            return 1
        time.sleep(1)
        pills = session.pills()
        # The landed pane is read back from the settings file, written when a tap lands on another
        # pane: the first pill (landed at start) comes last.
        for x in pills[1:] + pills[:1]:
            session.move(x, 70)
            session.click()
            time.sleep(1.2)
            pane = landed_pane(session) or f"pane-at-{x}"
            path = os.path.join(out, f"expanded-{pane}.png")
            # Away from the pill, still over the panel: no hover highlight in the picture.
            session.move(session.centre_x + 240, 30)
            time.sleep(0.6)
            if session.shot(path, (left, 0, FRAME_W, frame_height(session))):
                written.append(path)
        session.end(program)
        if player is not None:
            session.end(player)
    for path in written:
        print(path)
    return 0 if written else 1


if __name__ == "__main__":
    sys.exit(main())
