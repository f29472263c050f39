#include "tools/zandorel/dat.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <numeric>

#include "tools/zandorel/listinfo_reader.h"
#include "tools/zandorel/xml_reader.h"

namespace zfe::zandorel {

namespace {

std::string describePosition(const std::string& path, TextPosition position) {
    return path + ":" + std::to_string(position.line) + ":" + std::to_string(position.column);
}

// Later games of an already seen name are dropped, so that every name means one
// game; the reader's order is kept for the rest.
void dropDuplicateGames(Dat& dat) {
    std::vector<std::uint32_t> order(dat.games.size());
    std::iota(order.begin(), order.end(), 0U);
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return compareFolded(dat.view(dat.games[a].name), dat.view(dat.games[b].name)) < 0;
    });
    std::vector<bool> dropped(dat.games.size(), false);
    bool anyDropped = false;
    for (std::size_t i = 1; i < order.size(); ++i) {
        const Game& first = dat.games[order[i - 1]];
        const Game& game = dat.games[order[i]];
        if (!equalsFolded(dat.view(first.name), dat.view(game.name))) continue;
        // order[i - 1] may itself be a dropped duplicate: walk back to the kept one.
        std::size_t keptIndex = i - 1;
        while (dropped[order[keptIndex]]) --keptIndex;
        dropped[order[i]] = true;
        anyDropped = true;
        dat.duplicates.push_back({std::string(dat.view(game.name)), game.blockBegin,
                                  dat.games[order[keptIndex]].blockBegin});
    }
    if (!anyDropped) return;
    std::vector<Game> kept;
    kept.reserve(dat.games.size());
    for (std::size_t i = 0; i < dat.games.size(); ++i) {
        if (!dropped[i]) kept.push_back(dat.games[i]);
    }
    dat.games = std::move(kept);
    std::sort(dat.duplicates.begin(), dat.duplicates.end(),
              [](const DuplicateGame& a, const DuplicateGame& b) { return a.offset < b.offset; });
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
    : std::runtime_error(path + ": " + reason), path_(std::move(path)), reason_(std::move(reason)) {}

DatFormat detectFormat(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first != std::string_view::npos && text[first] == '<') return DatFormat::Xml;
    return DatFormat::Listinfo;
}

Dat parseDat(std::string text, std::string path) {
    Dat dat;
    dat.path = std::move(path);
    dat.text = std::move(text);
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
    dropDuplicateGames(dat);
    return dat;
}

std::string readFileBytes(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        throw DatError(path, std::string("cannot open the file: ") + std::strerror(errno));
    }
    std::string bytes;
    // One read of the whole file when its size is known; growing reads otherwise
    // (a pipe or a device has no size to ask for).
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long size = std::ftell(file);
        if (size > 0) bytes.resize(static_cast<std::size_t>(size));
        std::fseek(file, 0, SEEK_SET);
    }
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) bytes.resize(std::max<std::size_t>(bytes.size() * 2, 65536));
        const std::size_t got = std::fread(bytes.data() + filled, 1, bytes.size() - filled, file);
        filled += got;
        if (got == 0) break;
    }
    const bool failed = std::ferror(file) != 0;
    const int error = errno;
    std::fclose(file);
    if (failed) throw DatError(path, std::string("cannot read the file: ") + std::strerror(error));
    bytes.resize(filled);
    return bytes;
}

Dat readDatFile(const std::string& path) { return parseDat(readFileBytes(path), path); }

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
