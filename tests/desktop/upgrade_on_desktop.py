#!/usr/bin/python3
"""The real program on a real desktop (Xvfb, openbox, the accessibility bus)
upgrading a simulated unit that answers every progress mark after a few
milliseconds (the line rate). During the transfer a mouse click lands on a
port button, "Set System Time" is performed through the accessibility
interface and the window manager asks the window to close. The unit must
receive exactly the image, 0xFF and 0x00, and the program must still run.

Usage: upgrade_on_desktop.py VELMORA VELMORA_SIM
Run it inside a desktop session: run_on_desktop.sh does that."""

import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import pyatspi

STEP_BOUND_S = 60  # only a hang reaches it


def wait_for(what, condition, bound=STEP_BOUND_S):
    deadline = time.monotonic() + bound
    while time.monotonic() < deadline:
        found = condition()
        if found:
            return found
        time.sleep(0.05)
    raise AssertionError("gave up waiting for " + what)


def application(pid):
    for app in pyatspi.Registry.getDesktop(0):
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:  # an application that went away meanwhile
            continue
    return None


def find(root, role, name):
    return pyatspi.findDescendant(root, lambda a: a is not None and a.getRoleName() == role and a.name == name)


def enabled(accessible):
    if accessible is not None and accessible.getState().contains(pyatspi.STATE_ENABLED):
        return accessible
    return None


def press(accessible):
    action = accessible.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("press", "click", "Press"):
            return action.doAction(i)
    return action.doAction(0)


def window_titles():
    out = subprocess.run(["wmctrl", "-l"], capture_output=True, text=True).stdout
    return [line.split(None, 3)[3] if len(line.split(None, 3)) == 4 else "" for line in out.splitlines()]


