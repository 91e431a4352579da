"""A private desktop for bench/run and scripts/run: Xvfb on a free display, a session bus, openbox,
and the processes started in it, all ended by their own pids when the session closes."""

import os
import shutil
import signal
import subprocess
import tempfile
import time

WIDTH, HEIGHT = 1512, 982
BACKDROP = "3c6e9f"
MPRIS_SCRIPT = "/usr/lib/mpv-mpris/mpris.so"


class Session:
    def __init__(self, build):
        self.build = os.path.abspath(build)
        self.probe_path = os.path.join(self.build, "bench", "bench-probe")
        self.folder = tempfile.mkdtemp(prefix="tavrenhold-session-")
        self.started = []  # every Popen of ours, ended last-first
        self.env = None
        self.centre_x = WIDTH // 2 + 1  # the middle of an even width, as the notch takes it

    # --- the session ---
    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.close()

    def start(self):
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{WIDTH}x{HEIGHT}x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.started.append(xvfb)
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    raise RuntimeError("Xvfb did not start")
                number += chunk
        env = {k: v for k, v in os.environ.items()
               if k not in ("QT_QUICK_BACKEND", "QSG_RHI_BACKEND", "QT_QPA_PLATFORM", "WAYLAND_DISPLAY",
                            "DBUS_SESSION_BUS_ADDRESS", "QT_LOGGING_RULES", "XAUTHORITY")}
        env["DISPLAY"] = ":" + number.decode().strip()
        home = os.path.join(self.folder, "home")
        for name, sub in (("XDG_CONFIG_HOME", "config"), ("XDG_DATA_HOME", "data"), ("XDG_CACHE_HOME", "cache"),
                          ("XDG_RUNTIME_DIR", "runtime")):
            env[name] = os.path.join(home, sub)
            os.makedirs(env[name], mode=0o700, exist_ok=True)
        env["HOME"] = home
        self.env = env
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"], env=env,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.started.append(bus)
        env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().decode().strip()
        self.spawn(["openbox", "--sm-disable"])
        time.sleep(0.5)
        self.probe("backdrop", BACKDROP)
        self.probe("moveto", 100, HEIGHT - 100)

    def close(self):
        for process in reversed(self.started):
            self.end(process)
        self.started.clear()
        shutil.rmtree(self.folder, ignore_errors=True)

    def spawn(self, argv, extra_env=None, **kwargs):
        env = dict(self.env)
        env.update(extra_env or {})
        process = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL,
                                   stdout=kwargs.pop("stdout", subprocess.DEVNULL),
                                   stderr=kwargs.pop("stderr", subprocess.DEVNULL), **kwargs)
        self.started.append(process)
        return process

    def end(self, process, grace=5):
        if process.poll() is None:
            process.send_signal(signal.SIGTERM)
            try:
                process.wait(grace)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        if process in self.started:
            self.started.remove(process)

    # --- the screen and the pointer ---
    def probe(self, *args, timeout=60):
        result = subprocess.run([self.probe_path, *map(str, args)], env=self.env, capture_output=True,
                                text=True, timeout=timeout)
        return result

    def wait_pixel(self, x, y, covered, timeout_ms=10000):
        """Waits until the pixel at (x, y) is covered by a window (or shows the backdrop again)."""
        return self.probe("covered" if covered else "uncovered", x, y, BACKDROP, timeout_ms).returncode == 0

    def move(self, x, y):
        self.probe("moveto", x, y)

    def sweep(self, x0, y0, x1, y1, seconds):
        self.probe("sweep", x0, y0, x1, y1, seconds, timeout=seconds + 30)

    def click(self):
        subprocess.run(["xdotool", "click", "1"], env=self.env, check=False)

    def shot(self, path, rect=None):
        return self.probe("shot", path, *(rect or ())).returncode == 0

    def row(self, y):
        out = self.probe("row", y).stdout.split()
        return [int(p, 16) for p in out]

    # --- the notch ---
    def far(self):
        self.move(100, HEIGHT - 100)

    def open_notch(self):
        """Moves up to the top edge over the notch; true once the open surface shows."""
        self.move(self.centre_x, 300)
        self.move(self.centre_x, 0)
        return self.wait_pixel(self.centre_x - 200, 150, covered=True)

    def close_notch(self):
        self.far()
        return self.wait_pixel(self.centre_x - 200, 150, covered=False)

    def pills(self, y=61):
        """The centres of the pills in the open panel's pill row (58 to 82 below the top), left to right:
        the runs of screen row `y` that differ from the panel's own colour; the row runs above the
        captions, through the capsules only."""
        row = self.row(y)
        left, right = self.centre_x - 250, self.centre_x + 250
        if len(row) < right:
            return []
        panel = self.row(40)[self.centre_x]  # above the pills, inside the panel
        backdrop = int(BACKDROP, 16)

        def near(p, q):
            return sum(abs(((p >> s) & 255) - ((q >> s) & 255)) for s in (0, 8, 16)) <= 12

        def differs(p):
            return not near(p, panel) and not near(p, backdrop)

        centres, start = [], None
        for x in range(left, right + 1):
            inside = x < right and differs(row[x])
            if inside and start is None:
                start = x
            elif not inside and start is not None:
                if x - start >= 20:
                    centres.append((start + x) // 2)
                start = None
        return centres

    # --- sound ---
    def sound(self):
        """A private PulseAudio with one output, named in PULSE_SERVER for what is spawned from now on;
        None when PulseAudio is not installed or does not answer. Kept off the session bus and the
        display (a second daemon on one bus dies)."""
        if not shutil.which("pulseaudio") or not shutil.which("pactl"):
            return None
        folder = os.path.join(self.folder, "pulse")
        os.makedirs(os.path.join(folder, "runtime"), mode=0o700, exist_ok=True)
        socket = os.path.join(folder, "native")
        script = os.path.join(folder, "session.pa")
        with open(script, "w") as f:
            f.write(f"load-module module-native-protocol-unix auth-anonymous=1 socket={socket}\n"
                    "load-module module-null-sink sink_name=speakers sink_properties='"
                    "device.description=\"Built-in Speakers\" device.class=sound device.form_factor=internal'\n"
                    "set-default-sink speakers\n"
                    "set-sink-volume speakers 45875\n")
        env = {k: v for k, v in self.env.items() if k not in ("DBUS_SESSION_BUS_ADDRESS", "DISPLAY")}
        env.update(XDG_RUNTIME_DIR=os.path.join(folder, "runtime"), HOME=folder)
        daemon = subprocess.Popen(["pulseaudio", "-n", "-F", script, "--daemonize=no", "--exit-idle-time=-1",
                                   "--use-pid-file=no"], env=env, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.started.append(daemon)
        server = "unix:" + socket
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline and daemon.poll() is None:
            if subprocess.run(["pactl", "info"], env=dict(env, PULSE_SERVER=server), stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode == 0:
                self.env["PULSE_SERVER"] = server
                return daemon
            time.sleep(0.05)
        self.end(daemon)
        return None

    # --- a player ---
    def tone(self, seconds=30):
        """A generated tone played on a loop by mpv over MPRIS; None when mpv or its MPRIS script is missing."""
        if not shutil.which("mpv") or not os.path.exists(MPRIS_SCRIPT):
            return None
        wav = os.path.join(self.folder, f"tone-{seconds}.wav")
        if not os.path.exists(wav):
            if shutil.which("sox"):
                subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", wav, "synth", str(seconds), "sine", "440",
                                "vol", "0.2"], check=True)
            else:
                write_tone(wav, seconds)
        return self.spawn(["mpv", "--no-config", "--no-video", "--ao=null", "--loop-file=inf",
                           "--title=Bench tone", f"--script={MPRIS_SCRIPT}", wav])


def write_tone(path, seconds):
    """A 440 Hz sine as 16-bit mono WAV, for machines without sox."""
    import math
    import struct
    import wave
    rate = 22050
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(rate)
        out.writeframes(b"".join(struct.pack("<h", int(6000 * math.sin(2 * math.pi * 440 * i / rate)))
                                 for i in range(rate * seconds)))
