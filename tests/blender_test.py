"""The Blender add-on in the real Blender: File > Export and File > Import > Quake MDL.

Run by CTest in Blender, headless:

    blender -b --factory-startup --python tests/blender_test.py -- \\
        --addon-zip ZIP --tools BIN_DIR --work DIR [--case NAME]

The add-on is installed from its zip into a fresh user scripts folder (the
caller points BLENDER_USER_SCRIPTS and BLENDER_USER_CONFIG at empty
folders) and enabled, as a user would, with the tools' folder on PATH. Each
case builds its scene here, exports it through the operator and reads the
model back with the reader below, which knows nothing of the add-on. Every
expected position comes from the scene as this script walks it, frame by
frame; an imported model's, from the MDL as the reader reads it or as the
writer below made it by hand. Exits 1 at the first failed check, naming it.
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


def check_matched(got, expected, step, what):
    """Every got vertex within two steps of one expected vertex in every frame, and back.

    got: (frames, vertices, 3), expected: (frames, other vertices, 3), step
    the packing step per axis. Returns the worst distance in steps.
    """
    check(got.shape[0] == expected.shape[0],
          "%s: %d frames, %d expected" % (what, got.shape[0], expected.shape[0]))
    steps = np.abs(got[:, :, None, :] - expected[:, None, :, :]) / step
    worst = steps.max(axis=(0, 3))  # (got vertices, expected vertices)
    error = worst.min(axis=1)
    check(error.max() <= 2.0, "%s: a vertex is %.2f packing steps from the expected ones"
          % (what, error.max()))
    unmatched = np.count_nonzero(worst.min(axis=0) > 2.0)
    check(not unmatched, "%s: %d expected vertices have no vertex within two steps"
          % (what, unmatched))
    return error.max()


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
    check_import_back(target, args)


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

def import_mdl(path, **settings):
    """The import operator's result; a refused import raises RuntimeError."""
    return bpy.ops.import_scene.quake_mdl(filepath=path, **settings)


def blender_axes(quake, unit):
    """Quake's (x, y, z), front +X, as Blender's, front -Y: (y, -x, z), times unit."""
    quake = np.asarray(quake, dtype=np.float64)
    return np.stack([quake[..., 1], -quake[..., 0], quake[..., 2]], axis=-1) * unit


def imported_model():
    """The one object the import made, its shape keys' world positions and names."""
    objects = list(bpy.data.objects)
    check(len(objects) == 1 and objects[0].type == "MESH",
          "the import made one mesh object: %s" % [o.name for o in objects])
    ob = objects[0]
    check(ob.data.shape_keys is not None, "the imported mesh has shape keys")
    keys = ob.data.shape_keys.key_blocks
    world = np.array(ob.matrix_world)
    frames = []
    for key in keys[1:]:
        local = np.array([tuple(point.co) + (1.0,) for point in key.data])
        frames.append((local @ world.T)[:, :3])
    return ob, [key.name for key in keys[1:]], np.stack(frames)


def skin_image(ob):
    """The image feeding the Base Color of the object's one material, as RGB rows top first."""
    check(len(ob.data.materials) == 1, "one material: %d" % len(ob.data.materials))
    material = ob.data.materials[0]
    check(material.use_nodes, "the material has nodes")
    base = next(n for n in material.node_tree.nodes if n.type == "BSDF_PRINCIPLED")
    links = base.inputs["Base Color"].links
    check(links, "the material's Base Color comes from a texture")
    node = links[0].from_node
    while node.type != "TEX_IMAGE" and node.inputs and node.inputs[0].links:
        node = node.inputs[0].links[0].from_node
    check(node.type == "TEX_IMAGE" and node.image is not None,
          "an image texture feeds the Base Color: %s" % node.type)
    image = node.image
    check(image.packed_file is not None, "the skin is packed into the blend file")
    width, height = image.size
    pixels = np.empty(width * height * 4, dtype=np.float32)
    image.pixels.foreach_get(pixels)
    return pixels.reshape(height, width, 4)[::-1, :, :3]


def clip_frames(action, names):
    """The frames (shape key names) an action switches on, in key order."""
    shown = []
    for curve in action.fcurves:
        for point in curve.keyframe_points:
            if point.co[1] > 0.5:
                name = curve.data_path.split('"')[1]
                shown.append((point.co[0], name))
    check(all(name in names for _time, name in shown),
          "%s keys the model's shape keys: %s" % (action.name, shown))
    return [name for _time, name in sorted(shown)]


