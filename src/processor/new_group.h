// The GROUP.INI of a new group, as both the CREATE command and the operator
// tool write it.
#ifndef PROCESSOR_NEW_GROUP_H_
#define PROCESSOR_NEW_GROUP_H_

#include <string_view>

#include "platform/files.h"
#include "processor/vocabulary.h"

// The membership type the choices give: "Private" when chosen, else "Public".
std::string_view MembershipTypeOf(const PropertyChoices& choices);

// The post type the choices give: "Moderated", else "Broadcast", else
// "Unmoderated".
std::string_view PostTypeOf(const PropertyChoices& choices);

// Writes the lines of a new GROUP.INI into the open file, each ended by
// CR LF: [Group], MembershipType, PostType, Notify=Yes (only when asked
// for), Owner, [Admin] and the owner's Admin entry. Write errors are not
// looked at: the group exists once the file does.
void WriteNewGroupIni(platform::File* file, const PropertyChoices& choices,
                      std::string_view owner);

#endif  // PROCESSOR_NEW_GROUP_H_
