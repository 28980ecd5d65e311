"""The register window driven as a clerk would, through the accessibility tree of the real desk.

  register_window.py prepare ZB32   makes the runs in the workspace of ZB32_DRIVE_Z (command line)
  register_window.py                drives the desk started by run-atspi.sh (APP_PID)

Prepared: an Orb run that completed, an Orb run of another file stopped at its third case by a
trigger that refuses that case (dropped again before the desk starts), and a Vi Diru run."""
import contextlib
import os
import sqlite3
import subprocess
import sys

STEP = 30.0  # seconds one step may take on two shared, loaded cores

# The stopped file: the demo's Orb cases under accounts of their own (ORB0000000101, ...).
STOPPED_FILE = "altro.txt"
STOPPED_AT = "ORB0000000103"

# What the list shows (run, job, file, state), newest first, after each step.
LISTED = {
    "on opening": [("3", "vidiru", "vidiru.txt", "conclusa"), ("2", "orb", STOPPED_FILE, "interrotta"),
                   ("1", "orb", "esempio.txt", "conclusa")],
    "after Riprendi": [("4", "orb", STOPPED_FILE, "conclusa (ripresa)"), ("3", "vidiru", "vidiru.txt", "conclusa"),
                       ("2", "orb", STOPPED_FILE, "interrotta"), ("1", "orb", "esempio.txt", "conclusa")],
    "after Annulla importazione": [("4", "orb", STOPPED_FILE, "conclusa (ripresa)"),
                                   ("3", "vidiru", "vidiru.txt", "conclusa"), ("2", "orb", STOPPED_FILE, "interrotta"),
                                   ("1", "orb", "esempio.txt", "annullata")],
}


def drive(path):
    return os.path.join(os.environ["ZB32_DRIVE_Z"], *path.split("/"))


def execute(sql, *params):
    """Runs one statement in a transaction of its own on the workspace's database; its rows."""
    with contextlib.closing(sqlite3.connect(drive("work/kx32/dati/kx32.db"), timeout=STEP)) as db, db:
        return db.execute(sql, params).fetchall()


APP = None  # the desk, once found: its windows are listed on a failure


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    if APP is not None:
        try:
            dump(APP)
        except Exception as e:  # the desk may be gone
            print(f"(the desk's windows cannot be listed: {e})", file=sys.stderr)
    sys.exit(1)


def check(condition, message):
    if not condition:
        fail(message)


def zb32(program, *args, expect):
    done = subprocess.run([program, *args], capture_output=True, text=True, timeout=120)
    check(done.returncode == expect,
          f"zb32 {' '.join(args)}: status {done.returncode}, not {expect}\n{done.stdout}{done.stderr}")


def prepare(program):
    zb32(program, "initdb", expect=0)  # a first start: the demo workspace with its sample files
    folder = drive("work/kx32/import")
    with open(os.path.join(folder, "esempio.txt"), "rb") as f:
        demo = f.read()
    with open(os.path.join(folder, STOPPED_FILE), "wb") as f:
        f.write(demo.replace(b"ORB00000000", b"ORB00000001"))
    zb32(program, "run", "orb", "--file", "esempio.txt", expect=0)
    # A trigger takes no parameters: the refused account (STOPPED_AT) is written in it.
    execute("CREATE TRIGGER ferma BEFORE INSERT ON [tabella pratiche] WHEN NEW.posizione = 'ORB0000000103' "
            "BEGIN SELECT RAISE(ABORT, 'no'); END")
    zb32(program, "run", "orb", "--file", STOPPED_FILE, expect=3)
    execute("DROP TRIGGER ferma")
    zb32(program, "run", "vidiru", "--file", "vidiru.txt", expect=0)


# --- the desk -------------------------------------------------------------------------------

def rows_of(table):
    """The rows the register's table shows, each a dict of column heading -> cell text."""
    t = table.queryTable()
    heads = [t.getColumnHeader(c).name for c in range(t.nColumns)]
    return [{heads[c]: t.getAccessibleAt(r, c).name for c in range(t.nColumns)} for r in range(t.nRows)]


def shown(rows):
    return [(r["Corsa"], r["Lavoro"], r["File"], r["Stato"]) for r in rows]


def wait_until(condition, message):
    try:
        wait_for(condition, STEP)
    except TimeoutError:
        fail(message)


def wait_rows(table, step):
    expected = LISTED[step]
    try:
        wait_for(lambda: shown(rows_of(table)) == expected, STEP)
    except TimeoutError:
        fail(f"{step}: the list shows {shown(rows_of(table))}, not {expected}")


def select_run(table, run):
    """Selects the row of run `run` as an assistive tool does (the table's row selection)."""
    row = next(i for i, r in enumerate(rows_of(table)) if r["Corsa"] == run)
    table.queryTable().addRowSelection(row)
    wait_until(lambda: table.queryTable().isRowSelected(row), f"the row of run {run} is not selected")


def texts_in(acc):
    return [a.name for a in walk(acc) if a.getRoleName() == "label" and a.name]


