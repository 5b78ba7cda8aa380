"""Finding and running mdlexport and mdlinfo, and sorting what they say into reports."""

import os
import shutil
import subprocess



def program_name(tool):
    return tool + ".exe" if os.name == "nt" else tool


PROGRAM = program_name("mdlexport")

# The model flags in the options dialog's order, with mdlexport's names.
FLAGS = (
    ("flag_rotate", "rotate", "Rotate"),
    ("flag_rocket", "rocket-smoke-trail", "Rocket Smoke Trail"),
    ("flag_grenade", "grenade-smoke-trail", "Grenade Smoke Trail"),
    ("flag_gib", "gib-long-blood-trail", "Gib Long Blood Trail"),
    ("flag_zombie_gib", "gib-short-blood-trail", "Gib Short Blood Trail"),
    ("flag_wizard", "wizard-green-tracer", "Wizard Green Tracer"),
    ("flag_knight", "hellknight-yellow-tracer", "Hellknight Yellow Tracer"),
    ("flag_vore", "vore-purple-tracer", "Vore Purple Tracer"),
)


def _runnable(path):
    return os.path.isfile(path) and os.access(path, os.X_OK)


def find_mdlexport(preferred):
    """(path, where) of the mdlexport to use, or (None, what was tried)."""
    return find_program("mdlexport", preferred)


def find_program(tool, preferred):
    """(path, where) of one of the tools, or (None, what was tried).

    preferred is the path set in the add-on's preferences (mdlexport or its
    folder; for the other tools, that folder), tried first when set; then
    the add-on's own folder and the folder above it (where a zip of the
    tools puts it); then PATH.
    """
    name = program_name(tool)
    tried = []
    if preferred:
        path = os.path.abspath(bpy_path(preferred))
        if os.path.isdir(path):
            path = os.path.join(path, name)
        elif tool != "mdlexport":
            # The tools come together: mdlinfo beside the mdlexport set.
            path = os.path.join(os.path.dirname(path), name)
        if _runnable(path):
            return path, "the add-on's preferences"
        tried.append(path + " (set in the preferences)")
    here = os.path.dirname(os.path.abspath(__file__))
    for folder in (here, os.path.dirname(here)):
        path = os.path.join(folder, name)
        if _runnable(path):
            return path, "beside the add-on"
        tried.append(path)
    path = shutil.which(name)
    if path:
        return path, "PATH"
    tried.append("PATH")
    return None, ", ".join(tried)


def bpy_path(path):
    """A path as Blender stores it ('//' is the blend file's folder) made plain."""
    try:
        import bpy
        return bpy.path.abspath(path)
    except ImportError:
        return path


def not_found_message(tried, tool="mdlexport"):
    return ("%s not found (looked in %s). Install the Vandrell tools (the Debian "
            "package puts %s on PATH; the Windows zip carries this add-on beside "
            "%s.exe), or set the path of %s or its folder in Edit > Preferences > "
            "Add-ons > Quake MDL" % (tool, tried, tool, tool, tool))


def command(program, scene, output, settings):
    """mdlexport's arguments for the options in settings (a dict)."""
    args = [program, "--fps", "1"]
    args += ["--frames", "all" if settings["frames_all"] else str(settings["frames"])]
    if settings["clips"] > 1:
        args += ["--animation", "all"]
    args += ["--base-name", settings["base_name"]]
    args += ["--texture-kb", str(settings["texture_kb"])]
    if settings["height"] is not None:
        args += ["--height", str(settings["height"])]
    else:
        args += ["--scale", str(settings["scale"])]
    args += ["--collision-scale", str(settings["collision_scale"])]
    if not settings["gouraud"]:
        args.append("--flat")
    if settings["fullbright"]:
        args.append("--fullbright")
    if not settings["random"]:
        args.append("--no-random")
    for name in settings["flags"]:
        args += ["--flag", name]
    if settings["qc"]:
        args += ["--qc", settings["qc"]]
    if settings["strict"]:
        args.append("--strict")
    args += ["--", scene, output]
    return args


