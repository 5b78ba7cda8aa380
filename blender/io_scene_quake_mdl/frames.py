"""Blender's scene, frame by frame, as the parts, materials and clips of a .glb.

Each sampled frame is the evaluated scene (modifiers, armatures, shape keys,
constraints, drivers) in world space, triangulated as Blender triangulates
it for display. Positions go into glTF's axes (Y up, Blender's -Y front
becoming +Z) and into metres, as Blender's own glTF export writes them, so
that the exporter treats them exactly as it treats such files.
"""

import numpy as np

from . import glb
from . import png


class ExportError(Exception):
    """A reason to stop the export, worded for the user."""


class Clip:
    """Frames first..last of the timeline, with the actions to assign first.

    assignments: (animation data, action) pairs put in place for this clip.
    """

    def __init__(self, name, first, last, assignments=()):
        self.name = name
        self.first = first
        self.last = last
        self.assignments = list(assignments)

    @property
    def count(self):
        return self.last - self.first + 1


# Object types whose evaluated form Blender converts to a mesh.
_MESH_TYPES = {"MESH", "CURVE", "SURFACE", "META", "FONT"}


def exported_objects(context, selected_only):
    """The visible objects that have a mesh, the selected ones alone if asked."""
    objects = []
    for ob in context.view_layer.objects:
        if ob.type not in _MESH_TYPES or not ob.visible_get():
            continue
        if selected_only and not ob.select_get():
            continue
        objects.append(ob)
    return objects


def _armatures(ob):
    found = []
    if ob.parent is not None and ob.parent.type == "ARMATURE":
        found.append(ob.parent)
    for modifier in ob.modifiers:
        if modifier.type == "ARMATURE" and modifier.object is not None:
            found.append(modifier.object)
    return found


def _animated_ids(objects):
    """The objects, their armatures and their shape keys, each once, in order."""
    ids = []
    for ob in objects:
        candidates = [ob] + _armatures(ob)
        keys = getattr(ob.data, "shape_keys", None)
        if keys is not None:
            candidates.append(keys)
        for candidate in candidates:
            if candidate not in ids:
                ids.append(candidate)
    return ids


def _action_range(action):
    start, end = action.frame_range
    first = int(round(start))
    return first, max(first, int(round(end)))


def plan_clips(context, objects, animation, default_name):
    """The clips to sample for the animation choice: SCENE, ACTIVE or ACTIONS."""
    scene = context.scene
    if animation == "SCENE":
        return [Clip(default_name, scene.frame_start, max(scene.frame_start, scene.frame_end))]

    ids = _animated_ids(objects)
    if animation == "ACTIVE":
        active = context.view_layer.objects.active
        order = ids
        if active is not None and active in objects:
            order = _animated_ids([active]) + ids
        for owner in order:
            data = owner.animation_data
            if data is not None and data.action is not None:
                first, last = _action_range(data.action)
                return [Clip(data.action.name, first, last)]
        raise ExportError("No active action: none of the exported objects, their armatures "
                          "or their shape keys has an action assigned")

    # Every action of the objects: the ones in their NLA tracks and the ones
    # assigned, each played alone on the data that holds it.
    owners = {}
    order = []
    for owner in ids:
        data = owner.animation_data
        if data is None:
            continue
        actions = [strip.action for track in data.nla_tracks for strip in track.strips
                   if strip.action is not None]
        if data.action is not None:
            actions.append(data.action)
        for action in actions:
            if action not in owners:
                owners[action] = []
                order.append(action)
            if data not in owners[action]:
                owners[action].append(data)
    if not order:
        raise ExportError("No actions: none of the exported objects, their armatures or "
                          "their shape keys has an action, in its NLA tracks or assigned")
    clips = []
    for action in order:
        first, last = _action_range(action)
        clips.append(Clip(action.name, first, last, [(d, action) for d in owners[action]]))
    return clips


