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


class _Part:
    """The triangles of one object that share one material.

    vertices: the object's vertex of each glTF vertex (one a vertex and
    texture coordinate). merged: (first, inverse) sharing the glTF vertices
    that are equal in every frame so far, or None.
    """

    def __init__(self, material, vertices, uvs, indices):
        self.material = material
        self.vertices = vertices
        self.uvs = uvs
        self.indices = indices
        self.merged = None
        self.representatives = None

    def first_positions(self, co):
        """Finds the glTF vertices equal in the first frame, bit for bit."""
        keys = np.empty((self.vertices.shape[0], 5), dtype=np.uint32)
        keys[:, :3] = co.view(np.uint32)[self.vertices]
        keys[:, 3:] = self.uvs.view(np.uint32)
        rows = keys.view(np.dtype((np.void, 20))).reshape(-1)
        _values, first, inverse = np.unique(rows, return_index=True, return_inverse=True)
        if first.shape[0] < self.vertices.shape[0]:
            self.merged = first, inverse.reshape(-1)
            self.representatives = self.vertices[first[inverse.reshape(-1)]]

    def later_positions(self, co):
        """Gives up sharing when a later frame parts vertices that were equal."""
        if self.merged is not None:
            # Each vertex's 12 bytes as one item: np.take moves them fastest.
            rows = co.view(np.dtype((np.void, 12))).reshape(-1)
            if not np.array_equal(np.take(rows, self.representatives).view(np.uint32),
                                  np.take(rows, self.vertices).view(np.uint32)):
                self.merged = None
                self.representatives = None