class Outcome:
    """What one run of mdlexport said: its status and its reports."""

    def __init__(self, status, lines):
        self.status = status
        # (level, text, engine) with level ERROR, WARNING or INFO, in the order
        # said; engine tells an engine's refusal from other messages.
        self.lines = lines

    @property
    def reports(self):
        return [(level, text) for level, text, _engine in self.lines]

    @property
    def written(self):
        """True when the file is complete: also when strict turned a refusal into status 1."""
        if self.status == 0:
            return True
        refused = any(engine for _level, _text, engine in self.lines)
        other_errors = any(level == "ERROR" and not engine
                           for level, _text, engine in self.lines)
        return self.status == 1 and refused and not other_errors


def run(args, strict, output_name):
    """Runs mdlexport and sorts its lines into reports.

    "Vandrell Exporter: ..." lines are the exporter's message boxes, which
    only failures and "No data to export" show: errors. "mdlexport:
    warning: ..." lines are warnings, and an engine's refusal is an error
    with strict; "mdlexport: note: ..." lines (what an engine loads with a
    caution) are information. Other "mdlexport: ..." lines are failures. Standard output
    holds the summary line. Paths of the temporary files are put as the
    user named them.
    """
    # No console window flashing up on Windows.
    flags = getattr(subprocess, "CREATE_NO_WINDOW", 0)
    result = subprocess.run(args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, check=False, creationflags=flags)
    scene, output = args[-2], args[-1]

    def plain(text):
        return text.replace(output, output_name).replace(scene, "the scene")

    lines = []
    for line in result.stderr.decode("utf-8", "replace").splitlines():
        line = line.strip()
        if not line or line.startswith("sampling frame"):
            continue
        if line.startswith("mdlexport: warning: "):
            text = line[len("mdlexport: warning: "):]
            engine = " will not load " in text
            lines.append(("ERROR" if engine and strict else "WARNING", plain(text), engine))
        elif line.startswith("mdlexport: note: "):
            # An engine that loads the model with a caution: never a failure.
            lines.append(("INFO", plain(line[len("mdlexport: note: "):]), False))
        elif line.startswith("mdlexport: "):
            lines.append(("ERROR", plain(line[len("mdlexport: "):]), False))
        elif line.startswith("Try 'mdlexport --help'"):
            continue
        else:
            # The exporter's own message boxes, caption first.
            lines.append(("ERROR", plain(line), False))
    for line in result.stdout.decode("utf-8", "replace").splitlines():
        if line.strip():
            lines.append(("INFO", plain(line.strip()), False))
    return Outcome(result.returncode, lines)


def run_mdlinfo(args, source, output):
    """Runs mdlinfo (source's glTF written to output) and sorts its lines into reports.

    What stops the reader ("mdlinfo: SOURCE: why") and other "mdlinfo: ..."
    lines are errors. The check's findings on a file that was read
    ("mdlinfo: SOURCE: error|warning|note: what") are warnings or
    information: the model is imported all the same, as the engines that
    load it show it. Standard output (the model's listing) is not wanted.
    """
    flags = getattr(subprocess, "CREATE_NO_WINDOW", 0)
    result = subprocess.run(args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, check=False, creationflags=flags)
    prefix = "mdlinfo: %s: " % source
    lines = []
    for line in result.stderr.decode("utf-8", "replace").splitlines():
        line = line.strip().replace(output, "the glTF file")
        if not line or line.startswith("Try 'mdlinfo --help'"):
            continue
        if line.startswith(prefix):
            text = line[len(prefix):]
            # The check's errors stop the import only when they stopped the reader.
            damaged = "ERROR" if result.returncode != 0 else "WARNING"
            for severity, level in (("error: ", damaged), ("warning: ", "WARNING"),
                                    ("note: ", "INFO")):
                if text.startswith(severity):
                    lines.append((level, "%s: %s" % (source, text[len(severity):]), False))
                    break
            else:
                lines.append(("ERROR", "%s: %s" % (source, text), False))
        elif line.startswith("mdlinfo: "):
            lines.append(("ERROR", line[len("mdlinfo: "):], False))
        else:
            lines.append(("ERROR", line, False))
    return Outcome(result.returncode, lines)
