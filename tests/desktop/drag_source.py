#!/usr/bin/python3
"""A window whose button can be dragged, offering files as text/uri-list, for
the drop tests: drag_source.py X Y FILE...  (the window is 200 x 100 at X, Y
and named "Vornida drag source"). Ends on SIGTERM."""
import signal
import sys

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402

x, y, *files = sys.argv[1:]
uris = [GLib.filename_to_uri(path, None) for path in files]

window = Gtk.Window(title="Vornida drag source")
window.set_default_size(200, 100)
window.move(int(x), int(y))
button = Gtk.Button(label="drag me")
button.drag_source_set(Gdk.ModifierType.BUTTON1_MASK, [], Gdk.DragAction.COPY)
button.drag_source_add_uri_targets()
button.connect("drag-data-get", lambda widget, context, data, info, time: data.set_uris(uris))
window.add(button)
window.connect("destroy", Gtk.main_quit)
window.show_all()
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, Gtk.main_quit)
Gtk.main()