def main():
    velmora, simulator = sys.argv[1], sys.argv[2]
    work = tempfile.mkdtemp(prefix="velmora-desktop-")
    shots = os.environ.get("VELMORA_DESKTOP_SHOTS", "")
    image = bytes(random.Random(15).randrange(256) for _ in range(3000))
    with open(os.path.join(work, "pdu.x"), "wb") as f:
        f.write(image)
    record = os.path.join(work, "line.bin")
    sim = subprocess.Popen([simulator, "--paced", "--banks", "2", "--image-length", str(len(image) + 2),
                            "--record", record], stdout=subprocess.PIPE, text=True)
    device = sim.stdout.readline().strip()
    assert device.startswith("/dev/"), "no pty from the simulated unit"

    # A copy of the program with define.ini beside it: connect at start-up
    # to the unit, questions on, the hourly clock setting on.
    shutil.copy(velmora, os.path.join(work, "velmora"))
    with open(os.path.join(work, "define.ini"), "w") as f:
        f.write("[Form]\nComPort=0\nChkExist=1\nAuto=1\nPrompt=1\nComMeg=0\nSetRTC=1\nRestoreStatus=1\n")
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
    env.pop("QT_QPA_PLATFORM", None)
    program = subprocess.Popen([os.path.join(work, "velmora"), "--port", device], env=env, cwd=work)
    failures = []
    try:
        app = wait_for("the program on the accessibility bus", lambda: application(program.pid))
        # The Detect dialog finds the unit; its OK connects.
        detect_ok = wait_for("the unit found", lambda: enabled(find(app, "push button", "OK")))
        press(detect_ok)
        port_button = wait_for("the panel of bank 1", lambda: find(app, "push button", "Bank 1 Port 1"))
        wait_for("the unit's status", lambda: port_button.queryComponent().getExtents(pyatspi.DESKTOP_COORDS).width > 0)
        time.sleep(1.5)  # the version reports and the first clock setting

        # Tools -> Upgrade, and the image typed into Qt's file chooser.
        press(wait_for("Tools -> Upgrade", lambda: find(app, "menu item", "Upgrade")))
        wait_for("the file chooser", lambda: find(app, "dialog", "") or find(app, "file chooser", "")
                 or any("Open" in t or "Look in" in t for t in window_titles()) or True)
        time.sleep(1.0)
        subprocess.run(["xdotool", "type", "--delay", "2", os.path.join(work, "pdu.x")], check=True)
        subprocess.run(["xdotool", "key", "Return"], check=True)
        wait_for("the Upgrade Process dialog", lambda: "Upgrade Process" in window_titles())
        time.sleep(0.3)

        # 1. A mouse click on a port button of the main window, moved out
        # from under the progress dialog first.
        subprocess.run(["wmctrl", "-r", "Upgrade Process", "-e", "0,0,0,-1,-1"], check=False)
        subprocess.run(["wmctrl", "-r", "Velmora Management", "-e", "0,600,500,-1,-1"], check=False)
        time.sleep(0.5)
        box = port_button.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        x, y = box.x + box.width // 2, box.y + box.height // 2
        subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "1"], check=True)
        time.sleep(0.5)
        if shots:
            subprocess.run(["import", "-window", "root", os.path.join(shots, "upgrade_click.png")], check=False)
        # 2. "Set System Time" through the accessibility interface.
        set_time = find(app, "menu item", "Set System Time")
        if set_time is None:
            failures.append("no 'Set System Time' item on the bus")
        else:
            if set_time.getState().contains(pyatspi.STATE_ENABLED):
                failures.append("'Set System Time' is enabled during the transfer")
            press(set_time)
        # 3. The window manager asks the main window to close.
        subprocess.run(["wmctrl", "-c", "Velmora Management"], check=False)
        time.sleep(0.3)
        if shots:
            subprocess.run(["import", "-window", "root", os.path.join(shots, "upgrade_on_desktop.png")], check=False)
        if program.poll() is not None:
            failures.append("the program ended during the transfer (exit %s)" % program.returncode)
        question = pyatspi.findDescendant(app, lambda a: a is not None and a.name.startswith("Do you want"))
        if question is not None:
            failures.append("the click reached a port button: " + question.name)

        # The completion message, confirmed as a user would.
        done = wait_for("Firmware Upgrade Completed",
                        lambda: find(app, "label", "Firmware Upgrade Completed"))
        dialog = done.parent
        ok = find(dialog, "push button", "OK")
        press(ok)
        wait_for("the versions asked again", lambda: "Upgrade Process" not in window_titles())
        # The new versions, then the clock set a second later (SetRTC=1).
        time.sleep(4.0)
        if program.poll() is not None:
            failures.append("the program is gone after the upgrade (exit %s)" % program.returncode)
        if "Velmora Management" not in window_titles():
            failures.append("the main window is gone")
    finally:
        if program.poll() is None:
            program.send_signal(signal.SIGTERM)
            try:
                program.wait(timeout=20)
            except subprocess.TimeoutExpired:
                program.kill()
                failures.append("SIGTERM did not end the program")
        sim.send_signal(signal.SIGTERM)
        sim.wait(timeout=20)

    line = open(record, "rb").read()
    start = line.find(b"/UPGRADE\\")
    if start < 0:
        failures.append("the unit never received the upgrade command")
    else:
        sent = line[start + len(b"/UPGRADE\\"):]
        expected = image + b"\xff\x00"
        if sent[:len(expected)] != expected:
            at = next((i for i in range(min(len(sent), len(expected))) if sent[i] != expected[i]), len(sent))
            failures.append("the unit received other bytes than the image from position %d: %r" %
                            (at, sent[at:at + 40]))
        elif not sent[len(expected):].startswith(b"/uni\\"):
            failures.append("after the image came %r, not the greeting" % sent[len(expected):len(expected) + 20])
        elif sent[len(expected):].count(b"/SETTIME") != 1:
            failures.append("with SetRTC=1 the unit's clock was set %d times after the upgrade, not once: %r" %
                            (sent[len(expected):].count(b"/SETTIME"), sent[len(expected):len(expected) + 120]))
    shutil.rmtree(work, ignore_errors=True)
    if failures:
        for f in failures:
            print("FAIL:", f)
        return 1
    print("upgrade on a desktop: the unit received exactly the image, 0xFF and 0x00; the program ran on")
    return 0


if __name__ == "__main__":
    sys.exit(main())
