"""The accessibility tree a screen reader sees (AT-SPI), walked through the training window,
the settings window and a progress window: every control that is shown has a name, and no
two controls of one window share one; the two windows (both titled ヤルキン！) have names and
roles of their own. Drives the program as a screen reader user would: the training window's
picture button is pressed through its AT-SPI action. Listens for what a screen reader
announces in the progress window: the calendar's chosen day as the arrow keys move it, a
message as it appears.

    accessibility_walk.py PROGRAM DATA_DIR [-v]

Run inside an X server and a D-Bus session. Exit code 77 means skipped."""
import datetime
import os
import re
import subprocess
import sys
import time

try:
    import pyatspi
except ImportError:
    print("SKIPPED: no pyatspi (apt install python3-pyatspi)")
    sys.exit(77)

try:
    from gi.repository import GLib
except ImportError:
    print("SKIPPED: no PyGObject (apt install python3-gi)")
    sys.exit(77)

program, data = sys.argv[1], sys.argv[2]
problems = []

# Everything shown is read but the frames around windows.
SILENT_ROLES = {"application", "frame", "window"}

# What the program announces: (event, role, name) as they come.
heard = []


def hear(event):
    try:
        heard.append((event.type, event.source.getRoleName(), event.source.name or ""))
    except Exception:  # a source gone before it is read
        pass


def heard_that(kind, pattern):
    return any(event.startswith(kind) and re.search(pattern, name) for event, _, name in heard)


def wait_for(find, what, seconds=15):
    end = time.time() + seconds
    while time.time() < end:
        while GLib.MainContext.default().iteration(False):  # the events that came
            pass
        try:
            found = find()
        except Exception:  # a tree being rebuilt while it is read
            found = None
        if found:
            return found
        time.sleep(0.2)
    print(f"FAILED: {what}")
    sys.exit(1)


def descendants(node):
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield child
            yield from descendants(child)


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == "yarukin":
            return app
    return None


def window_with(app, role, name):
    """The shown top-level window holding a control of this role and name."""
    for i in range(app.childCount):
        window = app.getChildAtIndex(i)
        if window is None or not showing(window):
            continue
        for node in descendants(window):
            if node.getRoleName() == role and node.name == name and showing(node):
                return window
    return None


def walk(window, title):
    names = {}
    for node in descendants(window):
        role = node.getRoleName()
        if not showing(node) or role in SILENT_ROLES:
            continue
        if "-v" in sys.argv:
            print(f"  {role} {node.name!r} {node.description!r}")
        if not node.name.strip():
            problems.append(f"{title}: a {role} without a name")
        elif role in ("list item", "separator"):
            continue
        elif role == "text" and node.parent.getRoleName() == "combo box":
            continue  # the combo box's own field, named as it is
        else:
            names.setdefault(node.name, []).append(role)
    for name, roles in names.items():
        if len(roles) > 1:
            problems.append(f"{title}: {len(roles)} controls named '{name}' ({', '.join(roles)})")
    print(f"{title}: {len(names)} named controls")


def top_level(window):
    """The window as a screen reader names it: its role and name, and its one child's."""
    said = [(window.getRoleName(), window.name)]
    if window.childCount == 1:
        child = window.getChildAtIndex(0)
        said.append((child.getRoleName(), child.name))
    if "-v" in sys.argv:
        print(f"  window: {said}")
    return said


for kind in ("object:property-change:accessible-name", "object:state-changed:focused",
             "object:state-changed:showing", "focus:"):
    pyatspi.Registry.registerEventListener(hear, kind)

process = subprocess.Popen([program], cwd=data)
try:
    app = wait_for(application, "the program did not appear in the accessibility tree")
    training = wait_for(lambda: window_with(app, "push button", "次へ"), "no training window")
    # The figures read with what they are.
    wait_for(lambda: any(n.name == "指示数：30" for n in descendants(training)),
             "the target does not read as 指示数：30")
    walk(training, "training window")
    said = [top_level(training)]

    cut = next(n for n in descendants(training) if n.getRoleName() == "push button"
               and n.name != "次へ")
    if cut.name != "トレーニングを中断":
        problems.append(f"the picture button reads '{cut.name}'")
    cut.queryAction().doAction(0)
    settings = wait_for(lambda: window_with(app, "push button", "開始"), "no settings window")
    walk(settings, "settings window")
    # Both titled ヤルキン！, each read with a role and a name of its own, none a filler.
    said.append(top_level(settings))
    if said[0] == said[1] or any(role == "filler" for window in said for role, _ in window):
        problems.append(f"the windows read alike or as fillers: {said}")

    # The keys reach the settings window once it has the focus, on 開始.
    wait_for(lambda: any(n.name == "開始" and n.getState().contains(pyatspi.STATE_FOCUSED)
                         for n in descendants(settings)), "the settings window has no focus")
    subprocess.run(["xdotool", "key", "ctrl+g"], check=True)
    progress = wait_for(lambda: window_with(app, "push button", "全期間")
                        or window_with(app, "toggle button", "全期間"), "no progress window")
    walk(progress, "progress window")
    # The range buttons: buttons with their checked state, in a group.
    first = next(n for n in descendants(progress) if n.name == "30日")
    if not first.getState().contains(pyatspi.STATE_CHECKED) or first.getRoleName() == "check box":
        problems.append(f"the range button 30日 reads as a {first.getRoleName()}, not checked")
    if first.parent.name != "表示する期間":
        problems.append(f"the range buttons are in '{first.parent.name}', not in a group")

    # The calendar: the chosen day said as the arrow keys move it, by its short name.
    subprocess.run(["xdotool", "key", "5"], check=True)
    wait_for(lambda: any(n.getRoleName() == "list" and n.name == "練習カレンダー"
                         for n in descendants(progress) if showing(n)), "no calendar")
    subprocess.run(["xdotool", "key", "Up"], check=True)  # from today to yesterday
    day = datetime.date.today() - datetime.timedelta(days=1)
    chosen = f"^{day.month}月{day.day}日（{'月火水木金土日'[day.weekday()]}）(記録なし|.+回 \\d+セット)$"
    wait_for(lambda: heard_that("focus", chosen), f"the chosen day was not announced: {heard}")
    # Messages as they appear: a copy done, and the history file gone.
    subprocess.run(["xdotool", "key", "ctrl+c"], check=True)
    wait_for(lambda: heard_that("object:property-change:accessible-name", "コピーしました"),
             f"the copy was not announced: {heard}")
    os.remove(os.path.join(data, "腕立て伏せ.txt"))
    wait_for(lambda: heard_that("object", "なくなりました"),
             f"the notice was not announced: {heard}")
    if "-v" in sys.argv:
        for event in heard:
            print(f"  heard: {event}")
finally:
    process.kill()
    process.wait()

for problem in problems:
    print(f"FAILED: {problem}")
sys.exit(1 if problems else 0)
