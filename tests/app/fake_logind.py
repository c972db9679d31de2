"""A stand-in logind on a private bus (address, log file): Inhibit gets the write end of a pipe,
as from logind; each call and each release (that end closed) is logged. While the file named
like the log plus ".refuse" exists, the lock is refused."""
import os
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib


class Manager(dbus.service.Object):
    def __init__(self, bus, log):
        super().__init__(bus, "/org/freedesktop/login1")
        self.log = log

    @dbus.service.method("org.freedesktop.login1.Manager", in_signature="ssss",
                         out_signature="h")
    def Inhibit(self, what, who, why, mode):
        self.note(f"Inhibit what={what} who={who} why={why} mode={mode}")
        if os.path.exists(self.log + ".refuse"):
            raise dbus.exceptions.DBusException(
                "Refused by the site's policy", name="org.freedesktop.DBus.Error.AccessDenied")
        read_end, write_end = os.pipe()
        GLib.io_add_watch(read_end, GLib.IO_HUP, self.released)
        held = dbus.types.UnixFd(write_end)  # a copy of its own
        os.close(write_end)
        return held

    def released(self, read_end, _condition):
        os.close(read_end)
        self.note("released")
        return False

    def note(self, line):
        with open(self.log, "a", encoding="utf-8") as log:
            print(line, file=log)


DBusGMainLoop(set_as_default=True)
bus = dbus.bus.BusConnection(sys.argv[1])
name = dbus.service.BusName("org.freedesktop.login1", bus)
manager = Manager(bus, sys.argv[2])
print("ready", flush=True)
GLib.MainLoop().run()