class _AnimationState:
    """What the clips' assignments change, to put back afterwards."""

    def __init__(self, clips):
        self.saved = []
        for clip in clips:
            for data, _action in clip.assignments:
                if data.use_tweak_mode:
                    raise ExportError("An NLA strip is being edited (tweak mode): leave it "
                                      "before exporting every action")
                if all(data != saved[0] for saved in self.saved):
                    self.saved.append((data, data.action, data.use_nla))

    def apply(self, clip):
        # Each action alone on its data; the other data as the user had them.
        self.restore()
        for data, action in clip.assignments:
            data.action = action
            data.use_nla = False

    def restore(self):
        for data, action, use_nla in self.saved:
            data.action = action
            data.use_nla = use_nla


def _srgb(linear):
    linear = np.clip(linear, 0.0, 1.0)
    return np.where(linear <= 0.0031308, linear * 12.92,
                    1.055 * np.power(linear, 1.0 / 2.4) - 0.055)


def image_png(image):
    """The image as PNG bytes, read through Blender, or None when it has no pixels."""
    width, height = image.size
    if width <= 0 or height <= 0:
        return None
    pixels = np.empty(width * height * 4, dtype=np.float32)
    image.pixels.foreach_get(pixels)
    pixels = pixels.reshape(height, width, 4)
    if image.is_float and image.colorspace_settings.name not in ("Non-Color", "Raw"):
        # Float images hold linear values; PNG pixels are sRGB.
        pixels[..., :3] = _srgb(pixels[..., :3])
    pixels = np.round(np.clip(pixels, 0.0, 1.0) * 255.0).astype(np.uint8)
    # Blender's rows run bottom to top, PNG's top to bottom.
    return png.encode_rgba(pixels[::-1])


def _upstream_image(socket):
    """The first image texture feeding socket, through any nodes between."""
    seen = set()
    pending = [link.from_node for link in socket.links]
    while pending:
        node = pending.pop(0)
        if node.as_pointer() in seen:
            continue
        seen.add(node.as_pointer())
        if node.type == "TEX_IMAGE" and node.image is not None:
            return node.image
        for entry in node.inputs:
            pending.extend(link.from_node for link in entry.links)
    return None


def material_base(material):
    """(linear RGBA colour, image or None) of a material's base colour."""
    color = tuple(material.diffuse_color)
    if not material.use_nodes or material.node_tree is None:
        return color, None
    outputs = [n for n in material.node_tree.nodes if n.type == "OUTPUT_MATERIAL"]
    active = [n for n in outputs if n.is_active_output] or outputs
    if not active or not active[0].inputs["Surface"].is_linked:
        return color, None
    shader = active[0].inputs["Surface"].links[0].from_node
    socket = shader.inputs.get("Base Color") or shader.inputs.get("Color")
    if socket is None:
        return color, None
    if socket.is_linked:
        image = _upstream_image(socket)
        if image is not None:
            return (1.0, 1.0, 1.0, 1.0), image
        return color, None
    return tuple(socket.default_value), None


