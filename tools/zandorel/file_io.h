#pragma once

// The tool's own dealings with files: its inputs opened once and taken whole, the
// identity that tells whether two paths name one file, and outputs that appear
// whole or not at all.

#include <cstdint>
#include <string>
#include <string_view>

#include "tools/zandorel/dat.h"

namespace zfe::zandorel {

// The whole file, opened once (a named pipe gives its data once): mapped where
// the platform can, else read. A folder, a file that cannot be read and a file
// that changes while it is read are errors naming the path. Throws DatError.
Bytes readInputFile(const std::string& path);

// Throws DatError when the dat's bytes may no longer be the file's: where they
// are a mapping of the file, a file that shrank or was written since.
void requireUnchanged(const Dat& dat);

// What makes a file itself whatever path names it: device and inode, or on
// Windows volume serial and file index.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool exists = false;

    bool sameFileAs(const FileIdentity& other) const {
        return exists && other.exists && volume == other.volume && index == other.index;
    }
};

// Links are followed; a path that names nothing gives an identity that matches
// nothing.
FileIdentity identityOf(const std::string& path);

// A regular file, not a link to one.
bool isPlainFile(const std::string& path);

// A file written under a name of its own beside `path` (created new, never
// through a link, never shared with another run) and renamed over `path` by
// commit(). Until then `path` keeps its old content; a file never committed is
// removed. Throws std::runtime_error naming the path and the reason.
class OutputFile {
public:
    explicit OutputFile(std::string path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(std::string_view text);
    void commit();

private:
    void flush();
    void writeOut(std::string_view text);
    void closeHandle();

    std::string path_;
    std::string temporary_;
    std::string buffer_;
    std::intptr_t handle_ = -1;
    bool committed_ = false;
};

void writeFileReplacing(const std::string& path, std::string_view content);

}  // namespace zfe::zandorel
