"""One export: sample Blender's frames, hand them to mdlexport, report what it said.

The frames travel as one .glb file of our own making (every frame a morph
target, keyed a second apart, read by mdlexport at one frame a second), so
that the model is what the exporter makes of exactly those vertices. The
model is written to a temporary name beside the target and moved there only
when complete; every temporary file is removed whatever happens.
"""

import os
import tempfile

from . import frames
from . import glb
from . import tool


def default_base_name(path):
    """The file name up to its first dot, at most 16 characters, as the exporter derives it."""
    return os.path.basename(path).split(".", 1)[0][:16]


def _remove(path):
    if path and os.path.exists(path):
        os.remove(path)


def _temporary(folder, suffix, keep=False):
    """A new file name of our own in folder (None: the temporary folder).

    Unless kept, the file is removed again at once, so that mdlexport
    creates it with the permissions any new file of the user gets.
    """
    handle, path = tempfile.mkstemp(prefix=".quake-mdl-", suffix=suffix, dir=folder)
    os.close(handle)
    if not keep:
        os.remove(path)
    return path


def run(operator, context, preferred):
    """The operator's execute: {'FINISHED'} when the model was written."""
    report = operator.report
    program, where = tool.find_mdlexport(preferred)
    if program is None:
        report({"ERROR"}, tool.not_found_message(where))
        return {"CANCELLED"}
    report({"INFO"}, "Using mdlexport at %s (%s)" % (program, where))

    # A path relative to the blend file ("//") made plain first.
    target = os.path.abspath(tool.bpy_path(operator.filepath))
    objects = frames.exported_objects(context, operator.selected_only)
    if not objects:
        report({"ERROR"}, "No data to export: no %s object has a mesh"
               % ("selected visible" if operator.selected_only else "visible"))
        return {"CANCELLED"}

    base_name = operator.base_name or default_base_name(target)
    scene = context.scene
    window_manager = context.window_manager
    frame, subframe = scene.frame_current, scene.frame_subframe
    try:
        clips = frames.plan_clips(context, objects, operator.animation, base_name or "frame")
        limit = sum(c.count for c in clips)
        if not operator.frames_all:
            limit = min(limit, operator.frames)
        window_manager.progress_begin(0, limit)
        try:
            sampled, records = frames.sample(context, objects, clips, limit,
                                             scene.unit_settings.scale_length,
                                             window_manager.progress_update)
        finally:
            window_manager.progress_end()
    except frames.ExportError as error:
        report({"ERROR"}, str(error))
        return {"CANCELLED"}
    finally:
        # The user's frame back, whatever happened while sampling.
        scene.frame_set(frame, subframe=subframe)

    if not records:
        report({"ERROR"}, "No data to export: the exported objects have no faces")
        return {"CANCELLED"}

    warnings = []
    parts, materials = frames.build_parts(records, warnings)
    for text in warnings:
        report({"WARNING"}, text)

    settings = {
        "frames_all": operator.frames_all,
        "frames": operator.frames,
        "clips": len(sampled),
        "base_name": base_name,
        "texture_kb": operator.texture_kb,
        "height": operator.height if operator.size == "HEIGHT" else None,
        "scale": operator.scale,
        "collision_scale": operator.collision_scale,
        "gouraud": operator.gouraud,
        "fullbright": operator.fullbright,
        "random": operator.random,
        "flags": [name for prop, name, _text in tool.FLAGS if getattr(operator, prop)],
        "qc": None,
        "strict": operator.strict,
    }
    folder = os.path.dirname(target)
    qc_target = os.path.splitext(target)[0] + ".qc"
    scene_file = model_file = qc_file = None
    try:
        try:
            scene_file = _temporary(None, ".glb", keep=True)
            glb.write_glb(scene_file, parts, materials, sampled, "Vandrell Quake MDL add-on")
        except OSError as error:
            report({"ERROR"}, "Can't write the frames for mdlexport (%s): %s"
                   % (scene_file or tempfile.gettempdir(), error.strerror))
            return {"CANCELLED"}
        try:
            model_file = _temporary(folder, ".mdl")
            if operator.write_qc:
                qc_file = _temporary(folder, ".qc")
                settings["qc"] = qc_file
        except OSError as error:
            report({"ERROR"}, "Can't create output file %s: %s" % (target, error.strerror))
            return {"CANCELLED"}
        try:
            outcome = tool.run(tool.command(program, scene_file, model_file, settings),
                               operator.strict, target)
        except OSError as error:
            report({"ERROR"}, "Can't run %s: %s" % (program, error.strerror))
            return {"CANCELLED"}
        for level, text in outcome.reports:
            report({level}, text.replace(qc_file or "\0", qc_target))
        if not outcome.written or not os.path.exists(model_file):
            if not any(level == "ERROR" for level, _text in outcome.reports):
                report({"ERROR"}, "mdlexport failed (exit status %d)" % outcome.status)
            return {"CANCELLED"}
        try:
            os.replace(model_file, target)
            if qc_file:
                os.replace(qc_file, qc_target)
        except OSError as error:
            report({"ERROR"}, "Can't create output file %s: %s" % (target, error.strerror))
            return {"CANCELLED"}
    finally:
        for path in (scene_file, model_file, qc_file):
            _remove(path)
    return {"CANCELLED"} if outcome.status != 0 else {"FINISHED"}
