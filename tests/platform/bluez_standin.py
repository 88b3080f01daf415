#!/usr/bin/env python3
"""A stand-in for the BlueZ daemon on a private bus: one adapter (unless
--no-adapter), devices heard by the inquiry and one merely remembered, the
agent manager, and a test interface that makes the daemon ask the registered
agent for a PIN the way a legacy pairing does."""
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

ADAPTER = "/org/bluez/hci0"


def device_path(addr):
    return ADAPTER + "/dev_" + addr.replace(":", "_")


class ObjectManager(dbus.service.Object):
    def __init__(self, conn, with_adapter):
        super().__init__(conn, "/")
        self.with_adapter = with_adapter
        self.discovering = False

    @dbus.service.method("org.freedesktop.DBus.ObjectManager", out_signature="a{oa{sa{sv}}}")
    def GetManagedObjects(self):
        objs = {}
        if not self.with_adapter:
            return dbus.Dictionary(objs, signature="oa{sa{sv}}")
        objs[dbus.ObjectPath(ADAPTER)] = {
            "org.bluez.Adapter1": {"Address": "00:1A:7D:DA:71:13", "Powered": dbus.Boolean(True)}}
        heard = [("Kx-ECG 0042", "00:80:2A:4B:58:42"), ("QD100 Holter", "00:80:2A:4B:58:43"),
                 ("Headset", "11:22:33:44:55:66")]
        for name, addr in heard:
            objs[dbus.ObjectPath(device_path(addr))] = {"org.bluez.Device1": {
                "Name": name, "Address": addr, "Adapter": dbus.ObjectPath(ADAPTER),
                "RSSI": dbus.Int16(-60)}}
        # paired long ago, not in range now: no RSSI
        addr = "00:80:2A:4B:58:99"
        objs[dbus.ObjectPath(device_path(addr))] = {"org.bluez.Device1": {
            "Name": "Kx-ECG old", "Address": addr, "Adapter": dbus.ObjectPath(ADAPTER)}}
        return dbus.Dictionary(objs, signature="oa{sa{sv}}")


class Adapter(dbus.service.Object):
    def __init__(self, conn):
        super().__init__(conn, ADAPTER)
        self.starts = 0
        self.stops = 0

    @dbus.service.method("org.bluez.Adapter1")
    def StartDiscovery(self):
        self.starts += 1

    @dbus.service.method("org.bluez.Adapter1")
    def StopDiscovery(self):
        self.stops += 1


class AgentManager(dbus.service.Object):
    def __init__(self, conn):
        super().__init__(conn, "/org/bluez")
        self.agents = {}
        self.default = None

    @dbus.service.method("org.bluez.AgentManager1", in_signature="os", sender_keyword="sender")
    def RegisterAgent(self, path, capability, sender=None):
        if (sender, str(path)) in self.agents:
            raise dbus.exceptions.DBusException("Already Exists", name="org.bluez.Error.AlreadyExists")
        self.agents[(sender, str(path))] = str(capability)

    @dbus.service.method("org.bluez.AgentManager1", in_signature="o", sender_keyword="sender")
    def RequestDefaultAgent(self, path, sender=None):
        if (sender, str(path)) not in self.agents:
            raise dbus.exceptions.DBusException("Does Not Exist", name="org.bluez.Error.DoesNotExist")
        self.default = (sender, str(path))

    @dbus.service.method("org.bluez.AgentManager1", in_signature="o", sender_keyword="sender")
    def UnregisterAgent(self, path, sender=None):
        key = (sender, str(path))
        if key not in self.agents:
            raise dbus.exceptions.DBusException("Does Not Exist", name="org.bluez.Error.DoesNotExist")
        del self.agents[key]
        if self.default == key:
            self.default = None


class TestControl(dbus.service.Object):
    def __init__(self, conn, manager, adapter):
        super().__init__(conn, "/test")
        self.conn = conn
        self.manager = manager
        self.adapter = adapter
        self.result = ""

    @dbus.service.method("org.malvorant.Test", in_signature="s")
    def Pair(self, addr):
        self.result = "pending"
        if self.manager.default is None:
            self.result = "no agent"
            return
        sender, path = self.manager.default
        agent = dbus.Interface(self.conn.get_object(sender, path), "org.bluez.Agent1")

        def ok(pin):
            self.result = "pin:" + str(pin)

        def err(e):
            self.result = "error:" + e.get_dbus_name()

        agent.RequestPinCode(dbus.ObjectPath(device_path(addr)), reply_handler=ok, error_handler=err)

    @dbus.service.method("org.malvorant.Test", out_signature="s")
    def PairResult(self):
        return self.result

    @dbus.service.method("org.malvorant.Test", out_signature="ssii")
    def State(self):
        capability = ""
        if self.manager.default is not None:
            capability = self.manager.agents.get(self.manager.default, "")
        return (str(len(self.manager.agents)), capability, self.adapter.starts, self.adapter.stops)


def main():
    address = sys.argv[1]
    with_adapter = "--no-adapter" not in sys.argv
    DBusGMainLoop(set_as_default=True)
    conn = dbus.bus.BusConnection(address)
    name = dbus.service.BusName("org.bluez", conn)
    ObjectManager(conn, with_adapter)
    adapter = Adapter(conn)
    manager = AgentManager(conn)
    TestControl(conn, manager, adapter)
    print("READY", flush=True)
    loop = GLib.MainLoop()
    GLib.io_add_watch(sys.stdin.fileno(), GLib.IO_HUP | GLib.IO_IN, lambda *a: loop.quit())
    loop.run()
    del name


if __name__ == "__main__":
    main()
