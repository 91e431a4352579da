"""scripts/run without a display: the program on a private virtual display, a tone playing through an
MPRIS player when one is installed, the notch hovered and each pane opened in turn, a screenshot of
each (build/screens/idle.png, expanded-<pane>.png), their paths printed, and the program ended."""

import json
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from session import Session  # noqa: E402

# The part of the screen the notch hangs in.
FRAME_W, FRAME_H = 600, 300


def landed_pane(session):
    path = os.path.join(session.env["XDG_CONFIG_HOME"], "app.tavrenhold", "defaults.json")
    try:
        with open(path) as f:
            return json.load(f).get("shell.focusedPane")
    except (OSError, ValueError):
        return None


def main():
    build, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    written = []
    with Session(build) as session:
        frame = (session.centre_x - FRAME_W // 2, 0, FRAME_W, FRAME_H)
        player = session.tone()
        if player is None:
            print("scripts/run: no MPRIS player (mpv with mpv-mpris) installed; the Music pane shows no track.")
        program = session.spawn([os.path.join(build, "bin", "tavrenhold")])
        if not session.wait_pixel(session.centre_x, 4, covered=True, timeout_ms=20000):
            print("scripts/run: the notch did not appear", file=sys.stderr)
            return 1
        time.sleep(3)  # the tone reaches the bar through the adapter
        idle = os.path.join(out, "idle.png")
        if session.shot(idle, (frame[0], 0, FRAME_W, 90)):
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
            if session.shot(path, frame):
                written.append(path)
        session.end(program)
        if player is not None:
            session.end(player)
    for path in written:
        print(path)
    return 0 if written else 1


if __name__ == "__main__":
    sys.exit(main())
