#!/usr/bin/python3
# Reads CLIPBOARD as a GTK 3 program does (its requests carry the server's time, not CurrentTime) and
# prints one JSON line: the text, the owner's TIMESTAMP answer and the server's time after both reads.
import json
import sys

import gi

gi.require_version("Gdk", "3.0")
gi.require_version("GdkX11", "3.0")
gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, GdkX11, Gtk  # noqa: E402

clipboard = Gtk.Clipboard.get(Gdk.SELECTION_CLIPBOARD)
text = clipboard.wait_for_text()
answer = clipboard.wait_for_contents(Gdk.Atom.intern("TIMESTAMP", False))
stamp = None
if answer is not None and answer.get_length() >= 4:
    data = answer.get_data()
    # Format-32 items arrive as C longs.
    stamp = int.from_bytes(data[:8] if len(data) >= 8 else data[:4], sys.byteorder) & 0xFFFFFFFF
window = Gtk.Window()
window.realize()
print(json.dumps({"text": text, "timestamp": stamp, "server": GdkX11.x11_get_server_time(window.get_window())}))
