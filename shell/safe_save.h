// Saving a document so that its file is never lost: the text goes to a new file in the same folder, which
// then takes the place of the old one. A save that fails anywhere leaves the old file exactly as it was.
#pragma once

#include <string>
#include <string_view>

namespace resivex::shell {

// The file operations a save needs. Implemented on Win32 by the document windows (document_file.cpp) and by
// a recording fake in the shell's unit tests; save_replacing calls them.
class save_steps {
 public:
  virtual ~save_steps() = default;
  // Creates a new empty file in folder under a name no other file has. False when none could be created.
  virtual bool create_temp(const std::string& folder, std::string& temp_path) = 0;
  // Writes all of data to the (empty) file at path and closes it. False when any byte was not written.
  virtual bool write_all(const std::string& path, std::string_view data) = 0;
  // Puts the file from in the place of to, replacing to when it exists. False when to was left as it was.
  virtual bool replace(const std::string& from, const std::string& to) = 0;
  virtual void remove(const std::string& path) = 0;
};

// Saves text to target. True when target now holds exactly text (an empty text gives an empty file); false
// when target was left untouched. No temporary file is left behind either way.
bool save_replacing(save_steps& steps, const std::string& target, std::string_view text);

}  // namespace resivex::shell
