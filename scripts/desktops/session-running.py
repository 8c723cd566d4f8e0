#!/usr/bin/python3
# Owns org.gnome.SessionManager on the session bus and answers that the session runs: what the
# settings daemon's background part waits for before it draws. The test's session has no session
# manager of its own (cinnamon-session would start every part of the desktop). Runs until stopped.
from gi.repository import Gio, GLib

INTERFACE = """
<node>
  <interface name="org.gnome.SessionManager">
    <method name="IsSessionRunning"><arg type="b" direction="out"/></method>
    <signal name="SessionRunning"/>
  </interface>
</node>"""


def call(connection, sender, path, interface, method, parameters, invocation):
    if method == "IsSessionRunning":
        invocation.return_value(GLib.Variant("(b)", (True,)))
    else:
        invocation.return_dbus_error("org.freedesktop.DBus.Error.UnknownMethod", method)


def acquired(connection, name):
    connection.emit_signal(None, "/org/gnome/SessionManager", "org.gnome.SessionManager", "SessionRunning", None)
    print("ready", flush=True)


def bus_acquired(connection, name):
    info = Gio.DBusNodeInfo.new_for_xml(INTERFACE).interfaces[0]
    connection.register_object("/org/gnome/SessionManager", info, call, None, None)


Gio.bus_own_name(Gio.BusType.SESSION, "org.gnome.SessionManager", Gio.BusNameOwnerFlags.NONE, bus_acquired,
                 acquired, None)
GLib.MainLoop().run()
