"""The accessibility tree a screen reader sees (AT-SPI), walked through the training window,
the settings window and a progress window: every control that is shown has a name, and no
two controls of one window share one. Drives the program as a screen reader user would: the
training window's picture button is pressed through its AT-SPI action.

    accessibility_walk.py PROGRAM DATA_DIR [-v]

Run inside an X server and a D-Bus session. Exit code 77 means skipped."""
import subprocess
import sys
import time

try:
    import pyatspi
except ImportError:
    print("SKIPPED: no pyatspi (apt install python3-pyatspi)")
    sys.exit(77)

program, data = sys.argv[1], sys.argv[2]
problems = []

# Everything shown is read but the frames around windows; a one-pixel rule is no control.
SILENT_ROLES = {"application", "frame", "window"}


def wait_for(find, what, seconds=15):
    end = time.time() + seconds
    while time.time() < end:
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
        extents = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        if min(extents.width, extents.height) <= 2:  # a one-pixel rule
            continue
        if "-v" in sys.argv:
            print(f"  {role} {node.name!r} {node.description!r}")
        if not node.name.strip():
            problems.append(f"{title}: a {role} without a name")
        elif role != "list item":
            names.setdefault(node.name, []).append(role)
    for name, roles in names.items():
        if len(roles) > 1:
            problems.append(f"{title}: {len(roles)} controls named '{name}' ({', '.join(roles)})")
    print(f"{title}: {len(names)} named controls")


process = subprocess.Popen([program], cwd=data)
try:
    app = wait_for(application, "the program did not appear in the accessibility tree")
    training = wait_for(lambda: window_with(app, "push button", "次へ"), "no training window")
    # The figures read with what they are.
    wait_for(lambda: any(n.name == "指示数：30" for n in descendants(training)),
             "the target does not read as 指示数：30")
    walk(training, "training window")

    cut = next(n for n in descendants(training) if n.getRoleName() == "push button"
               and n.name != "次へ")
    if cut.name != "トレーニングを中断":
        problems.append(f"the picture button reads '{cut.name}'")
    cut.queryAction().doAction(0)
    settings = wait_for(lambda: window_with(app, "push button", "開始"), "no settings window")
    walk(settings, "settings window")

    # The keys reach the settings window once it has the focus, on 開始.
    wait_for(lambda: any(n.name == "開始" and n.getState().contains(pyatspi.STATE_FOCUSED)
                         for n in descendants(settings)), "the settings window has no focus")
    subprocess.run(["xdotool", "key", "ctrl+g"], check=True)
    progress = wait_for(lambda: window_with(app, "check box", "全期間"), "no progress window")
    walk(progress, "progress window")
finally:
    process.kill()
    process.wait()

for problem in problems:
    print(f"FAILED: {problem}")
sys.exit(1 if problems else 0)
