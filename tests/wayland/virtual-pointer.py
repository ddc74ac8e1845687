#!/usr/bin/env python3
"""A pointer for a headless wlroots compositor, which has no input devices of its own.

Speaks the Wayland wire protocol directly (zwlr_virtual_pointer_manager_v1), so it needs no
build step. Reads commands from stdin, one per line, and answers "ok" after the compositor has
handled each: "move X Y" (layout pixels), "press", "release", "quit". While it runs the seat has
a pointer, so clients get wl_pointer events as from a mouse. "token" answers "token VALUE": an
xdg-activation token, as a launcher gets one for the program it starts."""
import os
import socket
import struct
import sys
import time

BTN_LEFT = 0x110


class Connection:
    def __init__(self):
        path = os.path.join(os.environ["XDG_RUNTIME_DIR"], os.environ.get("WAYLAND_DISPLAY", "wayland-0"))
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(path)
        self.next_id = 2
        self.buffer = b""

    def new_id(self):
        value = self.next_id
        self.next_id += 1
        return value

    def send(self, obj, opcode, payload=b""):
        self.sock.sendall(struct.pack("<II", obj, ((8 + len(payload)) << 16) | opcode) + payload)

    def events(self):
        while True:
            while len(self.buffer) >= 8:
                obj, word = struct.unpack_from("<II", self.buffer)
                size = word >> 16
                if len(self.buffer) < size:
                    break
                body = self.buffer[8:size]
                self.buffer = self.buffer[size:]
                yield obj, word & 0xFFFF, body
            chunk = self.sock.recv(65536)
            if not chunk:
                raise SystemExit("the compositor closed the connection")
            self.buffer += chunk

    def roundtrip(self, on_event=None):
        callback = self.new_id()
        self.send(1, 0, struct.pack("<I", callback))  # wl_display.sync
        for obj, opcode, body in self.events():
            if obj == 1 and opcode == 0:  # wl_display.error
                _, code = struct.unpack_from("<II", body)
                raise SystemExit("protocol error %d: %r" % (code, body[12:]))
            if obj == callback and opcode == 0:
                return
            if on_event:
                on_event(obj, opcode, body)


def wire_string(text):
    data = text.encode() + b"\0"
    return struct.pack("<I", len(data)) + data + b"\0" * (-len(data) % 4)


def main():
    connection = Connection()
    registry = connection.new_id()
    connection.send(1, 1, struct.pack("<I", registry))  # wl_display.get_registry
    globals_found = {}

    def on_global(obj, opcode, body):
        if obj == registry and opcode == 0:
            name, length = struct.unpack_from("<II", body)
            interface = body[8:8 + length - 1].decode()
            globals_found[interface] = name

    connection.roundtrip(on_global)
    interface = "zwlr_virtual_pointer_manager_v1"
    if interface not in globals_found:
        raise SystemExit("the compositor offers no %s" % interface)
    manager = connection.new_id()
    connection.send(registry, 0, struct.pack("<I", globals_found[interface]) + wire_string(interface)
                    + struct.pack("<II", 1, manager))  # wl_registry.bind
    pointer = connection.new_id()
    connection.send(manager, 0, struct.pack("<II", 0, pointer))  # create_virtual_pointer(default seat)
    connection.roundtrip()
    width, height = int(os.environ.get("GW_WL_WIDTH", "1280")), int(os.environ.get("GW_WL_HEIGHT", "800"))
    start = time.monotonic()

    def now():
        return int((time.monotonic() - start) * 1000) & 0xFFFFFFFF

    activation = None

    def activation_token():
        nonlocal activation
        interface = "xdg_activation_v1"
        if interface not in globals_found:
            raise SystemExit("the compositor offers no %s" % interface)
        if activation is None:
            activation = connection.new_id()
            connection.send(registry, 0, struct.pack("<I", globals_found[interface]) + wire_string(interface)
                            + struct.pack("<II", 1, activation))
        token = connection.new_id()
        connection.send(activation, 1, struct.pack("<I", token))  # get_activation_token
        connection.send(token, 3)  # commit
        found = []

        def on_done(obj, opcode, body):
            if obj == token and opcode == 0:
                (length,) = struct.unpack_from("<I", body)
                found.append(body[4:4 + length - 1].decode())

        while not found:
            connection.roundtrip(on_done)
        connection.send(token, 4)  # destroy; the value stays valid
        return found[0]

    print("ready", flush=True)
    for line in sys.stdin:
        words = line.split()
        if not words:
            continue
        if words[0] == "token":
            print("token " + activation_token(), flush=True)
            continue
        if words[0] == "move":
            x, y = int(words[1]), int(words[2])
            connection.send(pointer, 1, struct.pack("<IIIII", now(), x, y, width, height))  # motion_absolute
        elif words[0] in ("press", "release"):
            connection.send(pointer, 2, struct.pack("<III", now(), BTN_LEFT, 1 if words[0] == "press" else 0))
        elif words[0] == "quit":
            break
        else:
            print("unknown command: " + line.strip(), flush=True)
            continue
        connection.send(pointer, 4)  # frame
        connection.roundtrip()
        print("ok", flush=True)
    connection.send(pointer, 8)  # destroy


if __name__ == "__main__":
    main()
