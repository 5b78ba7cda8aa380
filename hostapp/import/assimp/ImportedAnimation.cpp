#include "hostapp/import/assimp/ImportedAnimation.h"

#include <algorithm>

#include "hostapp/import/assimp/Conversions.h"
#include "hostapp/import/assimp/GltfStepKeys.h"
#include "hostapp/import/assimp/Keys.h"

namespace hostapp {

const ImportedAnimation::Clip* ImportedAnimation::ActiveClip(HostTime t) const {
  const Clip* active = clips.empty() ? nullptr : &clips.front();
  for (const Clip& clip : clips)
    if (t >= clip.start) active = &clip;
  return active;
}

host::Matrix3 ImportedAnimation::Local(int i, HostTime t) const {
  const aiNode* source = nodes[static_cast<size_t>(i)].source;
  host::Matrix3 local = ToHost(source->mTransformation);
  const Clip* clip = ActiveClip(t);
  if (clip) {
    auto channel = clip->channels.find(source->mName.C_Str());
    if (channel != clip->channels.end()) {
      const aiNodeAnim* anim = channel->second;
      aiVector3D rest_scale, rest_position;
      aiQuaternion rest_rotation;
      source->mTransformation.Decompose(rest_scale, rest_rotation, rest_position);
      const double time = ClipTime(*clip, t);
      auto step = clip->step_keys.find(source->mName.C_Str());
      const int steps = step == clip->step_keys.end() ? 0 : step->second;
      const aiVector3D scale = Interpolate(anim->mScalingKeys, anim->mNumScalingKeys, time,
                                           rest_scale, steps & kStepScale);
      const aiQuaternion rotation = Interpolate(anim->mRotationKeys, anim->mNumRotationKeys, time,
                                                rest_rotation, steps & kStepRotation);
      const aiVector3D position = Interpolate(anim->mPositionKeys, anim->mNumPositionKeys, time,
                                              rest_position, steps & kStepTranslation);
      local = ToHost(aiMatrix4x4(scale, rotation, position));
    }
  }
  if (nodes[static_cast<size_t>(i)].parent < 0) local = local * to_host;
  return local;
}

const host::Matrix3& ImportedAnimation::World(int i, HostTime t) {
  if (!world_valid_ || world_time_ != t) {
    world_.resize(nodes.size());
    for (size_t n = 0; n < nodes.size(); ++n) {
      const host::Matrix3 local = Local(static_cast<int>(n), t);
      world_[n] =
          nodes[n].parent < 0 ? local : local * world_[static_cast<size_t>(nodes[n].parent)];
    }
    world_time_ = t;
    world_valid_ = true;
  }
  return world_[static_cast<size_t>(i)];
}

void ImportedAnimation::MeshPositions(unsigned mesh_index, const char* node_name, HostTime t,
                                      std::vector<host::Point3>& out,
                                      const host::Matrix3& world_to_object) {
  const aiMesh* mesh = scene->mMeshes[mesh_index];
  const size_t first = out.size();

  // MDC vertex keyframes, linear in between.
  if (!keyframes.empty()) {
    const double position = static_cast<double>(t) / (kKeyframeSeconds * host::kTicksPerSecond);
    const double clamped =
        std::min(std::max(position, 0.0), static_cast<double>(keyframes.size() - 1));
    const size_t k = static_cast<size_t>(clamped);
    const size_t next = std::min(k + 1, keyframes.size() - 1);
    const float f = static_cast<float>(clamped - static_cast<double>(k));
    const aiMesh* a = keyframes[k]->mMeshes[mesh_index];
    const aiMesh* b = keyframes[next]->mMeshes[mesh_index];
    for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
      const aiVector3D p = a->mVertices[v] + (b->mVertices[v] - a->mVertices[v]) * f;
      out.push_back(ToPoint(p));
    }
    return;
  }

  for (unsigned v = 0; v < mesh->mNumVertices; ++v) out.push_back(ToPoint(mesh->mVertices[v]));