def answer_box(app, button, text_start):
    """Waits for the desk's message box, checks its text and presses `button` (None: its only one)."""
    try:
        box = find(app, "alert", timeout=STEP, showing=True)
    except TimeoutError:
        fail(f"no message box beginning {text_start!r}")
    texts = texts_in(box)
    check(any(t.startswith(text_start) for t in texts), f"the message box says {texts}, not {text_start!r}...")
    buttons = [b for b in find_all(box, "push button") if has_state(b, pyatspi.STATE_SHOWING)]
    pick = [b for b in buttons if button is None or b.name == button]
    check(len(pick) == 1, f"the message box {texts} has buttons {[b.name for b in buttons]}")
    do_action_nowait(pick[0], "Press")
    wait_for(lambda: gone(box), STEP)
    return texts


def gone(acc):
    try:
        return not has_state(acc, pyatspi.STATE_SHOWING)
    except Exception:  # the box is deleted
        return True


def case_counts(prefix):
    return dict(execute("SELECT posizione, COUNT(*) FROM [tabella pratiche] WHERE posizione LIKE ? GROUP BY posizione",
                      prefix + "%"))


def invoices(prefix):
    """The invoices of the cases whose account begins with `prefix`, under the account's own number."""
    return sorted((pos[len(prefix):], number, period, amount) for pos, number, period, amount in execute(
        "SELECT p.posizione, f.[numero fattura], f.periodo, f.saldo FROM [tabella fatture] f "
        "JOIN [tabella pratiche] p ON f.conta = p.contatore WHERE p.posizione LIKE ?", prefix + "%"))


def state_of(run):
    return execute("SELECT stato FROM [tabella importazioni] WHERE id = ?", run)[0][0]


def desk():
    global APP
    try:
        APP = app = find_app(timeout=STEP)
    except TimeoutError:
        fail("the desk has no window on the accessibility bus")
    menu = find(app, "menu item", "Registro", timeout=STEP)
    do_action(menu, "ShowMenu")
    do_action(find(app, "menu item", "Importazioni...", timeout=STEP), "Press")
    window = find(app, "dialog", "Registro delle importazioni", timeout=STEP, showing=True)
    table = find(window, "table", "Importazioni", timeout=STEP)

    # Newest first: the Vi Diru run, the stopped Orb run, the completed one.
    wait_rows(table, "on opening")
    resume = find(window, "push button", "Riprendi", timeout=STEP)
    undo = find(window, "push button", "Annulla importazione", timeout=STEP)
    enabled = lambda b: has_state(b, pyatspi.STATE_ENABLED)
    check(not enabled(resume), "Riprendi is enabled on a completed run")

    # The stopped run goes on after its last saved line: each of its cases once, the run completed.
    before = case_counts("ORB00000001")
    check(len(before) == 2 and STOPPED_AT not in before, f"the stopped run saved {sorted(before)}")
    select_run(table, "2")
    wait_until(lambda: enabled(resume), "Riprendi stays disabled on the stopped run")
    do_action_nowait(resume, "Press")  # the job ends on a modal box
    answer_box(app, None, "importazione conclusa")
    wait_rows(table, "after Riprendi")
    wait_until(lambda: not enabled(resume), "Riprendi is enabled on the resumed run")
    demo = case_counts("ORB00000000")
    resumed = case_counts("ORB00000001")
    check(len(demo) == 12 and sorted(resumed) == [k.replace("ORB00000000", "ORB00000001") for k in sorted(demo)]
          and set(resumed.values()) == {1}, f"after Riprendi the stopped file's cases are {resumed}")
    check(len(invoices("ORB00000000")) == 24 and invoices("ORB00000001") == invoices("ORB00000000"),
          f"after Riprendi the stopped file's invoices are {invoices('ORB00000001')}")
    check((state_of(2), state_of(4)) == ("interrotta", "conclusa"),
          f"the stopped and the resumed run are {state_of(2)!r}, {state_of(4)!r} in the register")

    # The completed run taken back after its question: its cases gone, the others kept.
    select_run(table, "1")
    wait_until(lambda: enabled(undo), "Annulla importazione stays disabled on a completed run")
    do_action_nowait(undo, "Press")
    answer_box(app, "Annulla importazione", "Annullare l'importazione 1 del file esempio.txt (orb, ")
    answer_box(app, None, "Importazione 1 del file esempio.txt annullata: cancellate 12 pratiche, 24 fatture")
    wait_rows(table, "after Annulla importazione")
    check(case_counts("ORB00000000") == {}, f"the undone run's cases are still there: {case_counts('ORB00000000')}")
    check(case_counts("ORB00000001") == resumed, "the undo touched the other file's cases")
    check(state_of(1) == "annullata", f"the undone run is {state_of(1)!r} in the register")
    select_run(table, "1")
    wait_until(lambda: not enabled(undo), "Annulla importazione is enabled on an undone run")
    print("register window: list, Riprendi and Annulla importazione as expected")


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "prepare":
        prepare(sys.argv[2])
    else:
        sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
        import pyatspi
        from atspi_drive import do_action, do_action_nowait, dump, find, find_all, find_app, has_state, wait_for, walk
        desk()
