"""Reads the running program through AT-SPI: values must be heard with what they are."""
import os
import re
import subprocess
import sys
import time

import pyatspi

PROGRAM = sys.argv[1]
DEADLINE = 40  # seconds to wait for any one expectation
# The Noise window's angle random walk, heard with its caption: a number above 0 and its unit.
ARW = r"Angle random walk: (?=[\d.]*[1-9])\d+(\.\d+)?(e[-+]?\d+)? °/√h"


def start_x():
    read, write = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write), "-screen", "0", "1600x1000x24", "-nolisten", "tcp"],
        pass_fds=[write], stderr=subprocess.DEVNULL)
    os.close(write)
    with os.fdopen(read) as pipe:
        display = pipe.readline().strip()
    if not display:
        sys.exit("a11y: Xvfb did not start")
    return server, ":" + display


def application(pid):
    for app in pyatspi.Registry.getDesktop(0):
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:  # an application that went away meanwhile
            pass
    return None


def names(node, depth=0):
    """Every name under node."""
    found = []
    try:
        found.append(node.name)
        if depth < 25:
            for child in node:
                if child is not None:
                    found += names(child, depth + 1)
    except Exception:
        pass
    return found


def expect(pid, wanted, what):
    end = time.time() + DEADLINE
    seen = []
    while time.time() < end:
        app = application(pid)
        seen = names(app) if app is not None else []
        if all(name in seen for name in wanted):
            print("a11y: heard", what + ":", ", ".join(wanted))
            return
        time.sleep(0.5)
    missing = [name for name in wanted if name not in seen]
    sys.exit("a11y: not heard (%s): %s\nheard: %s" % (what, missing, sorted(set(seen))))


def expect_match(pid, pattern, what, deadline):
    """Some name matches pattern within deadline seconds."""
    end = time.time() + deadline
    seen = []
    while time.time() < end:
        app = application(pid)
        seen = names(app) if app is not None else []
        heard = [n for n in seen if n and re.match(pattern, n)]
        if heard:
            print("a11y: heard", what + ":", heard[0])
            return
        time.sleep(0.5)
    sys.exit("a11y: not heard (%s): %s\nheard: %s" % (what, pattern, sorted(set(seen))))


def expect_window(pid, title, roles, what):
    """A top-level window titled title is announced with one of roles (a screen reader says a
    window opened for a frame or a dialog, never for a filler)."""
    end = time.time() + DEADLINE
    seen = []
    while time.time() < end:
        app = application(pid)
        seen = []
        for child in (app if app is not None else []):
            try:
                if child is not None:
                    seen.append((child.name, child.getRoleName()))
            except Exception:
                pass
        if any(name == title and role in roles for name, role in seen):
            print("a11y: heard", what + ":", title, "as", "/".join(roles))
            return
        time.sleep(0.5)
    sys.exit("a11y: not heard as a window (%s): %s\nwindows: %s" % (what, title, seen))


def key(display, window, keys):
    env = dict(os.environ, DISPLAY=display)
    subprocess.run(["xdotool", "windowfocus", "--sync", window], env=env, check=True, timeout=10)
    subprocess.run(["xdotool", "key", keys], env=env, check=True, timeout=10)


def main():
    server, display = start_x()
    # A still chip with white noise, so the Noise window has a rate to analyse.
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb",
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1",
               VELK47120_SIM_NOISE="white")
    program = subprocess.Popen([PROGRAM, "--simulate"], env=env)
    try:
        expect(program.pid, ["Loop state: Stopped", "Power Supply Low: OK", "Alarm2 Set: OK",
                             "Device: 47120"], "main window")
        window = subprocess.run(
            ["xdotool", "search", "--sync", "--name", "VELK47120 Evaluation Software - Rev 3"],
            env=dict(os.environ, DISPLAY=display), capture_output=True, text=True,
            check=True, timeout=DEADLINE).stdout.split()[0]
        key(display, window, "F5")
        expect(program.pid, ["Loop state: Running"], "read loop")
        # The Noise window, live while the loop runs: its angle random walk with its caption,
        # and a figure above zero, which white noise has.
        key(display, window, "alt+y")
        expect_match(program.pid, ARW, "Noise window", 30)
        expect_window(program.pid, "Noise", ["frame", "dialog"], "Noise window")
        key(display, window, "F5")
        expect(program.pid, ["Loop state: Stopped"], "read loop")
        key(display, window, "alt+b")
        expect(program.pid, ["Product Version: VELK47120", "Product Revision: 1.2",
                             "Flash Cycles: 37"], "About box")
        about = subprocess.run(["xdotool", "search", "--sync", "--name", "^About "],
                               env=dict(os.environ, DISPLAY=display), capture_output=True,
                               text=True, check=True, timeout=DEADLINE).stdout.split()[0]
        key(display, about, "Escape")
        key(display, window, "alt+x")  # Exit: the program ends by itself
        program.wait(timeout=DEADLINE)
    finally:
        if program.poll() is None:
            program.kill()
        server.terminate()


main()
