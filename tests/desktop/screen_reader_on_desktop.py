#!/usr/bin/python3
"""What a screen reader finds on the accessibility bus: the bank panels are
named groups, every list, edit field and up-down of the Set Timer dialog is
labelled by its row, and a press on a port button answers at once while its
question is still on the screen.

Usage: screen_reader_on_desktop.py VELMORA
Run it inside a desktop session: run_on_desktop.sh does that."""

import os
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
        except Exception:
            continue
    return None


def find(root, role, name):
    return pyatspi.findDescendant(root, lambda a: a is not None and a.getRoleName() == role and a.name == name)


def press(accessible):
    action = accessible.queryAction()
    for i in range(action.nActions):
        if action.getName(i).lower() in ("press", "click"):
            return action.doAction(i)
    return action.doAction(0)


def labels_of(accessible):
    names = []
    for relation in accessible.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            names += [relation.getTarget(i).name for i in range(relation.getNTargets())]
    return names


def main():
    velmora = sys.argv[1]
    work = tempfile.mkdtemp(prefix="velmora-reader-")
    shutil.copy(velmora, os.path.join(work, "velmora"))
    with open(os.path.join(work, "define.ini"), "w") as f:
        f.write("[Form]\nComPort=0\nChkExist=1\nAuto=0\nPrompt=1\nComMeg=0\nSetRTC=0\nRestoreStatus=1\n")
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
    env.pop("QT_QPA_PLATFORM", None)
    program = subprocess.Popen([os.path.join(work, "velmora"), "--simulate=2"], env=env, cwd=work)
    failures = []
    try:
        app = wait_for("the program on the accessibility bus", lambda: application(program.pid))
        wait_for("the panel of bank 2", lambda: find(app, "push button", "Bank 2 Port 8"))

        for bank in ("Bank 1", "Bank 2"):
            if find(app, "panel", bank) is None:
                failures.append("no panel named '%s'" % bank)

        # A press answers at once; the question it asks is then on the screen.
        button = find(app, "push button", "Bank 1 Port 3")
        press(button)
        question = wait_for("the question", lambda: pyatspi.findDescendant(
            app, lambda a: a is not None and a.name.startswith("Do you want")))
        cancel = pyatspi.findDescendant(question.parent, lambda a: a is not None and a.getRoleName() == "push button"
                                        and a.name == "Cancel")
        press(cancel)

        # The Set Timer dialog from the Time menu.
        press(wait_for("Time -> Set Timer", lambda: pyatspi.findDescendant(
            app, lambda a: a is not None and a.getRoleName() == "menu item" and a.name == "Set Timer"
            and a.getState().contains(pyatspi.STATE_ENABLED))))
        wait_for("the Set Timer dialog", lambda: pyatspi.findDescendant(
            app, lambda a: a is not None and a.getRoleName() == "combo box"))
        time.sleep(0.5)
        for row, field in (("Power ON Port 5", "kind"), ("Power ON Port 5", "day"), ("Power OFF All banks", "hour"),
                           ("Power OFF Whole bank", "minute")):
            name = row + " " + field
            labelled = pyatspi.findDescendant(app, lambda a: a is not None and name in labels_of(a))
            if labelled is None:
                failures.append("nothing is labelled '%s'" % name)
        combos = pyatspi.findAllDescendants(app, lambda a: a is not None and a.getRoleName() == "combo box")
        unlabelled = [c.name for c in combos if not labels_of(c)]
        if unlabelled:
            failures.append("%d lists without a label, e.g. '%s'" % (len(unlabelled), unlabelled[0]))
    finally:
        program.send_signal(signal.SIGTERM)
        try:
            program.wait(timeout=20)
        except subprocess.TimeoutExpired:
            program.kill()
            failures.append("SIGTERM did not end the program")
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        for f in failures:
            print("FAIL:", f)
        return 1
    print("screen reader: named panels, labelled rows, presses answered at once")
    return 0


if __name__ == "__main__":
    sys.exit(main())