class _ObjectFrames:
    """One object's triangles (fixed at its first frame) and its positions per frame."""

    def __init__(self, ob, frame_count, to_gltf):
        self.ob = ob
        self.parts = []  # (material, unique vertex indices, uvs, indices)
        # (frame, vertex, xyz) in glTF's axes and metres, filled frame by frame.
        self.frame_count = frame_count
        self.positions = None
        self.done = 0
        self.to_gltf = to_gltf
        self.tri_vertices = None
        self.vertex_count = 0
        self.mirrored = False
        self.scratch = None

    def first_frame(self, ob_eval, mesh):
        count = len(mesh.loop_triangles)
        self.vertex_count = len(mesh.vertices)
        # Blender stores these indices unsigned; a matching array lets
        # foreach_get copy them in one go rather than item by item.
        self.tri_vertices = np.empty(count * 3, dtype=np.uint32)
        mesh.loop_triangles.foreach_get("vertices", self.tri_vertices)
        loops = np.empty(count * 3, dtype=np.uint32)
        mesh.loop_triangles.foreach_get("loops", loops)
        slots = np.empty(count, dtype=np.int32)
        mesh.loop_triangles.foreach_get("material_index", slots)
        uv_layer = mesh.uv_layers.active
        if uv_layer is not None:
            loop_uvs = np.empty(len(mesh.loops) * 2, dtype=np.float32)
            uv_layer.data.foreach_get("uv", loop_uvs)
            corner_uvs = loop_uvs.reshape(-1, 2)[loops]
        else:
            corner_uvs = np.zeros((count * 3, 2), dtype=np.float32)
        # glTF's v runs down the image, Blender's up.
        corner_uvs[:, 1] = 1.0 - corner_uvs[:, 1]
        slot_count = len(ob_eval.material_slots)
        if slot_count:
            slots = np.clip(slots, 0, slot_count - 1)
        for slot in np.unique(slots):
            corners = np.repeat(slots == slot, 3)
            vertices = self.tri_vertices[corners]
            uvs = corner_uvs[corners]
            # A glTF vertex is one mesh vertex with one texture coordinate.
            keys = np.empty((vertices.shape[0], 3), dtype=np.uint32)
            keys[:, 0] = vertices
            keys[:, 1:] = uvs.view(np.uint32)
            unique, first, inverse = np.unique(keys, axis=0, return_index=True,
                                               return_inverse=True)
            material = None
            if slot_count:
                material = ob_eval.material_slots[int(slot)].material
            self.parts.append((material, unique[:, 0].copy(), uvs[first],
                               inverse.reshape(-1).astype(np.uint32)))
        self.mirrored = np.linalg.det(np.array(ob_eval.matrix_world)[:3, :3]) < 0.0
        self.positions = np.empty((self.frame_count, self.vertex_count, 3), dtype=np.float32)

    def same_triangles(self, mesh):
        count = len(mesh.loop_triangles)
        if len(mesh.vertices) != self.vertex_count or count * 3 != self.tri_vertices.shape[0]:
            return False
        if self.scratch is None:
            self.scratch = np.empty(count * 3, dtype=np.uint32)
        mesh.loop_triangles.foreach_get("vertices", self.scratch)
        return np.array_equal(self.scratch, self.tri_vertices)

    def add_frame(self, ob_eval, mesh):
        co = np.empty((len(mesh.vertices), 3), dtype=np.float32)
        mesh.vertices.foreach_get("co", co.reshape(-1))
        # World space and glTF's axes in one step.
        matrix = (self.to_gltf @ np.array(ob_eval.matrix_world, dtype=np.float64))
        matrix = matrix.astype(np.float32)
        out = self.positions[self.done]
        # Column by column: a 3x3 product is no work for BLAS's threads.
        np.multiply(co[:, 0:1], matrix[:3, 0], out=out)
        out += co[:, 1:2] * matrix[:3, 1]
        out += co[:, 2:3] * matrix[:3, 2]
        out += matrix[:3, 3]
        self.done += 1


