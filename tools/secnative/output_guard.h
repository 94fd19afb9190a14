// Removing an unfinished output file when a signal ends the tool.
#ifndef SECNATIVE_TOOLS_OUTPUT_GUARD_H
#define SECNATIVE_TOOLS_OUTPUT_GUARD_H

namespace secnative {
class FileReplacement;
}

namespace secnative::tool {

// Makes the output whose new file and private directory are pending the
// one removed when a signal ends the process (nullptr: none). The first
// call installs a handler on every signal whose default action ends the
// process, except those the tool was started with ignored, and ignores
// SIGXFSZ, so that a file size limit turns into a failed write (EFBIG)
// instead of a death that leaves the new file behind.
void guard_output(const FileReplacement* pending);

}  // namespace secnative::tool

#endif  // SECNATIVE_TOOLS_OUTPUT_GUARD_H
