#!/usr/bin/python3
"""Drives the real program through AT-SPI, as a screen reader user would, with the desktop's
media controls (playerctl) beside it.

Every control must carry a name: the text boxes and the check box their control's name, buttons
and labels their captions, tooltips as descriptions, the player's own controls a name each. The
script reads every text, opens a recording through the menu and the file dialog, presses ">>",
reads the waveform's position and length, which a remembered choice shows, ticks Check1, and then plays and pauses through MPRIS, which must step back by the auto-rewind
seconds that Check1 switched on. The session is a Wayland one without the desktop portal's global
shortcuts, so the window shows its notice line, which must be read by its words.

Usage: accessibility.py PROGRAM, under tests/with-xvfb.sh. It starts a message bus of its own;
the accessibility bus is started from it on demand.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

TEXT_BOXES = {"speed": "0", "time_goto": "", "time": "", "autorewind": "2", "Fileinfo": ""}
WINDOW_LABELS = [
    "Horchpult 2.0", "speed", "time", "fast forward", "player size", "player position",
    "auto rewind with pause", "sec.", "time:", "File:", "back:   F1", "pause: F2", "play:    F3",
]
DESCRIPTIONS = {
    ">>": "fast forward (steps of 2 seconds)",
    "goto": "Enter position in seconds and press goto",
    "back:   F1": "use function key F1 to rewind one second",
    "Fileinfo": "loaded media file",
}
# Roles of controls a user operates or reads; each needs a name of its own. Roles are compared
# as AT-SPI's values, not by their names: at-spi2-core renamed "push button" to "button" (Debian 13).
NAMED_ROLES = {"PUSH_BUTTON", "TOGGLE_BUTTON", "CHECK_BOX", "RADIO_BUTTON", "SLIDER", "TEXT",
               "COMBO_BOX", "SPIN_BUTTON", "MENU_ITEM", "SCROLL_BAR", "PROGRESS_BAR"}
# Words of the notice a Wayland session without global shortcuts gets.
NOTICE_WORDS = "offers no global shortcuts"
LENGTH = 20


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def __call__(self, condition, message):
        if condition:
            self.passed += 1
        else:
            self.failed += 1
            print("FAIL: " + message, file=sys.stderr)
        return condition


def wait_for(produce, seconds=10.0):
    """The first true value produce() returns within seconds, else the last one."""
    deadline = time.monotonic() + seconds
    while True:
        value = produce()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(0.05)


def start_bus(work):
    daemon = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    address = daemon.stdout.readline().strip()
    if not address:
        raise SystemExit("FAIL: dbus-daemon did not start")
    os.environ["DBUS_SESSION_BUS_ADDRESS"] = address
    return daemon


def playerctl(*arguments):
    done = subprocess.run(["playerctl", "-p", "horchpult", *arguments], capture_output=True,
                          text=True, timeout=10)
    return done.stdout.strip() if done.returncode == 0 else None


def position():
    text = playerctl("position")
    return float(text) if text else None


def main(program):
    work = tempfile.mkdtemp(prefix="horchpult-a11y.")
    daemon = start_bus(work)
    recording = os.path.join(work, "interview.wav")
    subprocess.run(["sox", "-n", "-r", "8000", "-c", "1", recording, "synth", str(LENGTH),
                    "sine", "440"], check=True)
    # Remembering is on, from a run that left the waveform shown.
    os.makedirs(os.path.join(work, "config", "horchpult"))
    with open(os.path.join(work, "config", "horchpult", "horchpult.conf"), "w") as conf:
        conf.write("[General]\nremember=true\n\n[waveform]\nshown=true\n")
    environment = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb",
                       HORCHPULT_AO="null", XDG_SESSION_TYPE="wayland",
                       XDG_CONFIG_HOME=os.path.join(work, "config"), XDG_CACHE_HOME=os.path.join(work, "cache"))
    horchpult = subprocess.Popen([program], env=environment)
    try:
        return drive(horchpult, recording)
    finally:
        horchpult.terminate()
        horchpult.wait(10)
        daemon.terminate()
        daemon.wait(10)
        shutil.rmtree(work, ignore_errors=True)


def drive(horchpult, recording):
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi

    # An action that opens a modal dialog answers only once the dialog is closed.
    Atspi.set_timeout(1500, 0)
    check = Checks()

    def program_accessible():
        desktop = Atspi.get_desktop(0)
        for index in range(desktop.get_child_count()):
            child = desktop.get_child_at_index(index)
            if child is not None and child.get_process_id() == horchpult.pid:
                return child
        return None

    def descendants(accessible):
        found = [accessible]
        for index in range(accessible.get_child_count()):
            child = accessible.get_child_at_index(index)
            if child is not None:
                found.extend(descendants(child))
        return found

    def text_of(accessible):
        if "Text" not in accessible.get_interfaces():
            return None
        return Atspi.Text.get_text(accessible, 0, Atspi.Text.get_character_count(accessible))

    def has(accessible, state):
        return accessible.get_state_set().contains(state)

    def press(accessible, action):
        for index in range(Atspi.Action.get_n_actions(accessible)):
            if Atspi.Action.get_action_name(accessible, index) == action:
                try:
                    Atspi.Action.do_action(accessible, index)
                except gi.repository.GLib.Error:
                    pass  # still waiting for a modal dialog: the action has been taken
                return True
        return False

    program = wait_for(program_accessible, 20)
    if not check(program is not None, "the program did not appear on the accessibility bus"):
        return check
    window = wait_for(lambda: next((child for child in descendants(program)
                                    if child.get_role() == Atspi.Role.FRAME
                                    and child.get_name() == "horchpult"), None))
    if not check(window is not None, "no frame named horchpult"):
        return check
    controls = [a for a in descendants(window) if has(a, Atspi.StateType.SHOWING)]

    def named(role, name):
        return [a for a in controls if a.get_role() == role and a.get_name() == name]

    for name, text in TEXT_BOXES.items():
        boxes = named(Atspi.Role.TEXT, name)
        if check(len(boxes) == 1, f"{len(boxes)} text boxes named {name}"):
            check(text_of(boxes[0]) == text, f"{name} reads {text_of(boxes[0])!r}, not {text!r}")
    # A label's text is its name.
    labels = [a for a in controls if a.get_role() == Atspi.Role.LABEL]
    for caption in WINDOW_LABELS:
        check(any(label.get_name() == caption for label in labels), f"no label {caption!r}")
    check(any(NOTICE_WORDS in label.get_name() for label in labels),
          f"no label reads the notice's words; labels: {[label.get_name() for label in labels]}")
    for name, description in DESCRIPTIONS.items():
        found = [a for a in controls if a.get_name() == name]
        check(found and found[0].get_description() == description,
              f"{name!r} is not described as {description!r}")
    named_roles = {getattr(Atspi.Role, role) for role in NAMED_ROLES}
    unnamed = [a.get_role_name() for a in controls
               if a.get_role() in named_roles and not a.get_name().strip()]
    check(not unnamed, f"controls without a name: {unnamed}")
    check(len(named(Atspi.Role.CHECK_BOX, "Check1")) == 1, "no check box named Check1")

    # Open the recording as a user does: File > open, type its path, Open.
    opened = [a for a in descendants(window) if a.get_role() == Atspi.Role.MENU_ITEM and a.get_name() == "open"]
    if not check(len(opened) == 1 and press(opened[0], "Press"), "no menu item open to press"):
        return check
    dialog = wait_for(lambda: next((a for a in descendants(program)
                                    if a.get_role() == Atspi.Role.DIALOG and has(a, Atspi.StateType.SHOWING)), None))
    if not check(dialog is not None, "the file dialog did not open"):
        return check
    name_box = next((a for a in descendants(dialog) if a.get_role() == Atspi.Role.TEXT
                     and has(a, Atspi.StateType.EDITABLE) and has(a, Atspi.StateType.SHOWING)), None)
    open_button = next((a for a in descendants(dialog) if a.get_role() == Atspi.Role.PUSH_BUTTON
                        and a.get_name() == "Open"), None)
    if not check(name_box is not None and open_button is not None, "the file dialog has no name box or Open"):
        return check
    Atspi.EditableText.set_text_contents(name_box, recording)
    press(open_button, "Press")
    fileinfo = named(Atspi.Role.TEXT, "Fileinfo")[0]
    check(wait_for(lambda: text_of(fileinfo).endswith("interview.wav")),
          f"Fileinfo shows {text_of(fileinfo)!r} after opening")
    check(wait_for(lambda: playerctl("metadata", "xesam:title") == "interview.wav"),
          f"MPRIS title {playerctl('metadata', 'xesam:title')!r}")
    length = playerctl("metadata", "mpris:length")
    check(length is not None and abs(int(length) - LENGTH * 1_000_000) < 100_000, f"MPRIS length {length}")
    check(playerctl("status") == "Paused", f"a recording just opened is {playerctl('status')}")

    check(press(named(Atspi.Role.PUSH_BUTTON, ">>")[0], "Press"), ">> cannot be pressed")
    check(wait_for(lambda: (position() or 0) > 1.9), f">> left the position at {position()}")
    check(abs((position() or 0) - 2.0) < 0.05, f">> went to {position()}, not 2 s")
    strips = [a for a in descendants(window) if a.get_role() == Atspi.Role.SLIDER and a.get_name() == "Waveform"]
    if check(len(strips) == 1, f"{len(strips)} sliders named Waveform"):
        check(wait_for(lambda: abs(Atspi.Value.get_current_value(strips[0]) - 2.0) < 0.05),
              f"the waveform reads {Atspi.Value.get_current_value(strips[0])}, not the position 2 s")
        check(abs(Atspi.Value.get_maximum_value(strips[0]) - LENGTH) < 0.1,
              f"the waveform's length reads {Atspi.Value.get_maximum_value(strips[0])}, not {LENGTH} s")

    check1 = named(Atspi.Role.CHECK_BOX, "Check1")[0]
    check(press(check1, "Toggle"), "Check1 cannot be toggled")
    check(wait_for(lambda: has(check1, Atspi.StateType.CHECKED)), "Check1 is not ticked")
    autorewind = named(Atspi.Role.TEXT, "autorewind")[0]
    check(wait_for(lambda: has(autorewind, Atspi.StateType.EDITABLE)),
          "ticking Check1 did not make autorewind editable")

    playerctl("play")
    check(wait_for(lambda: playerctl("status") == "Playing"), f"after play: {playerctl('status')}")
    time.sleep(0.3)
    playerctl("pause")
    check(wait_for(lambda: playerctl("status") == "Paused"), f"after pause: {playerctl('status')}")
    after = position()
    check(after is not None and after < 1.0, f"pause with auto-rewind left the position at {after}")
    check(horchpult.poll() is None, "the program ended")
    return check


if __name__ == "__main__":
    result = main(sys.argv[1])
    print(f"accessibility: {result.passed} checks passed, {result.failed} failed")
    sys.exit(1 if result.failed else 0)
