#include <utility>

#include "hostapp/user/DialogUser.h"

namespace hostapp {

UserStep UserStep::Type(int control, std::string text) {
  UserStep step;
  step.kind = kType;
  step.control = control;
  step.text = std::move(text);
  return step;
}

UserStep UserStep::Paste(int control, std::string text) {
  UserStep step;
  step.kind = kPaste;
  step.control = control;
  step.text = std::move(text);
  return step;
}

UserStep UserStep::Check(int control, bool checked) {
  UserStep step;
  step.kind = kCheck;
  step.control = control;
  step.checked = checked;
  return step;
}

UserStep UserStep::Press(int control) {
  UserStep step;
  step.kind = kPress;
  step.control = control;
  return step;
}

}  // namespace hostapp
