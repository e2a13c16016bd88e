#!/usr/bin/python3
"""The other side of a StatusNotifierItem, for the end-to-end tests.

  sni.py watcher FILE        a StatusNotifierWatcher with a host: each item
                             that registers is appended to FILE as "NAME PATH"
  sni.py get NAME PATH PROP  prints one property of the item
  sni.py click NAME PATH LABEL
                             clicks the menu item with that label
  sni.py secondary NAME PATH the item's secondary activation
"""
import sys

from gi.repository import Gio, GLib

WATCHER = """<node><interface name="org.kde.StatusNotifierWatcher">
  <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
  <method name="RegisterStatusNotifierHost"><arg type="s" direction="in"/></method>
  <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
  <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
  <signal name="StatusNotifierHostRegistered"/>
</interface></node>"""
ITEM = "org.kde.StatusNotifierItem"


def watcher(path):
    bus = Gio.bus_get_sync(Gio.BusType.SESSION)
    items = []

    def call(conn, sender, obj, iface, method, params, invocation):
        if method == "RegisterStatusNotifierItem":
            service = params.unpack()[0]
            name, where = (sender, service) if service.startswith("/") else (service, "/StatusNotifierItem")
            items.append(name + where)
            with open(path, "a") as out:
                out.write(f"{name} {where}\n")
            conn.emit_signal(None, obj, iface, "StatusNotifierItemRegistered",
                             GLib.Variant("(s)", (name + where,)))
        invocation.return_value(None)

    def prop(conn, sender, obj, iface, name):
        return {"RegisteredStatusNotifierItems": GLib.Variant("as", items),
                "IsStatusNotifierHostRegistered": GLib.Variant("b", True),
                "ProtocolVersion": GLib.Variant("i", 0)}[name]

    info = Gio.DBusNodeInfo.new_for_xml(WATCHER).interfaces[0]
    bus.register_object("/StatusNotifierWatcher", info, call, prop, None)
    Gio.bus_own_name_on_connection(bus, "org.kde.StatusNotifierWatcher",
                                   Gio.BusNameOwnerFlags.NONE, None, None)
    GLib.MainLoop().run()


def call(name, path, iface, method, args, reply=None):
    bus = Gio.bus_get_sync(Gio.BusType.SESSION)
    return bus.call_sync(name, path, iface, method, args,
                         GLib.VariantType(reply) if reply else None,
                         Gio.DBusCallFlags.NONE, 5000, None)


def main():
    cmd = sys.argv[1]
    if cmd == "watcher":
        watcher(sys.argv[2])
    elif cmd == "get":
        name, path, prop = sys.argv[2:5]
        value = call(name, path, "org.freedesktop.DBus.Properties", "Get",
                     GLib.Variant("(ss)", (ITEM, prop)), "(v)").unpack()[0]
        print(value)
    elif cmd == "click":
        name, path, label = sys.argv[2:5]
        menu = call(name, path, "org.freedesktop.DBus.Properties", "Get",
                    GLib.Variant("(ss)", (ITEM, "Menu")), "(v)").unpack()[0]
        _, (_, _, children) = call(name, menu, "com.canonical.dbusmenu", "GetLayout",
                                   GLib.Variant("(iias)", (0, -1, [])), "(u(ia{sv}av))").unpack()
        ids = [c[0] for c in children if c[1].get("label", "").replace("_", "") == label]
        if not ids:
            sys.exit(f"no menu item {label!r} in {children}")
        call(name, menu, "com.canonical.dbusmenu", "Event",
             GLib.Variant("(isvu)", (ids[0], "clicked", GLib.Variant("s", ""), 0)))
    elif cmd == "secondary":
        name, path = sys.argv[2:4]
        call(name, path, ITEM, "SecondaryActivate", GLib.Variant("(ii)", (0, 0)))
    else:
        sys.exit(f"unknown command {cmd}")


main()
