"""File > Export and File > Import > Quake MDL: Blender's scene through the Vandrell
exporter, and Quake models into Blender through mdlinfo's glTF."""

bl_info = {
    "name": "Quake MDL format",
    "author": "Vandrell",
    "version": (1, 0, 0),
    "blender": (3, 4, 0),
    "location": "File > Export > Quake MDL (.mdl), File > Import > Quake MDL (.mdl)",
    "description": "Export the scene's meshes, frame by frame, as a Quake model (MDL version "
                   "6); import Quake models with their frames as shape keys",
    "category": "Import-Export",
}

if "bpy" in locals():
    import importlib
    for _module in ("png", "glb", "frames", "tool", "export", "mdl_import"):
        if _module in locals():
            importlib.reload(locals()[_module])

import bpy
from bpy.props import BoolProperty, EnumProperty, IntProperty, StringProperty
from bpy_extras.io_utils import ExportHelper, ImportHelper

from . import tool


class QuakeMdlPreferences(bpy.types.AddonPreferences):
    bl_idname = __package__

    mdlexport_path: StringProperty(
        name="mdlexport",
        description="The mdlexport program (or its folder) to use, and the folder of the "
                    "mdlinfo that the import runs; empty: the ones beside the add-on, else "
                    "the ones on PATH",
        subtype="FILE_PATH",
    )

    def draw(self, context):
        layout = self.layout
        layout.prop(self, "mdlexport_path")
        for name in ("mdlexport", "mdlinfo"):
            path, where = tool.find_program(name, self.mdlexport_path)
            if path:
                layout.label(text="Using %s (%s)" % (path, where), icon="CHECKMARK")
            else:
                for line in _wrapped(tool.not_found_message(where, name)):
                    layout.label(text=line)


def _wrapped(text, width=90):
    lines, line = [], ""
    for word in text.split():
        if line and len(line) + 1 + len(word) > width:
            lines.append(line)
            line = word
        else:
            line = word if not line else line + " " + word
    return lines + [line] if line else lines


def preferred_path(context):
    addon = context.preferences.addons.get(__package__)
    return addon.preferences.mdlexport_path if addon else ""


class ExportQuakeMdl(bpy.types.Operator, ExportHelper):
    """Export the visible (or selected) meshes as a Quake model, every frame as Blender shows it"""

    bl_idname = "export_scene.quake_mdl"
    bl_label = "Export Quake MDL"
    bl_options = {"PRESET"}

    filename_ext = ".mdl"
    filter_glob: StringProperty(default="*.mdl", options={"HIDDEN"})

    # What to export, and which frames.
    selected_only: BoolProperty(
        name="Selected Only", default=False,
        description="Export the selected objects only; otherwise every visible one")
    animation: EnumProperty(
        name="Animation",
        items=(("SCENE", "Scene Frame Range", "The scene's frames, start to end"),
               ("ACTIVE", "Active Action",
                "The frames of the active object's action (or its armature's, or its "
                "shape keys')"),
               ("ACTIONS", "Every Action",
                "Every action of the exported objects, their armatures and shape keys "
                "(in their NLA tracks or assigned), one clip after another")),
        default="SCENE")
    frames_all: BoolProperty(
        name="All Frames", default=False,
        description="Export every frame of the animation; otherwise the number below")
    frames: IntProperty(
        name="Frames", default=1, min=1,
        description="How many frames to export, from the first one on (one Blender frame "
                    "is one model frame)")

    # Size.
    size: EnumProperty(
        name="Size",
        items=(("TRUE", "True Size", "The scene's units as they are: one metre is 39.37 Quake "
                                     "units (the player is 56 units tall)"),
               ("HEIGHT", "Height", "Scaled to a height in Quake units at the first frame")),
        default="TRUE")
    height: IntProperty(
        name="Height", default=56, min=1,
        description="The model's height in Quake units at its first frame")
    scale: IntProperty(
        name="Scale Model", default=100, min=0, subtype="PERCENTAGE",
        description="Size in percent of the true size")
    collision_scale: IntProperty(
        name="Scale Collision Box", default=100, min=0, subtype="PERCENTAGE",
        description="Each frame's bounding box in percent of the frame's extent "
                    "(shrinks only)")

    # Skin and shading.
    base_name: StringProperty(
        name="Model Base Name", default="", maxlen=13,
        description="Prefix of every frame name (at most 12 characters); empty: the file "
                    "name up to its first dot")
    texture_kb: IntProperty(
        name="Limit Texture Size", default=16, min=0, max=2097151,
        description="Largest skin in KBytes (one byte a pixel)")
    gouraud: BoolProperty(
        name="Gouraud Shading", default=True,
        description="Smooth the vertex normals of coincident vertices")
    fullbright: BoolProperty(
        name="Use Fullbright Colors", default=False,
        description="Let the skin use the palette's fullbright colours, which glow in the dark")
    random: BoolProperty(
        name="Random", default=True,
        description="Each model's animation starts at a random time (unticked: all in step)")

    # The model's effect flags, in the options dialog's order.
    flag_rotate: BoolProperty(name="Rotate", default=False)
    flag_rocket: BoolProperty(name="Rocket Smoke Trail", default=False)
    flag_grenade: BoolProperty(name="Grenade Smoke Trail", default=False)
    flag_gib: BoolProperty(name="Gib Long Blood Trail", default=False)
    flag_zombie_gib: BoolProperty(name="Gib Short Blood Trail", default=False)
    flag_wizard: BoolProperty(name="Wizard Green Tracer", default=False)
    flag_knight: BoolProperty(name="Hellknight Yellow Tracer", default=False)
    flag_vore: BoolProperty(name="Vore Purple Tracer", default=False)

    # Beside the model.
    write_qc: BoolProperty(
        name="QuakeC Frame Macros", default=False,
        description="Write the $frame lines of the clips as written beside the model (.qc)")
    strict: BoolProperty(
        name="Strict", default=False,
        description="Report a model that some engine will not load as an error (the file "
                    "is still written)")

    def draw(self, context):
        # The options are laid out by the panels below; this says which tool runs.
        path, where = tool.find_mdlexport(preferred_path(context))
        if path is None:
            self.layout.label(text="mdlexport not found: see the add-on's preferences",
                              icon="ERROR")
        else:
            self.layout.label(text="mdlexport (%s): %s" % (where, path))

    def execute(self, context):
        from . import export
        return export.run(self, context, preferred_path(context))


