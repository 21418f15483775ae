// See document_rules.h.
#include "shell/document_rules.h"

namespace resivex::shell {

bool is_untitled(std::string_view title) { return title.empty() || title.front() == '['; }

std::string folder_of(std::string_view path) {
  const std::size_t sep = path.find_last_of("\\/");
  return sep == std::string_view::npos ? std::string(".") : std::string(path.substr(0, sep + 1));
}

bool may_close(bool modified, bool can_cancel, const std::function<save_answer()>& ask,
               const std::function<bool()>& save) {
  if (!modified) return true;
  switch (ask()) {
    case save_answer::no:
      return true;
    case save_answer::cancel:
      return !can_cancel;
    case save_answer::yes:
      break;
  }
  return save() || !can_cancel;
}

}  // namespace resivex::shell
