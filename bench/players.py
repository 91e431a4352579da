"""MPRIS players for bench/run's scale cases: `players.py COUNT` connects COUNT times to the session bus
(one connection per player, as separate programs would), each owning org.mpris.MediaPlayer2.benchN with
a paused track, prints "ready" once every name is owned, and answers calls until it is ended. Needs the
system's python3 with python3-dbus and python3-gi."""

import sys

import dbus
import dbus.bus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

ROOT = "org.mpris.MediaPlayer2"
PLAYER = "org.mpris.MediaPlayer2.Player"
PROPERTIES = "org.freedesktop.DBus.Properties"
PATH = "/org/mpris/MediaPlayer2"


class Player(dbus.service.Object):
    def __init__(self, connection, number):
        super().__init__(connection, PATH)
        self.number = number
        self.status = "Paused"
        seconds = 150 + (number * 37) % 240
        self.values = {
            ROOT: {
                "Identity": f"Bench Player {number}",
                "DesktopEntry": f"bench-player-{number}",
                "CanQuit": False, "CanRaise": False, "HasTrackList": False,
                "SupportedUriSchemes": dbus.Array([], signature="s"),
                "SupportedMimeTypes": dbus.Array([], signature="s"),
            },
            PLAYER: {
                "PlaybackStatus": self.status,
                "Rate": 1.0, "MinimumRate": 1.0, "MaximumRate": 1.0, "Volume": 0.8,
                "Position": dbus.Int64(number * 1_000_000),
                "Metadata": dbus.Dictionary({
                    "mpris:trackid": dbus.ObjectPath(f"/org/bench/track/{number}"),
                    "mpris:length": dbus.Int64(seconds * 1_000_000),
                    "xesam:title": f"Track {number} of the long evening",
                    "xesam:artist": dbus.Array([f"Artist {number % 17}"], signature="s"),
                    "xesam:album": f"Album {number % 9}",
                }, signature="sv"),
                "CanGoNext": True, "CanGoPrevious": True, "CanPlay": True, "CanPause": True,
                "CanSeek": True, "CanControl": True,
            },
        }

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.values[interface][name]

    @dbus.service.method(PROPERTIES, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return dbus.Dictionary(self.values.get(interface, {}), signature="sv")

    @dbus.service.method(PROPERTIES, in_signature="ssv")
    def Set(self, interface, name, value):
        pass

    @dbus.service.signal(PROPERTIES, signature="sa{sv}as")
    def PropertiesChanged(self, interface, changed, invalidated):
        pass

    def set_status(self, status):
        if self.status != status:
            self.status = status
            self.values[PLAYER]["PlaybackStatus"] = status
            self.PropertiesChanged(PLAYER, {"PlaybackStatus": status}, dbus.Array([], signature="s"))

    @dbus.service.method(ROOT)
    def Raise(self):
        pass

    @dbus.service.method(ROOT)
    def Quit(self):
        pass

    @dbus.service.method(PLAYER)
    def Play(self):
        self.set_status("Playing")

    @dbus.service.method(PLAYER)
    def Pause(self):
        self.set_status("Paused")

    @dbus.service.method(PLAYER)
    def PlayPause(self):
        self.set_status("Paused" if self.status == "Playing" else "Playing")

    @dbus.service.method(PLAYER)
    def Stop(self):
        self.set_status("Stopped")

    @dbus.service.method(PLAYER)
    def Next(self):
        pass

    @dbus.service.method(PLAYER)
    def Previous(self):
        pass

    @dbus.service.method(PLAYER, in_signature="x")
    def Seek(self, offset):
        pass

    @dbus.service.method(PLAYER, in_signature="ox")
    def SetPosition(self, track, position):
        pass


def main():
    count = int(sys.argv[1])
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    players = []
    for number in range(1, count + 1):
        connection = dbus.bus.BusConnection(dbus.bus.BusConnection.TYPE_SESSION)
        name = dbus.service.BusName(f"{ROOT}.bench{number}", bus=connection, do_not_queue=True)
        players.append((connection, name, Player(connection, number)))
    print("ready", flush=True)
    GLib.MainLoop().run()


if __name__ == "__main__":
    main()