  // Morph targets, weighted by the clip's keys or their own default weight.
  if (mesh->mNumAnimMeshes > 0) {
    std::vector<double> weights(mesh->mNumAnimMeshes);
    for (unsigned m = 0; m < mesh->mNumAnimMeshes; ++m) weights[m] = mesh->mAnimMeshes[m]->mWeight;
    const Clip* clip = ActiveClip(t);
    const aiMeshMorphAnim* morph = nullptr;
    // Files name a morph channel after the mesh or after the node holding it.
    if (clip) {
      for (const char* name : {node_name, mesh->mName.C_Str()}) {
        auto found = clip->morphs.find(name);
        if (found != clip->morphs.end()) morph = found->second;
      }
    }
    if (morph && morph->mNumKeys > 0) {
      const auto [k, f] = Bracket(morph->mKeys, morph->mNumKeys, ClipTime(*clip, t));
      auto key_weights = [&](unsigned key) {
        std::vector<double> w(mesh->mNumAnimMeshes, 0.0);
        const aiMeshMorphKey& mk = morph->mKeys[key];
        for (unsigned n = 0; n < mk.mNumValuesAndWeights; ++n)
          if (mk.mValues[n] < w.size()) w[mk.mValues[n]] = mk.mWeights[n];
        return w;
      };
      weights = key_weights(k);
      if (f > 0.0 && k + 1 < morph->mNumKeys) {
        const std::vector<double> later = key_weights(k + 1);
        for (size_t m = 0; m < weights.size(); ++m) weights[m] += (later[m] - weights[m]) * f;
      }
    }
    for (unsigned m = 0; m < mesh->mNumAnimMeshes; ++m) {
      const aiAnimMesh* target = mesh->mAnimMeshes[m];
      if (weights[m] == 0.0 || !target->mVertices || target->mNumVertices != mesh->mNumVertices)
        continue;
      for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
        const aiVector3D delta = target->mVertices[v] - mesh->mVertices[v];
        host::Point3& p = out[first + v];
        p.x += static_cast<float>(delta.x * weights[m]);
        p.y += static_cast<float>(delta.y * weights[m]);
        p.z += static_cast<float>(delta.z * weights[m]);
      }
    }
  }

  // Skinning: each weighted vertex goes through its bones' world transforms
  // into the world, then back into the mesh node's own space, where the
  // exporter expects it. Weights are normalised per vertex.
  if (mesh->mNumBones > 0) {
    std::vector<host::Point3> sum(mesh->mNumVertices);
    std::vector<double> total(mesh->mNumVertices, 0.0);
    for (unsigned b = 0; b < mesh->mNumBones; ++b) {
      const aiBone* bone = mesh->mBones[b];
      auto node = node_by_name.find(bone->mName.C_Str());
      if (node == node_by_name.end()) continue;
      const host::Matrix3 skin = ToHost(bone->mOffsetMatrix) * World(node->second, t);
      for (unsigned w = 0; w < bone->mNumWeights; ++w) {
        const aiVertexWeight& weight = bone->mWeights[w];
        if (weight.mVertexId >= mesh->mNumVertices || !(weight.mWeight > 0.0f)) continue;
        const host::Point3 moved = out[first + weight.mVertexId] * skin;
        host::Point3& s = sum[weight.mVertexId];
        s = s + moved * weight.mWeight;
        total[weight.mVertexId] += weight.mWeight;
      }
    }
    for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
      if (total[v] <= 0.0) continue;  // an unweighted vertex stays with its node
      const host::Point3 world = sum[v] * static_cast<float>(1.0 / total[v]);
      out[first + v] = world * world_to_object;
    }
  }
}

void ImportedAnimation::FillMesh(int i, HostTime t, host::Mesh& out) {
  const NodeMesh& node_mesh = node_meshes.at(i);
  const host::Matrix3 world_to_object = Inverse(World(i, t));
  out.vertices.clear();
  const char* node_name = nodes[static_cast<size_t>(i)].source->mName.C_Str();
  for (unsigned mesh_index : node_mesh.meshes)
    MeshPositions(mesh_index, node_name, t, out.vertices, world_to_object);
  out.faces = node_mesh.faces;
  out.texture_vertices = node_mesh.texture_vertices;
  out.texture_faces = node_mesh.texture_faces;
}

}  // namespace hostapp