class _ObjectFrames:
    """One object's triangles (fixed at its first frame) and its positions per frame.

    Vertices equal in every frame and in their texture coordinate are made
    one: Blender's meshes often keep a vertex per face corner (imported
    files do), and sharing them keeps the file small and the exporter's
    reading short. The exporter works triangle by triangle, so the model
    does not change.
    """

    def __init__(self, ob, frame_count, to_gltf):
        self.ob = ob
        self.parts = []
        # (frame, vertex, xyz) in the object's space, and each frame's
        # object-to-world matrix.
        self.frame_count = frame_count
        self.positions = None
        self.matrices = np.empty((frame_count, 4, 4), dtype=np.float64)
        self.done = 0
        self.to_gltf = to_gltf
        self.vertex_count = 0
        self.triangle_count = 0
        self.mirrored = False
        # The faces of the first frame: their sizes and their corners' vertices.
        self.face_sizes = None
        self.corner_vertices = None
        self.scratch = None

    @property
    def sampled(self):
        return self.positions is not None

    def first_frame(self, ob_eval, mesh):
        count = len(mesh.loop_triangles)
        self.vertex_count = len(mesh.vertices)
        self.triangle_count = count
        # Blender stores these indices unsigned; a matching array lets
        # foreach_get copy them in one go rather than item by item.
        tri_vertices = np.empty(count * 3, dtype=np.uint32)
        mesh.loop_triangles.foreach_get("vertices", tri_vertices)
        loops = np.empty(count * 3, dtype=np.uint32)
        mesh.loop_triangles.foreach_get("loops", loops)
        slots = np.empty(count, dtype=np.int32)
        mesh.loop_triangles.foreach_get("material_index", slots)
        self.face_sizes = np.empty(len(mesh.polygons), dtype=np.uint32)
        mesh.polygons.foreach_get("loop_total", self.face_sizes)
        self.corner_vertices = np.empty(len(mesh.loops), dtype=np.uint32)
        mesh.loops.foreach_get("vertex_index", self.corner_vertices)
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
            vertices = tri_vertices[corners]
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
            self.parts.append(_Part(material, unique[:, 0].copy(), uvs[first],
                                    inverse.reshape(-1).astype(np.uint32)))
        self.mirrored = np.linalg.det(np.array(ob_eval.matrix_world)[:3, :3]) < 0.0
        self.positions = np.empty((self.frame_count, self.vertex_count, 3), dtype=np.float32)

    def same_faces(self, mesh):
        """True when mesh has the first frame's vertices and faces, corner by corner.

        The first frame's triangles then serve every frame: Blender may split
        a face of more than four corners differently as it deforms, the model
        keeps one split.
        """
        if (len(mesh.vertices) != self.vertex_count
                or len(mesh.polygons) != self.face_sizes.shape[0]
                or len(mesh.loops) != self.corner_vertices.shape[0]):
            return False
        if self.scratch is None:
            self.scratch = np.empty(max(len(mesh.loops), len(mesh.polygons)), dtype=np.uint32)
        sizes = self.scratch[:len(mesh.polygons)]
        mesh.polygons.foreach_get("loop_total", sizes)
        if not np.array_equal(sizes, self.face_sizes):
            return False
        corners = self.scratch[:len(mesh.loops)]
        mesh.loops.foreach_get("vertex_index", corners)
        return np.array_equal(corners, self.corner_vertices)

    def add_frame(self, ob_eval, mesh):
        co = self.positions[self.done]
        mesh.vertices.foreach_get("co", co.reshape(-1))
        self.matrices[self.done] = np.array(ob_eval.matrix_world, dtype=np.float64)
        for part in self.parts:
            if self.done == 0:
                part.first_positions(co)
            else:
                part.later_positions(co)
        self.done += 1

    def part_frames(self, part):
        """(frames, vertices, 3) world positions of a part, in glTF's axes and metres."""
        vertices = part.vertices if part.merged is None else part.vertices[part.merged[0]]
        local = self.positions[:, vertices]
        matrices = (self.to_gltf @ self.matrices).astype(np.float32)
        if np.all(matrices == matrices[0]):
            return local @ matrices[0, :3, :3].T + matrices[0, :3, 3]
        return (np.matmul(local, matrices[:, :3, :3].transpose(0, 2, 1))
                + matrices[:, None, :3, 3])


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
                    if not first_frame and not record.sampled:
                        continue
                    ob_eval = ob.evaluated_get(depsgraph)
                    mesh = ob_eval.to_mesh()
                    try:
                        if first_frame:
                            mesh.calc_loop_triangles()
                            if len(mesh.loop_triangles) == 0:
                                continue
                            record.first_frame(ob_eval, mesh)
                        elif not record.same_faces(mesh):
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
    return sampled, [r for r in frames.values() if r.sampled]


def _material(material, materials, material_index, images, warnings):
    """The index of material in materials, entered on its first use."""
    if material.name not in material_index:
        color, image = material_base(material)
        data = None
        if image is not None:
            if image.name not in images:
                images[image.name] = image_png(image)
            data = images[image.name]
            if data is None:
                warnings.append("Image \"%s\" of material \"%s\" has no pixels; the material "
                                "is painted in its colour" % (image.name, material.name))
                color = tuple(material.diffuse_color)
        material_index[material.name] = len(materials)
        materials.append(glb.Material(material.name, color, data))
    return material_index[material.name]


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
        for part in record.parts:
            index = None
            if part.material is not None:
                index = _material(part.material, materials, material_index, images, warnings)
            uvs, indices = part.uvs, part.indices
            if part.merged is not None:
                first, inverse = part.merged
                uvs, indices = uvs[first], inverse.astype(np.uint32)[indices]
            if record.mirrored:
                # A mirroring transform turns the faces inside out; so does
                # reversing their corners, which turns them back.
                indices = indices.reshape(-1, 3)[:, ::-1].reshape(-1)
            name = record.ob.name
            if len(record.parts) > 1:
                name = "%s.%s" % (name, part.material.name if part.material else "none")
            parts.append(glb.Part(name, np.ascontiguousarray(record.part_frames(part)),
                                  np.ascontiguousarray(uvs),
                                  np.ascontiguousarray(indices, dtype=np.uint32), index))
    return parts, materials
