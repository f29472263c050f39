#pragma once

// The two files that a run writes, the diff dat and its report: the files that
// their names lead to, found before anything is read, and each written whole
// under a temporary name before it is put in place.

#include <optional>
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

struct OutputTarget {
    std::string path;   // the file to replace or make
    std::string shown;  // the name as messages give it: the user's, and where a link leads
};

// The file that an output's name leads to: a symbolic link is followed to the
// file it names (which is then replaced, and the link stays). A folder, a name
// that ends as one ("dd/", "."), and a name that leads to a pipe, a device or
// a socket are refused: the tool writes regular files only. Throws
// OutputRefused.
OutputTarget outputTarget(const std::string& name);

// Whether two output targets are one file as their volume tells names apart:
// by identity, and where neither exists yet, by making the first for a moment
// and asking whether the second is then there (letter case, on a volume that
// ignores it).
bool isOneOutput(const std::string& first, const std::string& second);

// An output gathered in large writes (the diff dat comes in small pieces) into
// a temporary file beside its target. Its errors name it as the user did: the
// target may be spelled otherwise (on Windows, the full path of the file).
class Output {
public:
    explicit Output(const OutputTarget& target);  // throws OsError

    void write(std::string_view text);
    // Hands every byte to the system: after this only the renaming can fail.
    void finish();
    // Puts the file in place of its target, which must still be a regular file
    // or none. Without waiting for the disk: a diff dat is made again by
    // running again. Throws OsError or OutputRefused.
    void commit();

private:
    template <typename Step>
    void asNamed(const Step& step);

    OutputTarget target_;
    std::optional<platform::FileReplacement> file_;
    std::string buffer_;
};

}  // namespace zfe::zandorel
