// Writing a file so that an existing one is replaced only once the new
// content is completely on disk.
#ifndef SECNATIVE_XML_XML_REPLACE_FILE_H
#define SECNATIVE_XML_XML_REPLACE_FILE_H

#include <cstdio>

namespace secnative::xml {

// Writes a file's whole content into an open stream; false when a write
// failed.
using ContentWriter = bool (*)(FILE* file, const void* content);

enum ReplaceResult {
    replaceWritten = 0,
    replaceCannotOpen = 1,   // the file could not be opened for writing
    replaceCannotWrite = 2,  // writing, flushing, closing or renaming failed
};

// Writes the content that write produces to the file at path.
//
// A missing file, or a regular file with a single link, is written under a
// temporary name in the same directory, flushed to disk, closed and then
// renamed over path: on any failure the temporary file is removed and path
// is left as it was (or absent). A replaced file keeps its permission bits
// and, where the process may set them, its owner and group; a new file gets
// the permissions fopen would give it. Symbolic links are followed: the
// file they lead to is replaced and the links stay.
//
// Anything else (a device, a pipe, a file with several hard links or one
// the process may not write, a directory where no temporary file can be
// made) is opened with fopen "wb" and written in place, so a failure there
// may leave it partly written.
ReplaceResult writeFileReplacing(const char* path, ContentWriter write, const void* content);

}  // namespace secnative::xml

#endif  // SECNATIVE_XML_XML_REPLACE_FILE_H
