// Following the symbolic links of a path's last name, with the rule the
// kernel applies to links in shared directories.
#ifndef SECNATIVE_COMMON_FOLLOW_LINKS_H
#define SECNATIVE_COMMON_FOLLOW_LINKS_H

#include "common/path_text.h"

namespace secnative {

// Follows the chain of symbolic links that path names (its last name only;
// the directories on the way are left to the kernel) and stores the name at
// the end of it in target: the first name that is not a link, whether it
// exists or not. A relative link is taken from the link's directory.
//
// A link in a world-writable directory with the sticky bit (such as /tmp)
// is followed only when it belongs to the process's effective user or to
// the directory's owner, so a link that another user planted there cannot
// send the process's output to a file of its choosing. Such a link, a chain
// longer than 40 links or a link that cannot be read gives false with errno
// set (EACCES, ELOOP, ENOMEM or readlink's error).
//
// Links in /proc/ and /dev/fd/ (behind /dev/stdout, for one) name open
// descriptors rather than files; their text need not be a path. Passing
// through one sets *descriptor, when given.
bool followLinks(const char* path, PathText& target, bool* descriptor = nullptr);

}  // namespace secnative

#endif  // SECNATIVE_COMMON_FOLLOW_LINKS_H
