#!/usr/bin/python3
# Writes a PNG of the screen of a GNOME Shell on the session bus, through the shell's own screenshot
# service. The shell answers only the callers it trusts, by the bus names they own; on the test's
# private session bus this program owns one of them, "org.gnome.Screenshot".
#   shell-screenshot.py FILE
import os
import sys

from gi.repository import Gio, GLib

path = os.path.abspath(sys.argv[1])
bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
DO_NOT_QUEUE = 4
(owned,) = bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
                         GLib.Variant("(su)", ("org.gnome.Screenshot", DO_NOT_QUEUE)), GLib.VariantType("(u)"),
                         Gio.DBusCallFlags.NONE, 5000, None).unpack()
if owned not in (1, 4):  # the primary owner, or already the owner
    sys.exit(f"shell-screenshot.py: the name org.gnome.Screenshot is taken ({owned})")
done, written = bus.call_sync("org.gnome.Shell.Screenshot", "/org/gnome/Shell/Screenshot",
                              "org.gnome.Shell.Screenshot", "Screenshot",
                              GLib.Variant("(bbs)", (False, False, path)), GLib.VariantType("(bs)"),
                              Gio.DBusCallFlags.NONE, 20000, None).unpack()
if not done:
    sys.exit("shell-screenshot.py: the shell took no screenshot")