def check_import_back(target, args):
    """The model the add-on exported comes back through the import with every frame."""
    folder = os.path.dirname(target)
    files = files_in(folder)
    model = read_mdl(target)
    empty_scene()
    check(import_mdl(target) == {"FINISHED"}, "the import finished")
    check(files_in(folder) == files, "the import leaves no file beside the model: %s"
          % files_in(folder))
    check(not stray_temporary_files(), "no temporary file left: %s" % stray_temporary_files())
    ob, names, got = imported_model()
    check(names == model["names"], "one shape key a frame, in order: %s" % names)
    expected = blender_axes(np.stack(model["positions"]), 0.0254)
    worst = check_matched(got, expected, np.abs(blender_axes(model["scale"], 0.0254)),
                          "the imported frames")
    skin = skin_image(ob)
    check(skin.shape[:2] == (model["skinheight"], model["skinwidth"]),
          "the material's image is the skin's size: %s" % (skin.shape,))
    check(np.allclose(skin, skin_colours(target, args.tools, args.work), atol=0.01),
          "the material's image is the skin's picture")
    actions = [action.name for action in bpy.data.actions]
    check(len(actions) == 1 and actions[0].startswith(model["names"][0].rstrip("0123456789")),
          "one clip, one action named after it: %s" % actions)
    print("import back: %d frames, worst vertex %.2f packing steps" % (len(names), worst))


# The hand-made model: 4 vertices (the third on the seam), 2 triangles (the
# second facing back), an 8x8 skin (palette 15, a light grey, above palette
# 0, black), and frames in two named clips.
HAND_SCALE = (0.5, 0.25, 1.0)
HAND_ORIGIN = (-8.0, 4.0, -2.0)
HAND_FRAMES = ("stand1", "stand2", "stand3", "run1", "run2")


def hand_packed(frame):
    return [(10 * v + frame, 20 + 3 * frame + v, 5 * v + 2 * frame) for v in range(4)]


def hand_made_mdl(path):
    skin = bytes([15] * 32 + [0] * 32)
    st = [(0, 0, 0), (0, 6, 0), (0x20, 2, 6), (0, 5, 7)]
    triangles = [(1, 0, 1, 2), (0, 1, 2, 3)]
    data = b"IDPO" + struct.pack("<i3f3ff3f8if", 6, *HAND_SCALE, *HAND_ORIGIN, 40.0,
                                 0.0, 0.0, 0.0, 1, 8, 8, 4, 2, len(HAND_FRAMES), 0, 0, 1.0)
    data += struct.pack("<i", 0) + skin
    data += b"".join(struct.pack("<3i", *v) for v in st)
    data += b"".join(struct.pack("<4i", *t) for t in triangles)
    for frame, name in enumerate(HAND_FRAMES):
        packed = hand_packed(frame)
        low = [min(p[c] for p in packed) for c in range(3)]
        high = [max(p[c] for p in packed) for c in range(3)]
        data += struct.pack("<i", 0) + bytes(low + [0]) + bytes(high + [0])
        data += name.encode("ascii").ljust(16, b"\0")
        data += b"".join(bytes(p + (0,)) for p in packed)
    with open(path, "wb") as f:
        f.write(data)
    return data


def hand_positions(unit):
    quake = np.array([[np.array(HAND_ORIGIN) + np.array(p) * HAND_SCALE
                       for p in hand_packed(f)] for f in range(len(HAND_FRAMES))])
    return blender_axes(quake, unit)


def expect_import_refusal(path, words):
    before = {name: len(getattr(bpy.data, name)) for name in ("objects", "meshes", "actions",
                                                              "materials", "images")}
    try:
        import_mdl(path)
    except RuntimeError as error:
        message = str(error)
    else:
        raise Failure("the import of %s was refused" % path)
    for word in words:
        check(word in message, "the error says %r: %s" % (word, message))
    after = {name: len(getattr(bpy.data, name)) for name in before}
    check(after == before, "the refused import added nothing: %s, %s" % (before, after))
    check(not stray_temporary_files(), "no temporary file left: %s" % stray_temporary_files())


