"""A compact binary glTF file holding sampled frames as morph targets.

Every frame of every part is one morph target of that part's mesh, and each
clip is one animation whose keys, one a second, switch the frames' targets
on one after another. Frame k of the whole sequence is keyed at k seconds, so
a reader sampling once a second meets every key exactly and blends nothing.
Nothing here needs Blender: the frames arrive as numpy arrays.
"""

import json
import struct

import numpy as np

_FLOAT = 5126
_UNSIGNED_INT = 5125
_ARRAY_BUFFER = 34962
_ELEMENT_ARRAY_BUFFER = 34963
_TRIANGLES = 4


class Part:
    """One mesh of one material, in glTF's axes and in metres.

    frames: (frame count, vertex count, 3) float32 positions, frame 0 first.
    uvs: (vertex count, 2) float32 texture coordinates, v pointing down.
    indices: (triangle count * 3,) uint32 vertex indices, counter-clockwise.
    material: index into the materials, or None.
    """

    def __init__(self, name, frames, uvs, indices, material):
        self.name = name
        self.frames = frames
        self.uvs = uvs
        self.indices = indices
        self.material = material


class Material:
    """A base colour (linear RGBA, as glTF states it) and an optional PNG."""

    def __init__(self, name, color, png=None):
        self.name = name
        self.color = color
        self.png = png


class Clip:
    """A run of count frames starting at frame first of the sequence."""

    def __init__(self, name, first, count):
        self.name = name
        self.first = first
        self.count = count


class _Builder:
    def __init__(self):
        self.chunks = []
        self.size = 0
        self.views = []
        self.accessors = []

    def view(self, data, target=None):
        data = bytes(data)
        # Every view starts on a 4-byte boundary, as accessors need.
        padding = (-self.size) % 4
        if padding:
            self.chunks.append(b"\0" * padding)
            self.size += padding
        view = {"buffer": 0, "byteOffset": self.size, "byteLength": len(data)}
        if target is not None:
            view["target"] = target
        self.chunks.append(data)
        self.size += len(data)
        self.views.append(view)
        return len(self.views) - 1

    def accessor(self, array, kind, component, target=None, bounds=False):
        array = np.ascontiguousarray(array)
        count = array.shape[0]
        accessor = {"bufferView": self.view(array.tobytes(), target),
                    "componentType": component, "count": int(count), "type": kind}
        if bounds and count:
            flat = array.reshape(count, -1)
            accessor["min"] = [float(v) for v in flat.min(axis=0)]
            accessor["max"] = [float(v) for v in flat.max(axis=0)]
        self.accessors.append(accessor)
        return len(self.accessors) - 1


def write_glb(path, parts, materials, clips, generator):
    """Writes parts, materials and clips to path as one .glb file.

    All parts hold the same number of frames, the sum of the clips' counts.
    With a single frame the file holds plain meshes and no animation.
    """
    frame_count = parts[0].frames.shape[0] if parts else 0
    builder = _Builder()
    gltf = {"asset": {"version": "2.0", "generator": generator},
            "scene": 0, "scenes": [{"nodes": list(range(len(parts)))}],
            "nodes": [], "meshes": []}

    if materials:
        gltf["materials"] = []
        images = []
        for material in materials:
            pbr = {"baseColorFactor": [float(c) for c in material.color],
                   "metallicFactor": 0.0}
            if material.png is not None:
                pbr["baseColorTexture"] = {"index": len(images)}
                images.append(material.png)
            gltf["materials"].append({"name": material.name, "pbrMetallicRoughness": pbr})
        if images:
            gltf["images"] = [{"bufferView": builder.view(png), "mimeType": "image/png"}
                              for png in images]
            gltf["textures"] = [{"source": i} for i in range(len(images))]

    animated = frame_count > 1
    for part in parts:
        base = part.frames[0]
        primitive = {
            "attributes": {
                "POSITION": builder.accessor(base, "VEC3", _FLOAT, _ARRAY_BUFFER, True),
                "TEXCOORD_0": builder.accessor(part.uvs, "VEC2", _FLOAT, _ARRAY_BUFFER),
            },
            "indices": builder.accessor(part.indices, "SCALAR", _UNSIGNED_INT,
                                        _ELEMENT_ARRAY_BUFFER),
            "mode": _TRIANGLES,
        }
        if part.material is not None:
            primitive["material"] = part.material
        mesh = {"name": part.name, "primitives": [primitive]}
        if animated:
            deltas = part.frames - base
            primitive["targets"] = [
                {"POSITION": builder.accessor(deltas[k], "VEC3", _FLOAT, _ARRAY_BUFFER, True)}
                for k in range(frame_count)]
            mesh["weights"] = [0.0] * frame_count
        gltf["nodes"].append({"name": part.name, "mesh": len(gltf["meshes"])})
        gltf["meshes"].append(mesh)

    if animated and parts:
        gltf["animations"] = []
        for clip in clips:
            times = np.arange(clip.first, clip.first + clip.count, dtype=np.float32)
            weights = np.zeros((clip.count, frame_count), dtype=np.float32)
            weights[np.arange(clip.count), np.arange(clip.first, clip.first + clip.count)] = 1.0
            # One sampler serves every part: the keys are the same for all.
            inputs = builder.accessor(times, "SCALAR", _FLOAT, bounds=True)
            outputs = builder.accessor(weights.reshape(-1), "SCALAR", _FLOAT)
            gltf["animations"].append({
                "name": clip.name,
                "samplers": [{"input": inputs, "output": outputs, "interpolation": "STEP"}],
                "channels": [{"sampler": 0, "target": {"node": n, "path": "weights"}}
                             for n in range(len(parts))],
            })

    binary = b"".join(builder.chunks)
    binary += b"\0" * ((-len(binary)) % 4)
    gltf["buffers"] = [{"byteLength": len(binary)}]
    gltf["bufferViews"] = builder.views
    gltf["accessors"] = builder.accessors
    text = json.dumps(gltf, separators=(",", ":")).encode("utf-8")
    text += b" " * ((-len(text)) % 4)
    total = 12 + 8 + len(text) + 8 + len(binary)
    with open(path, "wb") as out:
        out.write(struct.pack("<4sII", b"glTF", 2, total))
        out.write(struct.pack("<I4s", len(text), b"JSON"))
        out.write(text)
        out.write(struct.pack("<I4s", len(binary), b"BIN\0"))
        out.write(binary)
