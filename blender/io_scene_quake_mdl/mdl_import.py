"""One import: mdlinfo turns the model into glTF, Blender's glTF importer reads it.

mdlinfo writes every frame as a morph target named after the frame and one
animation per clip, so the importer makes one shape key per frame and one
action per clip. The glTF file is temporary and removed whatever happens; an
import that fails part of the way takes back what it had made.
"""

import os
import tempfile

import bpy

from . import tool

# What a glTF import adds to the blend file, taken back when it fails.
_DATA = ("objects", "meshes", "materials", "images", "textures", "actions", "shape_keys",
         "node_groups", "collections", "cameras", "lights")


def _snapshot():
    return {name: set(getattr(bpy.data, name)) for name in _DATA}


def _take_back(before):
    for name in _DATA:
        data = getattr(bpy.data, name)
        for block in set(data) - before[name]:
            # Shape keys go with their mesh.
            if name != "shape_keys":
                data.remove(block)


def run(operator, context, preferred):
    """The operator's execute: {'FINISHED'} when the model was imported."""
    report = operator.report
    program, where = tool.find_program("mdlinfo", preferred)
    if program is None:
        report({"ERROR"}, tool.not_found_message(where, "mdlinfo"))
        return {"CANCELLED"}
    report({"INFO"}, "Using mdlinfo at %s (%s)" % (program, where))

    source = os.path.abspath(tool.bpy_path(operator.filepath))
    if not os.path.isfile(source):
        report({"ERROR"}, "Can't open %s: no such file" % source)
        return {"CANCELLED"}

    scene_file = None
    try:
        try:
            handle, scene_file = tempfile.mkstemp(prefix=".quake-mdl-", suffix=".glb")
            os.close(handle)
        except OSError as error:
            report({"ERROR"}, "Can't write the glTF file for the import (%s): %s"
                   % (tempfile.gettempdir(), error.strerror))
            scene_file = None
            return {"CANCELLED"}
        args = [program, source, "--gltf", scene_file]
        if operator.size == "QUAKE":
            args.append("--quake-units")
        try:
            outcome = tool.run_mdlinfo(args, source, scene_file)
        except OSError as error:
            report({"ERROR"}, "Can't run %s: %s" % (program, error.strerror))
            return {"CANCELLED"}
        for level, text in outcome.reports:
            report({level}, text)
        if outcome.status != 0 or os.path.getsize(scene_file) == 0:
            if not any(level == "ERROR" for level, _text in outcome.reports):
                report({"ERROR"}, "mdlinfo failed (exit status %d)" % outcome.status)
            return {"CANCELLED"}

        before = _snapshot()
        try:
            # 'SMOOTH': the shading that Blender 3.4's importer reads with
            # numpy 1.24 too ('NORMALS' needs the removed np.bool).
            result = bpy.ops.import_scene.gltf(filepath=scene_file, import_shading="SMOOTH")
        except RuntimeError as error:
            _take_back(before)
            report({"ERROR"}, "Blender's glTF importer failed on %s: %s" % (source, error))
            return {"CANCELLED"}
        if "FINISHED" not in result:
            _take_back(before)
            report({"ERROR"}, "Blender's glTF importer failed on %s" % source)
            return {"CANCELLED"}
    finally:
        if scene_file and os.path.exists(scene_file):
            os.remove(scene_file)
    return {"FINISHED"}
