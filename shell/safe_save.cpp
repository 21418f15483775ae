// See safe_save.h.
#include "shell/safe_save.h"

#include "shell/document_rules.h"

namespace resivex::shell {

bool save_replacing(save_steps& steps, const std::string& target, std::string_view text) {
  // The new file lives in the target's own folder, so that the replacement is a rename on one volume.
  std::string temp;
  if (!steps.create_temp(folder_of(target), temp)) return false;
  if (!steps.write_all(temp, text) || !steps.replace(temp, target)) {
    steps.remove(temp);
    return false;
  }
  return true;
}

}  // namespace resivex::shell
