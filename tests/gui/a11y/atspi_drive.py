"""Helpers to drive the desk's Qt widgets through the accessibility tree (AT-SPI, pyatspi).
Run with /usr/bin/python3 (Debian's): pyatspi is a Debian package."""
import os, subprocess, sys, time
import pyatspi

def wait_for(fn, timeout=5.0, step=0.05):
    """Poll fn() until truthy (exceptions count as falsy); TimeoutError otherwise."""
    t0 = time.time()
    while True:
        try:
            r = fn()
        except Exception:
            r = None
        if r:
            return r
        if time.time() - t0 > timeout:
            raise TimeoutError(getattr(fn, "__name__", "condition"))
        time.sleep(step)

def find_app(pid=None, name=None, timeout=10.0):
    """The application accessible of process pid (default $APP_PID) once it has a window."""
    pid = int(pid or os.environ["APP_PID"])
    def look():
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and (app.get_process_id() == pid or (name and app.name == name)) \
               and app.childCount > 0:
                return app
    return wait_for(look, timeout)

def walk(acc):
    yield acc
    for i in range(acc.childCount):
        c = acc.getChildAtIndex(i)
        if c is not None:
            yield from walk(c)

def _iface(acc, q):
    try:
        return getattr(acc, q)()
    except NotImplementedError:
        return None

def text_of(acc):
    t = _iface(acc, "queryText")
    return t.getText(0, -1) if t else None

def value_of(acc):
    v = _iface(acc, "queryValue")
    return v.currentValue if v else None

def extents(acc):
    """(x, y, w, h) in screen coordinates, or None."""
    c = _iface(acc, "queryComponent")
    if not c:
        return None
    e = c.getExtents(pyatspi.DESKTOP_COORDS)
    return (e.x, e.y, e.width, e.height)

def actions(acc):
    a = _iface(acc, "queryAction")
    return [a.getName(i) for i in range(a.nActions)] if a else []

def has_state(acc, st):
    return acc.getState().contains(st)

def info(acc):
    return dict(role=acc.getRoleName(), name=acc.name, text=text_of(acc),
                value=value_of(acc), geo=extents(acc), actions=actions(acc),
                checked=has_state(acc, pyatspi.STATE_CHECKED),
                showing=has_state(acc, pyatspi.STATE_SHOWING),
                enabled=has_state(acc, pyatspi.STATE_ENABLED))

def dump(acc, depth=0, out=lambda line: print(line, file=sys.stderr)):
    i = info(acc)
    flags = [k for k in ("checked", "showing") if i[k]] + ([] if i["enabled"] else ["DISABLED"])
    out("  " * depth + f"[{i['role']}] name={i['name']!r}"
        + (f" text={i['text']!r}" if i['text'] is not None else "")
        + (f" value={i['value']}" if i['value'] is not None else "")
        + f" geo={i['geo']} actions={i['actions']} {' '.join(flags)}")
    for c in acc:
        if c is not None:
            dump(c, depth + 1, out)

def find(root, role=None, name=None, timeout=5.0, showing=None, exact_ws=True):
    """First descendant with AT-SPI role name ('push button', 'text', 'label', 'list',
    'progress bar', 'check box', 'menu item', 'alert', ...) and accessible name.
    exact_ws=False compares names with whitespace runs collapsed."""
    norm = (lambda s: s) if exact_ws else (lambda s: " ".join((s or "").split()))
    def look():
        for a in walk(root):
            if role and a.getRoleName() != role: continue
            if name is not None and norm(a.name) != norm(name): continue
            if showing is not None and has_state(a, pyatspi.STATE_SHOWING) != showing: continue
            return a
    return wait_for(look, timeout)

def find_all(root, role):
    return [a for a in walk(root) if a.getRoleName() == role]

def do_action(acc, *names):
    """Invoke the first available named action ('Press', 'Toggle', 'ShowMenu', 'SetFocus').
    Blocks until Qt answers: do NOT use for something that opens a modal dialog."""
    a = acc.queryAction()
    avail = [a.getName(i) for i in range(a.nActions)]
    for n in names:
        if n in avail:
            return a.doAction(avail.index(n))
    raise LookupError(f"{acc.name!r}: none of {names} in {avail}")

def do_action_nowait(acc, name):
    """Fire an action without blocking (for anything that opens a modal dialog:
    Qt sends the D-Bus reply only after the dialog's nested event loop ends).
    Returns the dbus-send Popen; it exits when the dialog closes."""
    idx = actions(acc).index(name)
    addr = subprocess.run(["dbus-send", "--session", "--print-reply=literal", "--dest=org.a11y.Bus",
                           "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
                          capture_output=True, text=True, check=True).stdout.strip()
    # --print-reply is required: without it dbus-send sets NO_REPLY_EXPECTED and Qt ignores the call
    return subprocess.Popen(["dbus-send", "--print-reply", "--reply-timeout=600000", f"--bus={addr}",
                             f"--dest={acc.app.bus_name}", acc.path,
                             "org.a11y.atspi.Action.DoAction", f"int32:{idx}"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
