#!/usr/bin/python3
# A GTK 3 drag source that promises one file by direct save (XDS), for the shelf's end-to-end tests.
#   xds_source.py X Y W H NAME CONTENT MODE
# MODE "save" writes CONTENT where the target says and answers "S"; "fail" writes nothing and
# answers "E"; "link" puts a symbolic link to the path CONTENT there and answers "S". Prints "ready" once shown, "asked <uri>" when asked to save.
import ctypes
import os
import sys
from urllib.parse import unquote, urlparse

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
gi.require_version("GdkX11", "3.0")
from gi.repository import Gdk, GdkX11, Gtk  # noqa: E402

x, y, w, h = (int(v) for v in sys.argv[1:5])
name, content, mode = sys.argv[5].encode(), sys.argv[6].encode(), sys.argv[7]

# GDK's property calls are not introspectable: a libX11 connection of our own sets and reads them.
xlib = ctypes.CDLL("libX11.so.6")
xlib.XOpenDisplay.restype = ctypes.c_void_p
xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
xlib.XInternAtom.restype = ctypes.c_ulong
xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
xlib.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int,
                                 ctypes.c_int, ctypes.c_char_p, ctypes.c_int]
xlib.XGetWindowProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long, ctypes.c_long,
                                    ctypes.c_int, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                                    ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_ulong),
                                    ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_void_p)]
xlib.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
xlib.XFree.argtypes = [ctypes.c_void_p]
display = xlib.XOpenDisplay(None)
XDS = xlib.XInternAtom(display, b"XdndDirectSave0", 0)
TEXT_PLAIN = xlib.XInternAtom(display, b"text/plain", 0)
source_xid = [0]


def say(line):
    print(line, flush=True)


def read_uri(xid):
    kind, fmt = ctypes.c_ulong(), ctypes.c_int()
    count, after = ctypes.c_ulong(), ctypes.c_ulong()
    value = ctypes.c_void_p()
    status = xlib.XGetWindowProperty(display, xid, XDS, 0, 4096, 0, 0, ctypes.byref(kind), ctypes.byref(fmt),
                                     ctypes.byref(count), ctypes.byref(after), ctypes.byref(value))
    if status != 0 or not value.value:
        return b""
    data = ctypes.string_at(value.value, count.value)
    xlib.XFree(value)
    return data


def on_begin(widget, ctx):
    source_xid[0] = ctx.get_source_window().get_xid()
    xlib.XChangeProperty(display, source_xid[0], XDS, TEXT_PLAIN, 8, 0, name, len(name))
    xlib.XSync(display, 0)
    say("begin")


def on_get(widget, ctx, data, info, time):
    uri = read_uri(source_xid[0]).decode(errors="replace")
    say("asked " + uri)
    answer = b"E"
    path = unquote(urlparse(uri).path)
    try:
        if mode == "save":
            with open(path, "wb") as f:
                f.write(content)
            answer = b"S"
        elif mode == "link":
            os.symlink(content, path)
            answer = b"S"
    except OSError:
        answer = b"E"
    data.set(data.get_target(), 8, answer)


def on_end(widget, ctx):
    say("end")


window = Gtk.Window(type=Gtk.WindowType.POPUP)
window.move(x, y)
window.set_default_size(w, h)
area = Gtk.EventBox()
area.set_size_request(w, h)
area.override_background_color(Gtk.StateFlags.NORMAL, Gdk.RGBA(0.3, 0.3, 0.8, 1))
area.drag_source_set(Gdk.ModifierType.BUTTON1_MASK, [Gtk.TargetEntry.new("XdndDirectSave0", 0, 1)],
                     Gdk.DragAction.COPY)
area.connect("drag-begin", on_begin)
area.connect("drag-data-get", on_get)
area.connect("drag-end", on_end)
window.add(area)
window.connect("map-event", lambda *a: say("ready"))
window.show_all()
Gtk.main()
