#include "tools/zandorel/dat.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#define ZANDOREL_CAN_MAP 1
#endif

#include "tools/zandorel/listinfo_reader.h"
#include "tools/zandorel/xml_reader.h"

namespace zfe::zandorel {

namespace {

std::string describePosition(const std::string& path, TextPosition position) {
    return path + ":" + std::to_string(position.line) + ":" + std::to_string(position.column);
}

constexpr std::uint32_t kFreeSlot = UINT32_MAX;

// Indexes the games by name; a later game of a name already seen is dropped,
// so that every name means one game, the first.
void indexGames(Dat& dat) {
    std::size_t slots = 16;
    while (slots < dat.games.size() * 2) slots *= 2;
    dat.nameTable.assign(slots, kFreeSlot);
    std::vector<Game> kept;
    bool anyDropped = false;
    for (std::uint32_t g = 0; g < dat.games.size(); ++g) {
        const Game& game = dat.games[g];
        const std::string_view name = dat.view(game.name);
        std::size_t slot = hashFolded(name) & (slots - 1);
        bool duplicate = false;
        while (dat.nameTable[slot] != kFreeSlot) {
            const Game& other =
                anyDropped ? kept[dat.nameTable[slot]] : dat.games[dat.nameTable[slot]];
            if (equalsFolded(dat.view(other.name), name)) {
                duplicate = true;
                dat.duplicates.push_back({std::string(name), game.blockBegin, other.blockBegin});
                break;
            }
            slot = (slot + 1) & (slots - 1);
        }
        if (duplicate) {
            if (!anyDropped) kept.assign(dat.games.begin(), dat.games.begin() + g);
            anyDropped = true;
            continue;
        }
        if (anyDropped) {
            dat.nameTable[slot] = static_cast<std::uint32_t>(kept.size());
            kept.push_back(game);
        } else {
            dat.nameTable[slot] = g;
        }
    }
    if (anyDropped) dat.games = std::move(kept);
}

}  // namespace

TextPosition positionOf(std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    TextPosition position;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < offset; ++i) {
        if (text[i] == '\n') {
            ++position.line;
            lineStart = i + 1;
        }
    }
    position.column = static_cast<std::uint32_t>(offset - lineStart + 1);
    return position;
}

DatError::DatError(std::string path, TextPosition position, std::string reason)
    : std::runtime_error(describePosition(path, position) + ": " + reason),
      path_(std::move(path)),
      reason_(std::move(reason)),
      position_(position),
      hasPosition_(true) {}

DatError::DatError(std::string path, std::string reason)
    : std::runtime_error(path + ": " + reason),
      path_(std::move(path)),
      reason_(std::move(reason)) {}

DatFormat detectFormat(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first != std::string_view::npos && text[first] == '<') return DatFormat::Xml;
    return DatFormat::Listinfo;
}

Dat parseDat(std::string_view text, std::string path) {
    return parseDat(Bytes(text), std::move(path));
}

Dat parseDat(Bytes bytes, std::string path) {
    Dat dat;
    dat.path = std::move(path);
    dat.storage = std::move(bytes);
    dat.text = dat.storage.view();
    if (dat.text.size() >= 0x80000000U) {
        throw DatError(dat.path, "the file is too large (2 GB or more)");
    }
    const std::size_t newline = dat.text.find('\n');
    if (newline != std::string::npos && newline > 0 && dat.text[newline - 1] == '\r') {
        dat.lineEnd = "\r\n";
    }
    dat.format = detectFormat(dat.text);
    if (dat.format == DatFormat::Xml) {
        parseXml(dat);
    } else {
        parseListinfo(dat);
    }
    indexGames(dat);
    return dat;
}

Bytes readFileBytes(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        throw DatError(path, std::string("cannot open the file: ") + std::strerror(errno));
    }
    // One read of the whole file when its size is known; growing reads after it
    // for what a pipe or device gives, or a file that grew meanwhile.
    long size = 0;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        size = std::max(0L, std::ftell(file));
        std::fseek(file, 0, SEEK_SET);
    }
    Bytes bytes(static_cast<std::size_t>(size));
    std::size_t filled = bytes.size() > 0 ? std::fread(bytes.data(), 1, bytes.size(), file) : 0;
    if (filled == bytes.size() && !std::ferror(file)) {
        std::string more;
        char chunk[65536];
        std::size_t got = 0;
        while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) more.append(chunk, got);
        if (!more.empty()) {
            Bytes all(filled + more.size());
            if (filled > 0) std::memcpy(all.data(), bytes.data(), filled);
            std::memcpy(all.data() + filled, more.data(), more.size());
            filled = all.size();
            bytes = std::move(all);
        }
    }
    const bool failed = std::ferror(file) != 0;
    const int error = errno;
    std::fclose(file);
    if (failed) throw DatError(path, std::string("cannot read the file: ") + std::strerror(error));
    bytes.shrink(filled);
    return bytes;
}

Dat readDatFile(const std::string& path) {
    Bytes mapped = Bytes::map(path);
    if (mapped.size() > 0) return parseDat(std::move(mapped), path);
    return parseDat(readFileBytes(path), path);
}

void Bytes::release() noexcept {
#ifdef ZANDOREL_CAN_MAP
    if (mappedSize_ != 0) {
        munmap(data_, mappedSize_);
        data_ = nullptr;
        mappedSize_ = 0;
        return;
    }
#endif
    delete[] data_;
    data_ = nullptr;
}

Bytes Bytes::map([[maybe_unused]] const std::string& path) {
    Bytes bytes;
#ifdef ZANDOREL_CAN_MAP
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return bytes;
    struct stat status {};
    // Only a regular file has a size to map; the rest is read.
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0) {
        const auto size = static_cast<std::size_t>(status.st_size);
        int flags = MAP_PRIVATE;
#ifdef MAP_POPULATE
        flags |= MAP_POPULATE;  // one pass of the kernel instead of a fault per page
#endif
        void* address = mmap(nullptr, size, PROT_READ, flags, fd, 0);
        if (address != MAP_FAILED) {
            bytes.data_ = static_cast<char*>(address);
            bytes.size_ = size;
            bytes.mappedSize_ = size;
        }
    }
    ::close(fd);
#endif
    return bytes;
}

std::optional<std::uint32_t> Dat::findGame(std::string_view name) const {
    if (nameTable.empty()) return std::nullopt;
    const std::size_t mask = nameTable.size() - 1;
    for (std::size_t slot = hashFolded(name) & mask; nameTable[slot] != UINT32_MAX;
         slot = (slot + 1) & mask) {
        if (equalsFolded(view(games[nameTable[slot]].name), name)) return nameTable[slot];
    }
    return std::nullopt;
}

bool equalsFolded(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (foldCase(a[i]) != foldCase(b[i])) return false;
    }
    return true;
}

int compareFolded(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(foldCase(a[i]));
        const auto y = static_cast<unsigned char>(foldCase(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::size_t hashFolded(std::string_view text) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (char c : text) {
        hash ^= static_cast<unsigned char>(foldCase(c));
        hash *= 1099511628211ULL;
    }
    return static_cast<std::size_t>(hash);
}

}  // namespace zfe::zandorel