def sample(context, objects, clips, frame_limit, unit_scale, progress):
    """Evaluates the clips' frames, at most frame_limit of them in all.

    unit_scale: metres per Blender unit.

    Returns the clips as sampled and the objects' _ObjectFrames (those with
    triangles). The caller restores the current frame. progress(i) is called
    after each frame.
    """
    scene = context.scene
    state = _AnimationState(clips)
    sampled = []
    frame_count = 0
    for clip in clips:
        frame_count += min(clip.count, frame_limit - frame_count)
    # Blender's (x, y, z) is glTF's (x, z, -y).
    to_gltf = np.array([[unit_scale, 0, 0, 0], [0, 0, unit_scale, 0],
                        [0, -unit_scale, 0, 0], [0, 0, 0, 1]], dtype=np.float64)
    frames = {ob.name: _ObjectFrames(ob, frame_count, to_gltf) for ob in objects}
    first_frame = True
    done = 0
    try:
        for clip in clips:
            if done >= frame_limit:
                break
            count = min(clip.count, frame_limit - done)
            sampled.append(glb.Clip(clip.name, done, count))
            state.apply(clip)
            for frame in range(clip.first, clip.first + count):
                scene.frame_set(frame)
                depsgraph = context.evaluated_depsgraph_get()
                for ob in objects:
                    record = frames[ob.name]
                    if not first_frame and record.tri_vertices is None:
                        continue
                    ob_eval = ob.evaluated_get(depsgraph)
                    mesh = ob_eval.to_mesh()
                    try:
                        mesh.calc_loop_triangles()
                        if first_frame:
                            if len(mesh.loop_triangles) == 0:
                                continue
                            record.first_frame(ob_eval, mesh)
                        elif not record.same_triangles(mesh):
                            raise ExportError(
                                "Object \"%s\" changes its triangles at frame %d: an MDL model "
                                "keeps the same triangles in every frame" % (ob.name, frame))
                        record.add_frame(ob_eval, mesh)
                    finally:
                        ob_eval.to_mesh_clear()
                first_frame = False
                done += 1
                progress(done)
    finally:
        state.restore()
    return sampled, [r for r in frames.values() if r.tri_vertices is not None]


def _merge_identical(positions, uvs, indices):
    """Vertices equal in every frame and in their texture coordinate made one.

    Blender's meshes often keep a vertex per face corner (imported files do);
    sharing them keeps the file small and the exporter's reading short. The
    exporter works triangle by triangle, so the model does not change.
    Vertices are grouped by their first frame, and the grouping is kept only
    when every member equals its group's first bit for bit in every frame.
    """
    count = positions.shape[1]
    if count == 0:
        return positions, uvs, indices
    keys = np.empty((count, 5), dtype=np.float32)
    keys[:, :3] = positions[0]
    keys[:, 3:] = uvs
    rows = np.ascontiguousarray(keys.view(np.uint32)).view(np.dtype((np.void, 20))).reshape(-1)
    _values, first, inverse = np.unique(rows, return_index=True, return_inverse=True)
    if first.shape[0] == count:
        return positions, uvs, indices
    chosen = first[inverse]
    if not np.array_equal(positions.view(np.uint32)[:, chosen], positions.view(np.uint32)):
        return positions, uvs, indices
    return (np.ascontiguousarray(positions[:, first]), uvs[first],
            inverse.astype(np.uint32)[indices])


def build_parts(records, warnings):
    """The .glb's parts and materials from the sampled objects.

    Materials are shared by the parts that use them; an image that cannot be
    read leaves its material in its colour, with a warning.
    """
    materials = []
    material_index = {}
    images = {}
    parts = []
    for record in records:
        gltf = record.positions
        for material, vertices, uvs, indices in record.parts:
            index = None
            if material is not None:
                if material.name not in material_index:
                    color, image = material_base(material)
                    data = None
                    if image is not None:
                        if image.name not in images:
                            images[image.name] = image_png(image)
                        data = images[image.name]
                        if data is None:
                            warnings.append("Image \"%s\" of material \"%s\" has no pixels; the "
                                            "material is painted in its colour"
                                            % (image.name, material.name))
                            color = tuple(material.diffuse_color)
                    material_index[material.name] = len(materials)
                    materials.append(glb.Material(material.name, color, data))
                index = material_index[material.name]
            if record.mirrored:
                indices = indices.reshape(-1, 3)[:, ::-1].reshape(-1)
            name = record.ob.name
            if len(record.parts) > 1:
                name = "%s.%s" % (name, material.name if material is not None else "none")
            merged = _merge_identical(gltf[:, vertices], uvs, indices)
            parts.append(glb.Part(name, merged[0], merged[1],
                                  np.ascontiguousarray(merged[2], dtype=np.uint32), index))
    return parts, materials
