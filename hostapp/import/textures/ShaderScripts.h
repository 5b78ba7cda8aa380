#pragma once
// The shader scripts of a Quake III game: the games name a model surface's
// look by a shader, and a shader defined in the game's scripts/*.shader
// files draws images that need not share its name (the shader
// models/weapons2/machinegun/skin draws mgun.tga). A script file holds shaders
// one after the other, each a name and a block in braces; blocks inside it
// are the drawing stages, whose "map", "clampMap" or "animMap" keyword names
// an image. Comments run from // to the end of the line or between /* */.
//
// A shader's image is that of its first stage that names a file (not one of
// the engine's own images, such as $lightmap), else the image its
// qer_editorimage keyword shows in the level editors. Where two files define
// one name, the file first in name order wins.

#include <map>
#include <string>
#include <vector>

namespace hostapp {

class ShaderScripts {
 public:
  struct Shader {
    std::string image;   // as the script writes it; empty when the shader names none
    std::string script;  // the path of the file that defines it
  };

  // The scripts of the game whose root is the first of the given folders
  // (the scene's folder, then each folder above it) to hold a scripts folder
  // (in any case) with .shader files; none when there is no such folder.
  explicit ShaderScripts(const std::vector<std::string>& folders);

  // The shader of a name as a model writes it: any case, backslashes for
  // slashes, an extension ignored. Null when no script defines it.
  const Shader* Find(const std::string& name) const;

  // Reads one script's text into shaders (for the constructor and the tests).
  static void Parse(const std::string& text, const std::string& script,
                    std::map<std::string, Shader>* shaders);

 private:
  std::map<std::string, Shader> shaders_;  // by lower-case name
};

}  // namespace hostapp
