#include "hostapp/import/quake/PlayerConfig.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sstream>

namespace hostapp {

namespace {

struct AnimationName {
  const char* name;
  PlayerPart part;
};

// The animations in the order the file lists them.
constexpr AnimationName kAnimations[] = {
    {"both_death1", PlayerPart::kBoth},      {"both_dead1", PlayerPart::kBoth},
    {"both_death2", PlayerPart::kBoth},      {"both_dead2", PlayerPart::kBoth},
    {"both_death3", PlayerPart::kBoth},      {"both_dead3", PlayerPart::kBoth},
    {"torso_gesture", PlayerPart::kTorso},   {"torso_attack", PlayerPart::kTorso},
    {"torso_attack2", PlayerPart::kTorso},   {"torso_drop", PlayerPart::kTorso},
    {"torso_raise", PlayerPart::kTorso},     {"torso_stand", PlayerPart::kTorso},
    {"torso_stand2", PlayerPart::kTorso},    {"legs_walkcr", PlayerPart::kLegs},
    {"legs_walk", PlayerPart::kLegs},        {"legs_run", PlayerPart::kLegs},
    {"legs_back", PlayerPart::kLegs},        {"legs_swim", PlayerPart::kLegs},
    {"legs_jump", PlayerPart::kLegs},        {"legs_land", PlayerPart::kLegs},
    {"legs_jumpb", PlayerPart::kLegs},       {"legs_landb", PlayerPart::kLegs},
    {"legs_idle", PlayerPart::kLegs},        {"legs_idlecr", PlayerPart::kLegs},
    {"legs_turn", PlayerPart::kLegs},        {"torso_getflag", PlayerPart::kTorso},
    {"torso_guardbase", PlayerPart::kTorso}, {"torso_patrol", PlayerPart::kTorso},
    {"torso_followme", PlayerPart::kTorso},  {"torso_affirmative", PlayerPart::kTorso},
    {"torso_negative", PlayerPart::kTorso},
};
constexpr size_t kAnimationCount = sizeof kAnimations / sizeof kAnimations[0];
// The animations every player has; the mission pack's six are optional.
constexpr size_t kRequiredCount = 25;
constexpr size_t kTorsoGesture = 6;
constexpr size_t kLegsWalkCrouched = 13;

// The words of the text, comments left out.
std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t comment = line.find("//");
    std::istringstream in(line.substr(0, comment));
    std::string word;
    while (in >> word) words.push_back(word);
  }
  return words;
}

bool Number(const std::string& word, int* value) {
  errno = 0;
  char* end = nullptr;
  const long number = std::strtol(word.c_str(), &end, 10);
  if (word.empty() || *end != '\0' || errno != 0 || number < INT_MIN || number > INT_MAX)
    return false;
  *value = static_cast<int>(number);
  return true;
}

}  // namespace

PlayerConfig ReadPlayerConfig(const std::string& text) {
  PlayerConfig config;
  const std::vector<std::string> words = Words(text);
  size_t w = 0;
  // Settings, until the first number.
  while (w < words.size()) {
    int ignored;
    if (Number(words[w], &ignored)) break;
    const std::string& word = words[w++];
    if (word == "sex" || word == "footsteps")
      w += 1;
    else if (word == "headoffset")
      w += 3;
    else if (word != "fixedlegs" && word != "fixedtorso")
      config.notes.push_back("animation.cfg: the unknown word \"" + word + "\" is skipped");
  }
  // Four numbers an animation.
  std::vector<int> firsts;
  std::vector<int> counts;
  for (; w + 4 <= words.size() && firsts.size() < kAnimationCount; w += 4) {
    int values[4];
    bool numbers = true;
    for (int k = 0; k < 4; ++k) numbers = numbers && Number(words[w + k], &values[k]);
    if (!numbers) {
      config.notes.push_back("animation.cfg: reading stops at \"" + words[w] +
                             "\", which starts no animation's four numbers");
      break;
    }
    firsts.push_back(values[0]);
    counts.push_back(values[1]);
  }
  if (firsts.size() < kRequiredCount)
    config.notes.push_back("animation.cfg lists " + std::to_string(firsts.size()) +
                           " animations, not the " + std::to_string(kRequiredCount) +
                           " of a player");
  const long long legs_offset =
      firsts.size() > kLegsWalkCrouched
          ? static_cast<long long>(firsts[kLegsWalkCrouched]) - firsts[kTorsoGesture]
          : 0;
  for (size_t a = 0; a < firsts.size(); ++a) {
    PlayerAnimation animation;
    animation.name = kAnimations[a].name;
    animation.part = kAnimations[a].part;
    const long long first =
        animation.part == PlayerPart::kLegs ? firsts[a] - legs_offset : firsts[a];
    animation.count = counts[a];
    if (animation.count < 1 || first < 0 || first > INT_MAX) {
      config.notes.push_back("animation.cfg: " + animation.name + " (first frame " +
                             std::to_string(first) + ", " + std::to_string(animation.count) +
                             " frames) is left out");
      continue;
    }
    animation.first = static_cast<int>(first);
    config.animations.push_back(animation);
  }
  return config;
}

}  // namespace hostapp