def case_import_clips(args):
    """A hand-made model with named clips; its size in Quake units; a damaged file."""
    context = bpy.context
    folder = os.path.join(args.work, "import-clips")
    os.makedirs(folder)
    path = os.path.join(folder, "soldier.mdl")
    data = hand_made_mdl(path)
    empty_scene()
    check(import_mdl(path) == {"FINISHED"}, "the hand-made model imported")
    ob, names, got = imported_model()
    check(names == list(HAND_FRAMES), "one shape key a frame: %s" % names)
    # The seam vertex twice, once half the skin further right for the back face.
    uv = ob.data.uv_layers.active.data
    check(len(ob.data.vertices) == 5, "4 vertices and one seam copy: %d" % len(ob.data.vertices))
    # Skin pixel (s, t) is drawn at the middle of the pixel; Blender's v runs upwards.
    corners = sorted({(round(uv[loop.index].uv[0] * 8 - 0.5, 3),
                       round((1 - uv[loop.index].uv[1]) * 8 - 0.5, 3)) for loop in ob.data.loops})
    check(corners == [(0, 0), (2, 6), (5, 7), (6, 0), (6, 6)],
          "the skin coordinates, the seam vertex's back copy at s = 2 + 4: %s" % corners)
    # Exact values, well inside a packing step.
    check_matched(got, hand_positions(0.0254), np.full(3, 0.001 * 0.0254), "in metres")
    skin = skin_image(ob)
    check(np.allclose(skin[:4], 235 / 255, atol=0.01) and np.allclose(skin[4:], 0, atol=0.01),
          "the skin's grey above its black through the palette")
    actions = sorted(bpy.data.actions, key=lambda action: action.name)
    check(len(actions) == 2, "one action a clip: %s" % [a.name for a in actions])
    run, stand = actions
    check(run.name.startswith("run") and stand.name.startswith("stand"),
          "the actions named after the clips: %s, %s" % (run.name, stand.name))
    check(clip_frames(stand, names) == ["stand1", "stand2", "stand3"],
          "stand shows its frames in turn: %s" % clip_frames(stand, names))
    check(clip_frames(run, names) == ["run1", "run2"],
          "run shows its frames in turn: %s" % clip_frames(run, names))

    empty_scene()
    check(import_mdl(path, size="QUAKE") == {"FINISHED"}, "imported in Quake units")
    _ob, _names, got = imported_model()
    check_matched(got, hand_positions(1.0), np.full(3, 0.001), "in Quake units")

    # A fault the check calls an error but the reader (as the engines) takes,
    # a skin vertex outside the skin, comes in, as the engines show it.
    flawed = os.path.join(folder, "flawed.mdl")
    with open(flawed, "wb") as f:
        s = 84 + 4 + 8 * 8 + 12 + 4  # vertex 1's s
        f.write(data[:s] + struct.pack("<i", 100) + data[s + 4:])
    empty_scene()
    check(import_mdl(flawed) == {"FINISHED"}, "a flawed but readable model imported")
    _ob, names, _got = imported_model()
    check(names == list(HAND_FRAMES), "the flawed model's frames: %s" % names)
    os.remove(flawed)

    # Blender's importer failing after it made the model: all of it taken back.
    from io_scene_quake_mdl import mdl_import

    class FailingImporter:
        @staticmethod
        def gltf(**settings):
            bpy.ops.import_scene.gltf(**settings)
            raise RuntimeError("Error: stopped by the test")

    class StoppedBlender:
        data = bpy.data
        ops = type("ops", (), {"import_scene": FailingImporter})

    empty_scene()
    bpy.ops.mesh.primitive_cube_add()
    mdl_import.bpy = StoppedBlender
    try:
        expect_import_refusal(path, ["glTF importer failed", "stopped by the test"])
    finally:
        mdl_import.bpy = bpy
    check([o.name for o in bpy.data.objects] == ["Cube"], "the user's cube is still there")

    # Damaged: the file ends inside its frames.
    empty_scene()
    bpy.ops.mesh.primitive_cube_add()
    broken = os.path.join(folder, "broken.mdl")
    with open(broken, "wb") as f:
        f.write(data[:len(data) - 30])
    expect_import_refusal(broken, ["broken.mdl"])
    check(files_in(folder) == ["broken.mdl", "soldier.mdl"],
          "nothing left beside the models: %s" % files_in(folder))

    # No mdlinfo anywhere, then mdlinfo beside the mdlexport set in the preferences.
    path_variable = os.environ["PATH"]
    os.environ["PATH"] = ""
    try:
        expect_import_refusal(path, ["mdlinfo not found", "Preferences"])
    finally:
        os.environ["PATH"] = path_variable
    preferences = context.preferences.addons["io_scene_quake_mdl"].preferences
    preferences.mdlexport_path = os.path.join(args.tools, "mdlexport")
    os.environ["PATH"] = ""
    try:
        check(import_mdl(path) == {"FINISHED"}, "mdlinfo found beside the preferences' mdlexport")
    finally:
        os.environ["PATH"] = path_variable
        preferences.mdlexport_path = ""
    print("import clips: five frames, two actions, Quake units, damaged, no mdlinfo")


CASES = {
    "glb-file": case_glb_file,
    "every-action": case_every_action,
    "frames-and-size": case_frames_and_size,
    "refusals": case_refusals,
    "import-clips": case_import_clips,
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
    check(hasattr(bpy.types, "IMPORT_SCENE_OT_quake_mdl"), "the import operator is registered")
    check(len(menu_entries(bpy.types.TOPBAR_MT_file_export)) == 1,
          "File > Export lists Quake MDL")
    check(len(menu_entries(bpy.types.TOPBAR_MT_file_import)) == 1,
          "File > Import lists Quake MDL")


def menu_entries(menu):
    return [f for f in menu._dyn_ui_initialize()
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
        check(not hasattr(bpy.types, "IMPORT_SCENE_OT_quake_mdl"),
              "disabling the add-on removes the import operator")
        check(not menu_entries(bpy.types.TOPBAR_MT_file_export)
              and not menu_entries(bpy.types.TOPBAR_MT_file_import),
              "disabling the add-on removes its menu entries")
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