class ImportQuakeMdl(bpy.types.Operator, ImportHelper):
    """Import a Quake model: every frame a shape key, every clip an action"""

    bl_idname = "import_scene.quake_mdl"
    bl_label = "Import Quake MDL"
    bl_options = {"PRESET", "UNDO"}

    filename_ext = ".mdl"
    filter_glob: StringProperty(default="*.mdl", options={"HIDDEN"})

    size: EnumProperty(
        name="Size",
        items=(("METRES", "Metres", "One Quake unit is one inch (the player is 1.42 m tall), "
                                    "as the export reads it back"),
               ("QUAKE", "Quake Units", "One Quake unit is one Blender unit")),
        default="METRES")

    def draw(self, context):
        layout = self.layout
        path, where = tool.find_program("mdlinfo", preferred_path(context))
        if path is None:
            layout.label(text="mdlinfo not found: see the add-on's preferences", icon="ERROR")
        else:
            layout.label(text="mdlinfo (%s): %s" % (where, path))
        layout.prop(self, "size", expand=True)

    def execute(self, context):
        from . import mdl_import
        return mdl_import.run(self, context, preferred_path(context))


class _OptionsPanel:
    bl_space_type = "FILE_BROWSER"
    bl_region_type = "TOOL_PROPS"
    bl_parent_id = "FILE_PT_operator"

    @classmethod
    def poll(cls, context):
        operator = context.space_data.active_operator
        return operator is not None and operator.bl_idname == "EXPORT_SCENE_OT_quake_mdl"

    def draw(self, context):
        layout = self.layout
        # The dialog's long field names read whole inside their fields.
        layout.use_property_split = False
        layout.use_property_decorate = False
        self.draw_options(layout, context.space_data.active_operator)


class QUAKE_MDL_PT_include(_OptionsPanel, bpy.types.Panel):
    bl_label = "Include"
    bl_order = 0

    def draw_options(self, layout, operator):
        layout.prop(operator, "selected_only")
        layout.label(text="Animation:")
        layout.prop(operator, "animation", text="")
        layout.prop(operator, "frames_all")
        row = layout.row()
        row.enabled = not operator.frames_all
        row.prop(operator, "frames")


class QUAKE_MDL_PT_size(_OptionsPanel, bpy.types.Panel):
    bl_label = "Size"
    bl_order = 1

    def draw_options(self, layout, operator):
        layout.prop(operator, "size", expand=True)
        if operator.size == "HEIGHT":
            layout.prop(operator, "height")
        else:
            layout.prop(operator, "scale")
        layout.prop(operator, "collision_scale")


class QUAKE_MDL_PT_skin(_OptionsPanel, bpy.types.Panel):
    bl_label = "Model"
    bl_order = 2

    def draw_options(self, layout, operator):
        layout.label(text="Model Base Name:")
        layout.prop(operator, "base_name", text="")
        layout.prop(operator, "texture_kb", text="Limit Texture Size (KBytes)")
        layout.prop(operator, "gouraud")
        layout.prop(operator, "fullbright")
        layout.prop(operator, "random")


class QUAKE_MDL_PT_flags(_OptionsPanel, bpy.types.Panel):
    bl_label = "Flags"
    bl_order = 3
    bl_options = {"DEFAULT_CLOSED"}

    def draw_options(self, layout, operator):
        for prop, _name, _text in tool.FLAGS:
            layout.prop(operator, prop)


class QUAKE_MDL_PT_output(_OptionsPanel, bpy.types.Panel):
    bl_label = "Output"
    bl_order = 4

    def draw_options(self, layout, operator):
        layout.prop(operator, "write_qc")
        layout.prop(operator, "strict")


def menu_func_export(self, context):
    self.layout.operator(ExportQuakeMdl.bl_idname, text="Quake MDL (.mdl)")


def menu_func_import(self, context):
    self.layout.operator(ImportQuakeMdl.bl_idname, text="Quake MDL (.mdl)")


_classes = (
    QuakeMdlPreferences,
    ExportQuakeMdl,
    ImportQuakeMdl,
    QUAKE_MDL_PT_include,
    QUAKE_MDL_PT_size,
    QUAKE_MDL_PT_skin,
    QUAKE_MDL_PT_flags,
    QUAKE_MDL_PT_output,
)


def register():
    for cls in _classes:
        bpy.utils.register_class(cls)
    bpy.types.TOPBAR_MT_file_export.append(menu_func_export)
    bpy.types.TOPBAR_MT_file_import.append(menu_func_import)


def unregister():
    bpy.types.TOPBAR_MT_file_import.remove(menu_func_import)
    bpy.types.TOPBAR_MT_file_export.remove(menu_func_export)
    for cls in reversed(_classes):
        bpy.utils.unregister_class(cls)
