#pragma once

// The two files that a run writes, the diff dat and its report: the files that
// their names lead to, found before anything is read, and each written whole
// under a temporary name before it is put in place.

#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace zfe::zandorel {

// An output that the tool will not write; nothing is written for either.
class OutputRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The file that an output's name leads to: a symbolic link is followed to the
// file it names (which is then replaced, and the link stays). A folder, a name
// that ends as one ("dd/", "."), and a name that leads to a pipe, a device or
// a socket are refused: the tool writes regular files only. Throws
// OutputRefused.
std::string outputTarget(const std::string& name);

// Whether two output targets are one file as their volume tells names apart:
// by identity, and where neither exists yet, by making the first for a moment
// and asking whether the second is then there (letter case, on a volume that
// ignores it).
bool isOneOutput(const std::string& first, const std::string& second);

// An output gathered in large writes (the diff dat comes in small pieces) into
// a temporary file beside its target.
class Output {
public:
    explicit Output(std::string target);  // throws OsError

    void write(std::string_view text);
    // Hands every byte to the system: after this only the renaming can fail.
    void finish();
    // Puts the file in place of its target, which must still be a regular file
    // or none. Without waiting for the disk: a diff dat is made again by
    // running again. Throws OsError or OutputRefused.
    void commit();

private:
    std::string target_;
    platform::FileReplacement file_;
    std::string buffer_;
};

}  // namespace zfe::zandorel
