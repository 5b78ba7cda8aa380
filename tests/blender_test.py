"""The Blender add-on in the real Blender: File > Export > Quake MDL.

Run by CTest in Blender, headless:

    blender -b --factory-startup --python tests/blender_test.py -- \\
        --addon-zip ZIP --tools BIN_DIR --work DIR [--case NAME]

The add-on is installed from its zip into a fresh user scripts folder (the
caller points BLENDER_USER_SCRIPTS and BLENDER_USER_CONFIG at empty
folders) and enabled, as a user would, with the tools' folder on PATH. Each
case builds its scene here, exports it through the operator and reads the
model back with the reader below, which knows nothing of the add-on. Every
expected position comes from the scene as this script walks it, frame by
frame. Exits 1 at the first failed check, naming it.
"""

import argparse
import os
import struct
import subprocess
import sys
import tempfile

import bpy
import numpy as np

INCHES_PER_METRE = 1.0 / 0.0254


def options():
    argv = sys.argv[sys.argv.index("--") + 1:]
    parser = argparse.ArgumentParser(prog="blender_test.py")
    parser.add_argument("--addon-zip", required=True)
    parser.add_argument("--tools", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--case", action="append")
    return parser.parse_args(argv)


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


# A Quake MDL file, version 6, read field by field.
def read_mdl(path):
    with open(path, "rb") as f:
        data = f.read()
    check(data[:4] == b"IDPO", "%s starts with IDPO" % path)
    fields = struct.unpack_from("<i3f3ff3f8if", data, 4)
    header = {
        "version": fields[0], "scale": np.array(fields[1:4]), "origin": np.array(fields[4:7]),
        "radius": fields[7], "numskins": fields[11], "skinwidth": fields[12],
        "skinheight": fields[13], "numverts": fields[14], "numtris": fields[15],
        "numframes": fields[16], "synctype": fields[17], "flags": fields[18], "size": fields[19],
    }
    at = 84
    width, height = header["skinwidth"], header["skinheight"]
    check(struct.unpack_from("<i", data, at)[0] == 0, "one plain skin")
    skin = np.frombuffer(data, dtype=np.uint8, count=width * height, offset=at + 4)
    at += 4 + width * height
    verts = header["numverts"]
    st = np.frombuffer(data, dtype="<i4", count=verts * 3, offset=at).reshape(verts, 3)
    at += 12 * verts
    tris = np.frombuffer(data, dtype="<i4", count=header["numtris"] * 4, offset=at)
    at += 16 * header["numtris"]
    names, packed = [], []
    for _frame in range(header["numframes"]):
        check(struct.unpack_from("<i", data, at)[0] == 0, "plain frames")
        names.append(data[at + 12:at + 28].split(b"\0")[0].decode("ascii"))
        packed.append(np.frombuffer(data, dtype=np.uint8, count=verts * 4,
                                    offset=at + 28).reshape(verts, 4)[:, :3])
        at += 28 + 4 * verts
    check(at == len(data), "the file ends after its last frame")
    header["skin"] = skin.reshape(height, width)
    header["st"] = st
    header["tris"] = tris.reshape(-1, 4)
    header["names"] = names
    header["positions"] = [header["origin"] + p * header["scale"] for p in packed]
    return header


def quake_positions(context, objects, scale):
    """World positions of every evaluated vertex, in Quake's axes and units.

    Blender's front, -Y, is Quake's +X: (x, y, z) becomes (-y, x, z); a
    metre is 39.37 units, times the model scale.
    """
    depsgraph = context.evaluated_depsgraph_get()
    points = []
    for ob in objects:
        ob_eval = ob.evaluated_get(depsgraph)
        mesh = ob_eval.to_mesh()
        for v in mesh.vertices:
            w = ob_eval.matrix_world @ v.co
            points.append((-w.y, w.x, w.z))
        ob_eval.to_mesh_clear()
    return np.array(points) * INCHES_PER_METRE * scale


def check_positions(model, expected, what):
    """Every model vertex within two packing steps of one scene vertex in every frame.

    expected: (frames, scene vertices, 3). Each model vertex is matched with
    the scene vertex nearest to it over all frames, and each scene vertex
    with the model vertex nearest to it (scene vertices equal in every frame
    share one).
    """
    got = np.stack(model["positions"])  # (frames, model vertices, 3)
    check(got.shape[0] == expected.shape[0],
          "%s: %d frames, %d walked" % (what, got.shape[0], expected.shape[0]))
    steps = np.abs(got[:, :, None, :] - expected[:, None, :, :]) / model["scale"]
    worst = steps.max(axis=(0, 3))  # (model vertices, scene vertices)
    match = worst.argmin(axis=1)
    error = worst[np.arange(worst.shape[0]), match]
    check(error.max() <= 2.0, "%s: a vertex is %.2f packing steps from the scene's"
          % (what, error.max()))
    unmatched = np.count_nonzero(worst.min(axis=0) > 2.0)
    check(not unmatched, "%s: %d scene vertices have no model vertex within two steps"
          % (what, unmatched))
    return error.max()


def export(path, **settings):
    """The operator's reports and result; a refused export raises RuntimeError."""
    return bpy.ops.export_scene.quake_mdl(filepath=path, **settings)


def files_in(folder):
    return sorted(os.listdir(folder))


def stray_temporary_files():
    return [n for n in os.listdir(tempfile.gettempdir()) if n.startswith(".quake-mdl-")]


def empty_scene():
    bpy.ops.wm.read_factory_settings(use_empty=True)
    enable_addon()


def enable_addon():
    bpy.ops.preferences.addon_enable(module="io_scene_quake_mdl")


def packed_image():
    """An 8x8 image, red above, blue below, packed into the blend file."""
    image = bpy.data.images.new("checker", 8, 8, alpha=False)
    pixels = np.zeros((8, 8, 4), dtype=np.float32)
    pixels[..., 3] = 1.0
    pixels[4:, :, 0] = 1.0  # rows 4..7: Blender's rows run bottom to top
    pixels[:4, :, 2] = 1.0
    image.pixels.foreach_set(pixels.reshape(-1))
    image.pack()
    return image


def textured_material(image):
    material = bpy.data.materials.new("skin")
    material.use_nodes = True
    nodes = material.node_tree.nodes
    texture = nodes.new("ShaderNodeTexImage")
    texture.image = image
    shader = nodes["Principled BSDF"]
    material.node_tree.links.new(texture.outputs["Color"], shader.inputs["Base Color"])
    return material


def character_scene():
    """A skinned arm with two actions and a modifier, and a shape-key blob.

    The arm: a two-bone armature bending a 2 m cylinder (Subdivision Surface
    on top of the armature), textured with a packed image. Its actions:
    "wave" in an NLA track (frames 1..5) and "nod" assigned (1..4). The blob:
    an icosphere in its own colour whose shape key "squash" is keyed 1..3,
    with two flaps that lie on each other until the shape key parts them.
    """
    empty_scene()
    context = bpy.context
    bpy.ops.object.armature_add(enter_editmode=True, location=(0.0, 0.0, 0.0))
    armature = context.object
    armature.name = "rig"
    bones = armature.data.edit_bones
    lower = bones[0]
    lower.name = "lower"
    lower.head, lower.tail = (0.0, 0.0, 0.0), (0.0, 0.0, 1.0)
    upper = bones.new("upper")
    upper.head, upper.tail = (0.0, 0.0, 1.0), (0.0, 0.0, 2.0)
    upper.parent = lower
    bpy.ops.object.mode_set(mode="OBJECT")

    bpy.ops.mesh.primitive_cylinder_add(vertices=6, radius=0.2, depth=2.0,
                                        location=(0.3, -0.1, 1.0))
    arm = context.object
    arm.name = "arm"
    bpy.ops.object.transform_apply(location=True)
    lower_group = arm.vertex_groups.new(name="lower")
    upper_group = arm.vertex_groups.new(name="upper")
    for v in arm.data.vertices:
        (upper_group if v.co.z > 1.0 else lower_group).add([v.index], 1.0, "REPLACE")
    arm.parent = armature
    rig = arm.modifiers.new("rig", "ARMATURE")
    rig.object = armature
    arm.modifiers.new("smooth", "SUBSURF").levels = 1
    arm.data.materials.append(textured_material(packed_image()))

    armature.animation_data_create()
    pose = armature.pose.bones

    def action(name, keys):
        made = bpy.data.actions.new(name)
        armature.animation_data.action = made
        for frame, (bone, angle) in keys:
            pose[bone].rotation_mode = "XYZ"
            pose[bone].rotation_euler = (angle, 0.0, 0.0)
            pose[bone].keyframe_insert("rotation_euler", frame=frame)
        return made

    wave = action("wave", [(1, ("upper", 0.0)), (3, ("upper", 0.9)), (5, ("upper", -0.4))])
    track = armature.animation_data.nla_tracks.new()
    track.strips.new("wave", 1, wave)
    armature.animation_data.action = None
    pose["upper"].rotation_euler = (0.0, 0.0, 0.0)
    action("nod", [(1, ("lower", 0.0)), (4, ("lower", 0.5))])

    bpy.ops.mesh.primitive_ico_sphere_add(subdivisions=1, radius=0.3, location=(0.0, 1.0, 0.4))
    blob = context.object
    blob.name = "blob"
    # Two flaps, one on the other, with vertices of their own: equal in the
    # first frame, parted by the shape key.
    import bmesh
    shape = bmesh.new()
    shape.from_mesh(blob.data)
    first_flap = len(shape.verts)
    for _flap in range(2):
        corners = [shape.verts.new(co) for co in ((0.3, 0.0, 0.0), (0.6, 0.0, 0.0),
                                                  (0.3, 0.0, 0.3))]
        shape.faces.new(corners)
    shape.to_mesh(blob.data)
    shape.free()
    blob.shape_key_add(name="basis")
    squash = blob.shape_key_add(name="squash")
    for index, point in enumerate(squash.data):
        point.co.z *= 0.4
        point.co.x *= 1.5
        if index >= first_flap + 3:
            point.co.y -= 0.3
    for frame, value in ((1, 0.0), (3, 1.0)):
        squash.value = value
        squash.keyframe_insert("value", frame=frame)
    blob.data.shape_keys.animation_data.action.name = "squash"
    colour = bpy.data.materials.new("green")
    colour.diffuse_color = (0.0, 0.8, 0.0, 1.0)
    colour.use_nodes = True
    colour.node_tree.nodes["Principled BSDF"].inputs["Base Color"].default_value = (
        0.0, 0.8, 0.0, 1.0)
    blob.data.materials.append(colour)
    context.scene.frame_set(2)
    return armature, [arm, blob]


def walk_actions(context, armature, meshes, scale):
    """The scene's vertices in every frame of every action, walked here.

    The clips the operator makes of every action: wave (its NLA strip's
    action), nod (assigned), then the blob's squash, each action alone on its
    data, the other data as they are.
    """
    data = armature.animation_data
    saved = data.action, data.use_nla
    walked = []
    for action, frames in ((bpy.data.actions["wave"], range(1, 6)),
                           (bpy.data.actions["nod"], range(1, 5)),
                           (bpy.data.actions["squash"], range(1, 4))):
        if action.name != "squash":
            data.action = action
            data.use_nla = False
        for frame in frames:
            context.scene.frame_set(frame)
            walked.append(quake_positions(context, meshes, scale))
        data.action, data.use_nla = saved
    context.scene.frame_set(2)
    return np.stack(walked)


def skin_colours(model_path, tools, work):
    picture = os.path.join(work, "skin.png")
    subprocess.run([os.path.join(tools, "mdlinfo"), model_path, "--skin-png", picture],
                   check=True, stdout=subprocess.DEVNULL)
    image = bpy.data.images.load(picture)
    width, height = image.size
    pixels = np.empty(width * height * 4, dtype=np.float32)
    image.pixels.foreach_get(pixels)
    bpy.data.images.remove(image)
    os.remove(picture)
    # Top row first, as the skin is stored.
    return pixels.reshape(height, width, 4)[::-1, :, :3]


def case_every_action(args):
    context = bpy.context
    armature, meshes = character_scene()
    folder = os.path.join(args.work, "every-action")
    os.makedirs(folder)
    target = os.path.join(folder, "knight.run.mdl")
    result = export(target, frames_all=True, animation="ACTIONS", scale=50,
                    base_name="", random=False, flag_rotate=True, flag_vore=True,
                    write_qc=True)
    check(result == {"FINISHED"}, "the export finished: %s" % result)
    check(context.scene.frame_current == 2, "the user's frame is back")
    check(files_in(folder) == ["knight.run.mdl", "knight.run.qc"],
          "the model and its macros, nothing else: %s" % files_in(folder))
    check(armature.animation_data.action.name == "nod" and armature.animation_data.use_nla,
          "the armature's action and NLA as the user had them")
    umask = os.umask(0)
    os.umask(umask)
    check(os.stat(target).st_mode & 0o777 == 0o666 & ~umask,
          "the model has a new file's permissions: %o" % (os.stat(target).st_mode & 0o777))
    model = read_mdl(target)
    check(model["numframes"] == 12, "5 + 4 + 3 frames, not %d" % model["numframes"])
    check(model["names"] == ["knight%d" % i for i in range(12)],
          "frames named after the file: %s" % model["names"])
    check(model["flags"] == 8 + 128, "rotate and the vore's tracer: %d" % model["flags"])
    check(model["synctype"] == 0, "synchronised")
    expected = walk_actions(context, armature, meshes, 0.5)
    worst = check_positions(model, expected, "every action at 50%")
    with open(os.path.join(folder, "knight.run.qc")) as qc:
        lines = qc.read().split("\n")
    check(lines[:3] == ["$frame wave1 wave2 wave3 wave4 wave5",
                        "$frame nod1 nod2 nod3 nod4", "$frame squash1 squash2 squash3"],
          "the clips' frame macros: %s" % lines)
    skin = skin_colours(target, args.tools, args.work)
    # The palette's nearest colours: a dark red, blue, and an olive for the green.
    red = (skin[..., 0] > 0.4) & (skin[..., 1] < 0.1) & (skin[..., 2] < 0.1)
    blue = (skin[..., 2] > 0.4) & (skin[..., 0] < 0.1) & (skin[..., 1] < 0.1)
    green = (skin[..., 1] > 0.3) & (skin[..., 2] < 0.1)
    check(red.any() and blue.any(), "the packed image's red and blue are in the skin")
    check(np.nonzero(red)[0].mean() < np.nonzero(blue)[0].mean(),
          "the image's red top half is above its blue one in the skin")
    check(green.any(), "the blob's colour is in the skin")
    print("every action: 12 frames, worst vertex %.2f packing steps" % worst)


def case_frames_and_size(args):
    context = bpy.context
    _armature, meshes = character_scene()
    folder = os.path.join(args.work, "frames")
    os.makedirs(folder)
    target = os.path.join(folder, "arm.mdl")
    # The dialog's defaults but for the base name: one frame, random, at true
    # size, in a scene whose unit is half a metre.
    context.scene.unit_settings.scale_length = 0.5
    result = export(target, base_name="ogre_with_long_name", selected_only=True)
    context.scene.unit_settings.scale_length = 1.0
    check(result == {"FINISHED"}, "the export finished")
    model = read_mdl(target)
    check(model["numframes"] == 1 and model["names"] == ["ogre_with_lo0"],
          "one frame named with the first 12 characters: %s" % model["names"])
    check(model["synctype"] == 1 and model["flags"] == 0, "random, no flags")
    # Only the blob was selected (it was made last), at frame 1 of the scene.
    context.scene.frame_set(1)
    expected = quake_positions(context, [meshes[1]], 0.5)[None]
    context.scene.frame_set(2)
    check_positions(model, expected, "the selected blob at true size in half metres")

    # The active action of the active object's armature, three frames of it.
    context.view_layer.objects.active = meshes[0]
    check(export(target, animation="ACTIVE", frames=3) == {"FINISHED"}, "three frames")
    model = read_mdl(target)
    check(model["names"] == ["arm0", "arm1", "arm2"], "three frames: %s" % model["names"])
    walked = []
    for frame in (1, 2, 3):
        context.scene.frame_set(frame)
        walked.append(quake_positions(context, meshes, 1.0))
    context.scene.frame_set(2)
    check_positions(model, np.stack(walked), "the active action, three frames")

    # A height in Quake units: the model's first frame 56 units tall.
    check(export(target, animation="ACTIVE", frames=1, size="HEIGHT", height=56)
          == {"FINISHED"}, "56 units tall")
    model = read_mdl(target)
    z = model["positions"][0][:, 2]
    check(abs((z.max() - z.min()) - 56.0) <= 2.0 * model["scale"][2],
          "56 units tall: %.2f" % (z.max() - z.min()))
    print("frames and size: one frame, three frames, 56 units")


def expect_refusal(target, words, **settings):
    folder = os.path.dirname(target)
    before = files_in(folder)
    try:
        export(target, **settings)
    except RuntimeError as error:
        message = str(error)
    else:
        raise Failure("the export of %s was refused" % target)
    for word in words:
        check(word in message, "the error says %r: %s" % (word, message))
    check(files_in(folder) == before, "no file left in %s: %s" % (folder, files_in(folder)))
    check(not stray_temporary_files(), "no temporary file left: %s" % stray_temporary_files())
    return message


def case_refusals(args):
    context = bpy.context
    folder = os.path.join(args.work, "refusals")
    os.makedirs(folder)
    target = os.path.join(folder, "nothing.mdl")

    empty_scene()
    bpy.ops.object.camera_add()
    expect_refusal(target, ["No data to export"])

    # A mesh whose faces appear one by one: its triangles change at frame 2.
    empty_scene()
    bpy.ops.mesh.primitive_cube_add()
    cube = context.object
    cube.name = "growing"
    build = cube.modifiers.new("build", "BUILD")
    build.frame_start, build.frame_duration = 0, 6
    context.scene.frame_end = 6
    context.scene.frame_set(4)
    expect_refusal(target, ["\"growing\"", "frame 2"], frames_all=True)
    check(context.scene.frame_current == 4, "the user's frame is back after a failure")

    # mdlexport itself refuses: a flat plane has no height to scale to. Its
    # scene file and the model's temporary name are gone afterwards.
    empty_scene()
    bpy.ops.mesh.primitive_plane_add()
    expect_refusal(target, ["height"], size="HEIGHT", height=56)

    # Strict: a model that Quake itself refuses (over 2000 vertices) is an
    # error, and the file is written all the same.
    empty_scene()
    bpy.ops.mesh.primitive_uv_sphere_add(segments=64, ring_count=32)
    strict = os.path.join(folder, "big.mdl")
    check(export(strict) == {"FINISHED"}, "without strict, a refusal is a warning")
    os.remove(strict)
    try:
        export(strict, strict=True)
    except RuntimeError as error:
        check("Quake and QuakeWorld will not load" in str(error), "strict: %s" % error)
    else:
        raise Failure("strict makes an engine's refusal an error")
    check(os.path.exists(strict), "strict still writes the file")
    os.remove(strict)

    # No mdlexport anywhere: the error says where to set it.
    empty_scene()
    bpy.ops.mesh.primitive_cube_add()
    path = os.environ["PATH"]
    os.environ["PATH"] = ""
    try:
        expect_refusal(target, ["mdlexport not found", "Preferences"])
    finally:
        os.environ["PATH"] = path
    preferences = context.preferences.addons["io_scene_quake_mdl"].preferences
    preferences.mdlexport_path = args.tools
    os.environ["PATH"] = ""
    try:
        check(export(target) == {"FINISHED"}, "mdlexport found through the preferences")
    finally:
        os.environ["PATH"] = path
        preferences.mdlexport_path = ""
    os.remove(target)
    print("refusals: no mesh, changing triangles, mdlexport's own, strict, no mdlexport")


def case_glb_file(args):
    """The add-on's .glb and PNG writers, read back by Blender's own glTF importer."""
    from io_scene_quake_mdl import glb, png
    empty_scene()
    folder = os.path.join(args.work, "glb")
    os.makedirs(folder)
    path = os.path.join(folder, "frames.glb")
    # One triangle in three frames (glTF axes), a 2x1 image: red, then blue.
    frames = np.array([[[0, 0, 0], [1, 0, 0], [0, 1, 0]],
                       [[0, 0, 0], [1, 0, 0], [0, 2, 0]],
                       [[0, 0, 1], [1, 0, 0], [0, 1, 0]]], dtype=np.float32)
    uvs = np.array([[0, 0], [1, 0], [0, 1]], dtype=np.float32)
    indices = np.array([0, 1, 2], dtype=np.uint32)
    picture = png.encode_rgba(np.array([[[255, 0, 0, 255], [0, 0, 255, 255]]], dtype=np.uint8))
    glb.write_glb(path, [glb.Part("flap", frames, uvs, indices, 0)],
                  [glb.Material("paint", (1.0, 1.0, 1.0, 1.0), picture)],
                  [glb.Clip("open", 0, 2), glb.Clip("lift", 2, 1)], "test")
    bpy.ops.import_scene.gltf(filepath=path, import_shading="FLAT")
    flap = bpy.data.objects["flap"]
    keys = flap.data.shape_keys.key_blocks
    check(len(keys) == 4, "a basis and one shape key a frame: %d" % len(keys))
    for k in range(3):
        got = np.array([tuple(point.co) for point in keys[k + 1].data])
        # glTF (x, y, z) is Blender (x, -z, y).
        want = np.stack([frames[k][:, 0], -frames[k][:, 2], frames[k][:, 1]], axis=1)
        check(np.abs(got - want).max() < 1e-6, "frame %d as its shape key" % k)
    actions = sorted(action.name for action in bpy.data.actions)
    check(any(name.startswith("open") for name in actions)
          and any(name.startswith("lift") for name in actions),
          "one action a clip: %s" % actions)
    image = next(i for i in bpy.data.images if i.size[0] == 2)
    pixels = np.empty(8, dtype=np.float32)
    image.pixels.foreach_get(pixels)
    check(np.allclose(pixels, [1, 0, 0, 1, 0, 0, 1, 1], atol=0.01),
          "the embedded PNG's pixels: %s" % pixels)
    print("glb file: three frames as shape keys, two clips, the image")


CASES = {
    "glb-file": case_glb_file,
    "every-action": case_every_action,
    "frames-and-size": case_frames_and_size,
    "refusals": case_refusals,
}


def install(args):
    scripts = bpy.utils.user_resource("SCRIPTS")
    check(scripts.startswith(args.work), "a fresh user scripts folder: %s" % scripts)
    bpy.ops.preferences.addon_install(filepath=args.addon_zip)
    enable_addon()
    installed = os.path.join(scripts, "addons", "io_scene_quake_mdl", "__init__.py")
    check(os.path.exists(installed), "the zip installed the add-on in %s" % installed)
    check(hasattr(bpy.types, "EXPORT_SCENE_OT_quake_mdl"), "the operator is registered")
    import io_scene_quake_mdl
    check(os.path.abspath(io_scene_quake_mdl.__file__) == installed,
          "the installed add-on runs, not a copy from elsewhere")
    check(export_menu_entries(), "File > Export lists Quake MDL")


def export_menu_entries():
    return [f for f in bpy.types.TOPBAR_MT_file_export._dyn_ui_initialize()
            if getattr(f, "__module__", "").startswith("io_scene_quake_mdl")]


def main():
    args = options()
    os.environ["PATH"] = args.tools + os.pathsep + os.environ.get("PATH", "")
    try:
        install(args)
        for name in args.case or list(CASES):
            CASES[name](args)
        bpy.ops.preferences.addon_disable(module="io_scene_quake_mdl")
        check(not hasattr(bpy.types, "EXPORT_SCENE_OT_quake_mdl"),
              "disabling the add-on removes the operator")
        check(not export_menu_entries(), "disabling the add-on removes its menu entry")
        check(not hasattr(bpy.types, "QUAKE_MDL_PT_include"),
              "disabling the add-on removes its panels")
    except Failure as failure:
        print("blender_test: FAILED: %s" % failure)
        sys.stdout.flush()
        os._exit(1)
    print("blender_test: all passed")
    sys.stdout.flush()
    os._exit(0)


main()
