#include "tools/zandorel/dat_header.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "tools/zandorel/field_text.h"

namespace zfe::zandorel {

namespace {

// A dat's file name, as the user knows the dat: the path after its last folder
// separator of either platform.
std::string fileName(const std::string& path) {
    return path.substr(path.find_last_of("/\\") + 1);
}

struct Naming {
    std::string name;
    std::string description;
};

Naming namingOf(const Dat& oldDat, const Dat& newDat, SetType type, bool compact) {
    const std::string oldName = fileName(oldDat.path);
    const std::string newName = fileName(newDat.path);
    const std::string types(setTypeName(type));
    return {newName + " diff from " + oldName + " (" + types + (compact ? ", compact)" : ")"),
            "zandorel diff dat, not " + newName + " itself: the " + types +
                " sets added, renamed or changed from " + oldName + " to " + newName +
                (compact ? ", each with only the roms and disks that " + oldName + " lacks" : "")};
}

// What the set type is called where a ROM manager's header can say it: full
// non-merged sets are non-merged sets that take in their devices' roms.
const char* forceMergingOf(SetType type) {
    switch (type) {
        case SetType::Split:
            return "split";
        case SetType::Merged:
            return "full";
        case SetType::NonMerged:
        case SetType::FullNonMerged:
            return "none";
    }
    return "split";
}

// The length of the character at `at` when it may stand in any text of a dat as
// it is: one that the report's rule leaves alone and XML takes. 0 for a byte
// that starts no such character.
std::size_t printableLength(std::string_view text, std::size_t at) {
    const std::size_t length = plainCharacterLength(text, at);
    const std::string_view character = text.substr(at, length);
    return character == "\xEF\xBF\xBE" || character == "\xEF\xBF\xBF" ? 0 : length;
}

// The text a character at a time: `take` gets each printable character, or an
// empty view for each byte that starts none.
template <class Take>
void eachCharacter(std::string_view text, Take take) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = printableLength(text, at);
        take(text.substr(at, length));
        at += std::max<std::size_t>(length, 1);
    }
}

// A listinfo string: quoted, with C escapes for quotes, backslashes and every
// byte that is no printable character.
std::string listinfoString(std::string_view text) {
    std::string out = "\"";
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = printableLength(text, at);
        if (length == 0) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(text[at]));
            out += escaped;
            ++at;
            continue;
        }
        if (text[at] == '"' || text[at] == '\\') out += '\\';
        out.append(text, at, length);
        at += length;
    }
    return out + "\"";
}

// XML character data; a byte that starts no printable character becomes '?'.
std::string xmlText(std::string_view text) {
    std::string out;
    eachCharacter(text, [&](std::string_view character) {
        if (character == "&") {
            out += "&amp;";
        } else if (character == "<") {
            out += "&lt;";
        } else if (character == ">") {
            out += "&gt;";
        } else {
            out += character.empty() ? "?" : character;
        }
    });
    return out;
}

// The text of an XML comment, which may not hold "--".
std::string xmlComment(std::string_view text) {
    std::string out;
    eachCharacter(text, [&](std::string_view character) {
        if (character == "-" && !out.empty() && out.back() == '-') out += ' ';
        out += character.empty() ? "?" : character;
    });
    return out;
}

struct Edit {
    std::size_t begin;
    std::size_t end;
    std::string text;
};

// The edits that make the header's fields name the diff dat.
std::vector<Edit> fieldEdits(const HeaderFields& fields, const Naming& naming, SetType type) {
    std::vector<Edit> edits;
    const std::uint32_t descriptionAt = fields.name.found ? fields.afterName : fields.afterOpen;
    if (fields.kind == HeaderFields::Kind::Listinfo) {
        const auto set = [&](const HeaderFields::Field& field, std::uint32_t missingAt,
                             const char* key, std::string_view value) {
            if (field.found) {
                edits.push_back({field.begin, field.end, listinfoString(value)});
            } else {
                edits.push_back({missingAt, missingAt,
                                 std::string(" ") + key + " " + listinfoString(value)});
            }
        };
        set(fields.name, fields.afterOpen, "name", naming.name);
        set(fields.description, descriptionAt, "description", naming.description);
    } else if (fields.kind == HeaderFields::Kind::Datafile) {
        const auto set = [&](const HeaderFields::Field& field, std::uint32_t missingAt,
                             const std::string& tag, std::string_view value) {
            const std::string element = "<" + tag + ">" + xmlText(value) + "</" + tag + ">";
            if (!field.found) {
                edits.push_back({missingAt, missingAt, element});
            } else {
                edits.push_back({field.begin, field.end,
                                 field.wholeElement ? element : xmlText(value)});
            }
        };
        set(fields.name, fields.afterOpen, "name", naming.name);
        set(fields.description, descriptionAt, "description", naming.description);
    }
    if (fields.forceMerging.found) {
        edits.push_back({fields.forceMerging.begin, fields.forceMerging.end, forceMergingOf(type)});
    }
    // Two insertions at one place keep their order: the name before the description.
    std::stable_sort(edits.begin(), edits.end(),
                     [](const Edit& a, const Edit& b) { return a.begin < b.begin; });
    return edits;
}

}  // namespace

DiffDatHeader diffDatHeader(std::string_view header, std::string_view firstBlock,
                            const Dat& oldDat, const Dat& newDat, SetType type, bool compact) {
    const Naming naming = namingOf(oldDat, newDat, type, compact);
    const HeaderFields& fields = newDat.header;
    DiffDatHeader out;
    std::size_t from = 0;
    for (const Edit& edit : fieldEdits(fields, naming, type)) {
        if (edit.begin < from || edit.end > header.size()) continue;
        out.header.append(header, from, edit.begin - from);
        out.header += edit.text;
        from = edit.end;
    }
    out.header.append(header, from);
    if (fields.kind != HeaderFields::Kind::None) return out;
    const std::string& lineEnd = newDat.lineEnd;
    if (newDat.format == DatFormat::Listinfo) {
        out.beforeFirstGame = "clrmamepro (" + lineEnd + "\tname " + listinfoString(naming.name) +
                              lineEnd + "\tdescription " + listinfoString(naming.description) +
                              lineEnd + ")" + lineEnd + lineEnd;
    } else {
        out.beforeFirstGame = std::string(firstBlock.substr(0, firstBlock.find_first_not_of(" \t"))) +
                              "<!-- " + xmlComment(naming.name + ": " + naming.description) +
                              " -->" + lineEnd;
    }
    return out;
}

}  // namespace zfe::zandorel
