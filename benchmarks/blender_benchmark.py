"""Speed of File > Export > Quake MDL against its two unavoidable parts.

Run in Blender, from the repository's root:

    blender -b --factory-startup --python benchmarks/blender_benchmark.py -- \\
        [--mdlexport build/bin/mdlexport] [--scene ../shared/bench/sphere10000_100.glb] [--runs 5]

The scene (a glTF file) is imported into Blender at 10 frames a second, so
that each of its frames is one Blender frame. Three things are timed, each
--runs times, and their medians printed (wall and CPU seconds, the CPU of
child processes included):

  evaluation   Blender evaluates every frame and hands each object's
               vertices to numpy (frame_set, evaluated mesh, foreach_get)
  mdlexport    mdlexport converts the scene's own glTF file, every frame
  operator     the add-on's operator exports the imported scene, every frame

The target: the operator within 1.5 times the sum of the other two.
"""

import argparse
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time

import bpy
import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def options():
    argv = sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else []
    parser = argparse.ArgumentParser(prog="blender_benchmark.py")
    parser.add_argument("--mdlexport", default=os.path.join(ROOT, "build", "bin", "mdlexport"))
    parser.add_argument("--scene", default=os.path.join(ROOT, "..", "shared", "bench",
                                                        "sphere10000_100.glb"))
    parser.add_argument("--runs", type=int, default=5)
    return parser.parse_args(argv)


def cpu_seconds():
    own = resource.getrusage(resource.RUSAGE_SELF)
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    return own.ru_utime + own.ru_stime + children.ru_utime + children.ru_stime


def timed(job, runs):
    walls, cpus = [], []
    for _run in range(runs):
        wall, cpu = time.perf_counter(), cpu_seconds()
        job()
        walls.append(time.perf_counter() - wall)
        cpus.append(cpu_seconds() - cpu)
    return statistics.median(walls), statistics.median(cpus)


def evaluate_frames(context):
    scene = context.scene
    meshes = [ob for ob in scene.objects if ob.type == "MESH"]
    current = scene.frame_current
    for frame in range(scene.frame_start, scene.frame_end + 1):
        scene.frame_set(frame)
        depsgraph = context.evaluated_depsgraph_get()
        for ob in meshes:
            ob_eval = ob.evaluated_get(depsgraph)
            mesh = ob_eval.to_mesh()
            co = np.empty(len(mesh.vertices) * 3, dtype=np.float32)
            mesh.vertices.foreach_get("co", co)
            mesh.calc_loop_triangles()
            ob_eval.to_mesh_clear()
    scene.frame_set(current)


def main():
    args = options()
    if not os.path.exists(args.scene):
        print("blender_benchmark: no scene %s" % args.scene)
        sys.exit(2)
    sys.path.insert(0, os.path.join(ROOT, "blender"))
    import io_scene_quake_mdl
    io_scene_quake_mdl.register()
    os.environ["PATH"] = os.path.dirname(os.path.abspath(args.mdlexport)) + os.pathsep \
        + os.environ.get("PATH", "")

    bpy.ops.wm.read_factory_settings(use_empty=True)
    context = bpy.context
    context.scene.render.fps = 10
    # Debian's Blender 3.4 cannot import with the file's normals under numpy 1.24.
    bpy.ops.import_scene.gltf(filepath=args.scene, import_shading="SMOOTH")
    actions = [a for a in bpy.data.actions]
    if actions:
        start, end = actions[0].frame_range
        context.scene.frame_start, context.scene.frame_end = int(start), int(end)
    frames = context.scene.frame_end - context.scene.frame_start + 1

    work = tempfile.mkdtemp(prefix="vandrell-blender-benchmark-")
    reference = os.path.join(work, "mdlexport.mdl")
    exported = os.path.join(work, "operator.mdl")

    def run_mdlexport():
        subprocess.run([args.mdlexport, "-q", "--frames", "all", "--fps", "10", "--base-name",
                        "bench", args.scene,
                        reference], check=True, stderr=subprocess.DEVNULL)

    def run_operator():
        result = bpy.ops.export_scene.quake_mdl(filepath=exported, frames_all=True,
                                                base_name="bench")
        assert result == {"FINISHED"}, result

    evaluation = timed(lambda: evaluate_frames(context), args.runs)
    tool = timed(run_mdlexport, args.runs)
    operator = timed(run_operator, args.runs)
    io_scene_quake_mdl.unregister()

    print("blender_benchmark: %s, %d frames, median of %d runs" % (
        os.path.basename(args.scene), frames, args.runs))
    for name, (wall, cpu) in (("evaluation", evaluation), ("mdlexport", tool),
                              ("operator", operator)):
        print("  %-11s %7.3f s wall %7.3f s CPU" % (name, wall, cpu))
    limit = 1.5 * (evaluation[0] + tool[0])
    limit_cpu = 1.5 * (evaluation[1] + tool[1])
    print("  target: operator within 1.5 x (evaluation + mdlexport) = %.3f s wall, %.3f s CPU: "
          "%s wall, %s CPU" % (limit, limit_cpu, "met" if operator[0] <= limit else "missed",
                               "met" if operator[1] <= limit_cpu else "missed"))
    with open(reference, "rb") as one, open(exported, "rb") as other:
        same = one.read() == other.read()
    print("  the operator's model %s mdlexport's, byte for byte" % (
        "equals" if same else "differs from"))
    for path in (reference, exported):
        os.remove(path)
    os.rmdir(work)


main()
