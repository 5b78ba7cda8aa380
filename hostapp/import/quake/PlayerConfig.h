#pragma once
// A Quake III player's animation.cfg: a few settings (sex, headoffset,
// footsteps, fixedlegs, fixedtorso) and then, for each of the player's
// animations in a fixed order, four numbers: first frame, frame count,
// looping frames and frames a second. "//" starts a comment.
//
// The order is the death and dead poses of the whole body (BOTH_*), the
// torso's (TORSO_*), the legs' (LEGS_*), and, in files for the later mission
// pack, six more of the torso. Both-body frames come first in the legs' file
// and in the torso's; the torso's own frames follow in the torso's file only,
// yet the file counts the legs' frames on after them: the games take the span
// of the torso's frames (LEGS_WALKCR's first frame less TORSO_GESTURE's) off
// every legs number, and so does this reader.

#include <string>
#include <vector>

namespace hostapp {

enum class PlayerPart { kBoth, kTorso, kLegs };

struct PlayerAnimation {
  std::string name;  // in lower case: "both_death1", "torso_attack", "legs_run"
  PlayerPart part = PlayerPart::kBoth;
  int first = 0;  // in the part's own file (legs numbers already moved back)
  int count = 0;  // at least 1
};

struct PlayerConfig {
  std::vector<PlayerAnimation> animations;  // in the file's order
  // What was odd but read, one sentence each (an unknown word, an animation
  // without frames, fewer animations than a player has).
  std::vector<std::string> notes;
};

// Reads the text of an animation.cfg. Never fails: what cannot be read is
// left out and noted.
PlayerConfig ReadPlayerConfig(const std::string& text);

}  // namespace hostapp
