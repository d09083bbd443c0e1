// File helpers shared by both programs.
#ifndef COMMON_FILES_H_
#define COMMON_FILES_H_

#include <string>

#include "platform/files.h"

// True when a file or folder of that path exists.
bool FileExists(const std::string& path);

// The one set of creation attributes passed to every folder and file the
// store creates; made on first use.
const platform::CreationAttributes* SharedSecurityAttributes();

#endif  // COMMON_FILES_H_
