#include "tools/zandorel/xml_reader.h"

#ifdef ZFE_HAVE_PUGIXML

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <pugixml.hpp>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "tools/zandorel/reader_support.h"

namespace zfe::zandorel {

namespace {

// The elements that the library parses whole, one at a time: the root's game
// and machine children. Everything between them (the prolog, the root's tags,
// a <header>) is parsed as one small document of its own, the skeleton.
bool isGameTag(std::string_view tagName) {
    return tagName == "game" || tagName == "machine";
}

// A machine has dozens of children to sort out, and most differ from the
// wanted name in their first letter: no library call for them.
bool nameIs(const char* name, std::string_view wanted) {
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        if (name[i] != wanted[i]) return false;
    }
    return name[wanted.size()] == '\0';
}

// The library's classes of bytes in markup: blanks between names and values,
// bytes that may start a name, bytes that may continue one, and bytes that it
// converts in a value.
enum ByteClass : std::uint8_t { kBlank = 1, kNameStart = 2, kNamePart = 4, kConverted = 8 };

constexpr std::array<std::uint8_t, 256> makeByteClasses() {
    std::array<std::uint8_t, 256> classes{};
    for (const unsigned char c : {' ', '\t', '\r', '\n'}) classes[c] = kBlank;
    for (unsigned c = 0; c < 256; ++c) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (letter || c >= 128 || c == '_' || c == ':') classes[c] = kNameStart | kNamePart;
        if ((c >= '0' && c <= '9') || c == '-' || c == '.') classes[c] = kNamePart;
    }
    for (const unsigned char c : {'&', '\t', '\r', '\n'}) classes[c] |= kConverted;
    return classes;
}

constexpr std::array<std::uint8_t, 256> kByteClasses = makeByteClasses();

inline bool isA(char c, ByteClass wanted) {
    return (kByteClasses[static_cast<unsigned char>(c)] & wanted) != 0;
}

constexpr std::size_t kNone = std::string_view::npos;

// After the '>' of the tag that starts at `at`, quotes honoured; npos when the
// text ends first.
std::size_t tagEndIn(std::string_view text, std::size_t at) {
    const char* data = text.data();
    const std::size_t size = text.size();
    for (++at; at < size; ++at) {
        const char c = data[at];
        if (c == '>') return at + 1;
        if (c == '"' || c == '\'') {
            const void* close = std::memchr(data + at + 1, c, size - at - 1);
            if (close == nullptr) return kNone;
            at = static_cast<std::size_t>(static_cast<const char*>(close) - data);
        }
    }
    return kNone;
}

// The comment, CDATA section or processing instruction at `open`: where it
// ends (npos when the text ends first) and what it is; `what` is null when the
// markup there is none of them.
struct Opaque {
    std::size_t end;
    const char* what;
};

Opaque opaqueAt(std::string_view text, std::size_t open) {
    const auto endOf = [&](std::string_view marker, std::size_t from, const char* what) {
        const std::size_t found = text.find(marker, from);
        return Opaque{found == kNone ? kNone : found + marker.size(), what};
    };
    const std::string_view rest = text.substr(open);
    if (rest.starts_with("<!--")) return endOf("-->", open + 4, "comment");
    if (rest.starts_with("<![CDATA[")) return endOf("]]>", open + 9, "CDATA section");
    if (rest.starts_with("<?")) return endOf("?>", open + 2, "processing instruction");
    return {kNone, nullptr};
}

// In markup that the library has accepted: the '<' of the end tag of the
// element whose start tag ends at `tagEnd` (not with "/>"), nested elements,
// comments, CDATA and processing instructions stepped over; npos when the text
// ends first.
std::size_t endTagIn(std::string_view text, std::size_t tagEnd) {
    int depth = 1;
    for (std::size_t at = tagEnd; at < text.size();) {
        const std::size_t open = text.find('<', at);
        if (open == kNone) break;
        if (const Opaque opaque = opaqueAt(text, open); opaque.what != nullptr) {
            at = opaque.end;
        } else if (text.compare(open, 2, "</") == 0) {
            if (--depth == 0) return open;
            at = text.find('>', open);
        } else {
            at = tagEndIn(text, open);
            if (at != kNone && text[at - 2] != '/') ++depth;
        }
    }
    return kNone;
}

// Bytes of the text: [begin, end).
struct Range {
    std::size_t begin;
    std::size_t end;
};

// An attribute of a start tag: its name, and its value as the text has it
// between the quotes, before the library's conversions.
struct Attribute {
    std::string_view name;
    Range value;
};

// Whether an attribute is named `wanted`. Asked of every attribute that is
// read: with the length known when it is compiled, the comparison is a few
// loads, where std::string_view's calls into the C library.
template <std::size_t N>
bool isNamed(const Attribute& attribute, const char (&wanted)[N]) {
    return attribute.name.size() == N - 1 && std::memcmp(attribute.name.data(), wanted, N - 1) == 0;
}

// The value of the first attribute named `name`, which is the one that the
// library finds (it keeps a repeated attribute); empty when there is none.
template <std::size_t N>
Range valueNamed(std::span<const Attribute> attributes, const char (&name)[N]) {
    for (const Attribute& attribute : attributes) {
        if (isNamed(attribute, name)) return attribute.value;
    }
    return {0, 0};
}

// The game's start tag or one of its direct <rom> and <disk> children: where
// it starts and ends (the game's start tag: its own end), and its attributes
// in the walker's list.
struct Element {
    std::size_t begin;
    std::size_t end;
    std::size_t firstAttribute;
    std::size_t attributesEnd;
};

// Walks a game block a tag at a time and records what is read of it, so that
// the library need not parse it. What it steps over it must judge as the
// library would judge the whole file, so it takes only what it is certain of:
// markup as plain as a -listxml machine's. It gives up on anything else
// (comments, CDATA, processing instructions, a NUL byte, anything the library
// would refuse), and the block then goes to the library whole, which gives the
// verdict.
class BlockWalker {
public:
    BlockWalker(std::string_view text, bool readDevices)
        : data_(text.data()), size_(text.size()), end_(size_), readDevices_(readDevices) {}

    static constexpr std::size_t npos = std::string_view::npos;

    // The values of the name attributes of the last block's device_refs, as
    // the text has them (empty for one without), when the walker was asked for
    // them; and where the first device_ref starts.
    const std::vector<Range>& deviceNames() const { return deviceNames_; }
    std::size_t firstDevice() const { return firstDevice_; }

    // What the last block says the game is: the content of its first
    // <description>, <year> and <manufacturer> and the value of its first
    // <driver>'s status, as the text has them; empty where it gives none.
    enum Field { kDescription, kYear, kManufacturer, kDriverStatus, kFieldCount };
    const std::array<Range, kFieldCount>& fields() const { return fields_; }

    // The attributes of an element of the last block.
    std::span<const Attribute> attributesOf(const Element& element) const {
        return std::span(attributes_)
            .subspan(element.firstAttribute, element.attributesEnd - element.firstAttribute);
    }

    // The end of the block whose start tag is at `open`, with its game's start
    // tag and its roms and disks; npos when the walker gives up.
    std::size_t walk(std::size_t open, std::vector<Element>& elements) {
        elements.clear();
        attributes_.clear();
        names_.clear();
        deviceNames_.clear();
        firstDevice_ = npos;
        fields_.fill({0, 0});
        seenFields_ = 0;
        if (open + 1 >= end_ || !isA(data_[open + 1], kNameStart)) return npos;
        std::size_t at = open;
        bool entryOpen = false;
        for (;;) {
            if (data_[at + 1] == '/') {
                const Name name = names_.back();
                names_.pop_back();
                const std::size_t after = endTag(at, name);
                if (after == npos) return npos;
                if (names_.empty()) return after;
                if (names_.size() == 1 && entryOpen) {
                    elements.back().end = after;
                    entryOpen = false;
                }
                at = after;
            } else {
                bool empty = false;
                Name name{};
                // The game's start tag and its roms' and disks' are read.
                const bool read = names_.empty() ||
                                  (names_.size() == 1 && (opens(at, "rom") || opens(at, "disk")));
                const bool device =
                    readDevices_ && !read && names_.size() == 1 && opens(at, "device_ref");
                const Field field = !read && names_.size() == 1 ? fieldAt(at) : kFieldCount;
                const std::size_t firstAttribute = attributes_.size();
                const std::size_t after = read || device || field == kDriverStatus
                                              ? startTag<true>(at, name, empty)
                                              : startTag<false>(at, name, empty);
                if (after == npos) return npos;
                if (device) takeDeviceName(at, firstAttribute);
                if (field != kFieldCount && !takeField(field, after, empty, firstAttribute)) {
                    return npos;
                }
                if (names_.empty()) {
                    if (!isGameTag(view(name))) return npos;
                    elements.push_back({at, after, firstAttribute, attributes_.size()});
                    if (empty) return after;
                } else if (read) {
                    elements.push_back({at, after, firstAttribute, attributes_.size()});
                    entryOpen = !empty;
                }
                if (!empty) names_.push_back(name);
                at = after;
            }
            // Text up to the next tag, which must be a start or an end tag.
            at = findOrNul(at, '<');
            if (at >= end_ - 1 || data_[at] == '\0') return npos;
            const char next = data_[at + 1];
            if (next != '/' && !isA(next, kNameStart)) return npos;
        }
    }

private:
    struct Name {
        std::size_t begin;
        std::size_t length;
    };

    std::string_view view(const Name& name) const {
        return {data_ + name.begin, name.length};
    }

    // The first `wanted` or NUL byte from `at` on: size_ at the latest, where
    // the NUL after the bytes stands. Values and the text between tags are
    // short: a loop beats a call into the C library.
    std::size_t findOrNul(std::size_t at, char wanted) const {
        while (data_[at] != wanted && data_[at] != '\0') ++at;
        return at;
    }

    // Both skips stop at the NUL that follows the bytes at the latest.
    std::size_t skipBlanks(std::size_t at) const {
        while (isA(data_[at], kBlank)) ++at;
        return at;
    }

    std::size_t skipName(std::size_t at) const {
        while (isA(data_[at], kNamePart)) ++at;
        return at;
    }

    // Whether the tag at `open` is named `kind`.
    bool opens(std::size_t open, std::string_view kind) const {
        return open + kind.size() + 1 < end_ &&
               std::memcmp(data_ + open + 1, kind.data(), kind.size()) == 0 &&
               !isA(data_[open + 1 + kind.size()], kNamePart);
    }

    // After "/>" or ">" at `at`; npos for anything else.
    std::size_t tagEnd(std::size_t at, bool& empty) const {
        if (data_[at] == '>') return at + 1;
        if (data_[at] == '/' && at + 1 < end_ && data_[at + 1] == '>') {
            empty = true;
            return at + 2;
        }
        return npos;
    }

    // The start tag at `open`, whose '<' is followed by a name start: after its
    // end, with its name, and its attributes added to attributes_ when they are
    // `recorded` (most tags are only stepped over: they pay nothing for it).
    // Attributes are name, '=' with blanks around it, and a quoted value of any
    // bytes but NUL; a blank separates them.
    template <bool recorded>
    std::size_t startTag(std::size_t open, Name& name, bool& empty) {
        std::size_t at = skipName(open + 2);
        name = {open + 1, at - open - 1};
        for (;;) {
            if (!isA(data_[at], kBlank)) return tagEnd(at, empty);
            at = skipBlanks(at + 1);
            if (!isA(data_[at], kNameStart)) return tagEnd(at, empty);
            const std::size_t attributeName = at;
            // Blanks around '=' are rare: a byte tells before the skips.
            at = skipName(at + 1);
            const std::size_t nameEnd = at;
            if (data_[at] != '=') at = skipBlanks(at);
            if (data_[at] != '=' || ++at >= end_) return npos;
            if (data_[at] != '"') at = skipBlanks(at);
            const char quote = data_[at];
            if (quote != '"' && quote != '\'') return npos;
            const std::size_t value = at + 1;
            at = findOrNul(value, quote);
            if (at >= end_ - 1 || data_[at] == '\0') return npos;
            if constexpr (recorded) {
                attributes_.push_back(
                    {{data_ + attributeName, nameEnd - attributeName}, {value, at}});
            }
            ++at;
        }
    }

    // The field that a child of the game whose start tag is at `open` gives,
    // when it is the first of its kind in the block; kFieldCount otherwise.
    Field fieldAt(std::size_t open) const {
        Field field = kFieldCount;
        // Many children start with 'd' (device_ref, dipswitch, display): their
        // next letters tell them apart before any comparison.
        switch (data_[open + 1]) {
            case 'd':
                if (data_[open + 2] == 'e' && data_[open + 3] == 's') {
                    if (opens(open, "description")) field = kDescription;
                } else if (data_[open + 2] == 'r') {
                    if (opens(open, "driver")) field = kDriverStatus;
                }
                break;
            case 'y':
                if (opens(open, "year")) field = kYear;
                break;
            case 'm':
                if (opens(open, "manufacturer")) field = kManufacturer;
                break;
            default:
                break;
        }
        return field != kFieldCount && (seenFields_ >> field & 1U) != 0 ? kFieldCount : field;
    }

    // The field that a child of the game gives, whose start tag ends at `end`
    // and whose attributes startTag has recorded from `firstAttribute` on: the
    // status of a <driver>, the text of the others up to their end tag, which
    // the walk goes on to check. False when markup stands in the text: the
    // library then reads the block.
    bool takeField(Field field, std::size_t end, bool empty, std::size_t firstAttribute) {
        seenFields_ |= 1U << field;
        if (field == kDriverStatus) {
            fields_[field] = valueNamed(std::span(attributes_).subspan(firstAttribute), "status");
            return true;
        }
        if (empty) return true;
        const std::size_t close = findOrNul(end, '<');
        if (close >= end_ - 1 || data_[close + 1] != '/') return false;
        fields_[field] = {end, close};
        return true;
    }

    // The device_ref at `open`, whose attributes startTag has recorded from
    // `firstAttribute` on: the value of its first name attribute kept.
    void takeDeviceName(std::size_t open, std::size_t firstAttribute) {
        if (firstDevice_ == npos) firstDevice_ = open;
        deviceNames_.push_back(valueNamed(std::span(attributes_).subspan(firstAttribute), "name"));
    }

    // The end tag at `open` of the element named `name`: after its '>'.
    std::size_t endTag(std::size_t open, const Name& name) const {
        std::size_t at = open + 2;
        if (at + name.length >= end_) return npos;
        if (std::memcmp(data_ + at, data_ + name.begin, name.length) != 0) return npos;
        at += name.length;
        if (isA(data_[at], kNamePart)) return npos;
        at = skipBlanks(at);
        return data_[at] == '>' ? at + 1 : npos;
    }

    const char* data_;
    std::size_t size_;
    std::size_t end_;
    bool readDevices_;
    std::vector<Name> names_;
    std::vector<Attribute> attributes_;
    std::vector<Range> deviceNames_;
    std::size_t firstDevice_ = npos;
    std::array<Range, kFieldCount> fields_{};
    unsigned seenFields_ = 0;
};

class XmlReader {
public:
    explicit XmlReader(Dat& dat)
        : dat_(dat), text_(dat.text), walker_(dat.text, dat.readDevices) {}

    void run() {
        dat_.games.reserve(text_.size() / 2048);
        dat_.entries.reserve(text_.size() / 512);
        if (dat_.readDevices) dat_.deviceRefs.reserve(text_.size() / 256);
        scan();
        checkSkeleton();
    }

private:
    [[noreturn]] void fail(std::size_t offset, std::string reason) {
        throw DatError(dat_.path, positionOf(text_, offset), std::move(reason));
    }

    [[noreturn]] void failParse(std::size_t base, const pugi::xml_parse_result& result) {
        fail(base + static_cast<std::size_t>(result.offset < 0 ? 0 : result.offset),
             std::string("malformed XML: ") + result.description());
    }

    std::size_t find(std::string_view marker, std::size_t from, std::size_t open,
                     const char* what) {
        const std::size_t found = text_.find(marker, from);
        if (found == std::string_view::npos) {
            fail(open, std::string("malformed XML: unterminated ") + what);
        }
        return found + marker.size();
    }

    // After the '>' of the tag that starts at `at`, quotes honoured.
    std::size_t endOfTag(std::size_t at) const { return tagEndIn(text_, at); }

    // After a <!DOCTYPE ...> with its internal subset: declarations nest in
    // "<!" ... ">", quotes, comments and processing instructions hide a '>', and
    // "<![" ... "]]>" sections nest. The same bounds as the library draws them.
    std::size_t endOfDeclaration(std::size_t open) {
        const std::size_t size = text_.size();
        const auto at3 = [&](std::size_t at, std::string_view what) {
            return text_.compare(at, what.size(), what) == 0;
        };
        std::size_t depth = 0;
        std::size_t at = open + 2;
        while (at < size) {
            const char c = text_[at];
            if (at3(at, "<!") && !at3(at, "<!-")) {
                if (at3(at, "<![")) {
                    at = endOfIgnoredSection(at);
                } else {
                    at += 2;
                    ++depth;
                }
            } else if (at3(at, "<?")) {
                at = find("?>", at + 2, open, "declaration");
            } else if (at3(at, "<!--")) {
                at = find("-->", at + 4, open, "declaration");
            } else if (c == '"' || c == '\'') {
                const std::size_t close = text_.find(c, at + 1);
                if (close == std::string_view::npos) break;
                at = close + 1;
            } else if (c == '<') {
                break;
            } else if (c == '>') {
                if (depth == 0) return at + 1;
                --depth;
                ++at;
            } else {
                ++at;
            }
        }
        fail(open, "malformed XML: unterminated declaration");
    }

    std::size_t endOfIgnoredSection(std::size_t open) {
        std::size_t depth = 0;
        for (std::size_t at = open + 3; at < text_.size();) {
            if (text_.compare(at, 3, "<![") == 0) {
                at += 3;
                ++depth;
            } else if (text_.compare(at, 3, "]]>") == 0) {
                at += 3;
                if (depth == 0) return at;
                --depth;
            } else {
                ++at;
            }
        }
        fail(open, "malformed XML: unterminated declaration");
    }

    // After the comment, CDATA section or processing instruction that starts at
    // `open`; npos when the markup there is none of them.
    std::size_t endOfOpaque(std::size_t open) {
        const Opaque opaque = opaqueAt(text_, open);
        if (opaque.what != nullptr && opaque.end == kNone) {
            fail(open, std::string("malformed XML: unterminated ") + opaque.what);
        }
        return opaque.end;
    }

    std::string_view tagName(std::size_t open, std::size_t end) const {
        const std::string_view tag = text_.substr(open + 1, end - open - 1);
        return tag.substr(0, tag.find_first_of(" \t\r\n/>"));
    }

    // One pass over the markup: the game blocks go to the library one by one,
    // the rest into the skeleton. Only the markup's shape counts here (where a
    // tag, comment or section starts and ends); the library judges the rest.
    void scan() {
        const char* data = text_.data();
        const std::size_t size = text_.size();
        std::size_t at = 0;
        int depth = 0;
        int roots = 0;
        std::size_t blockStart = std::string_view::npos;
        std::size_t skeletonFrom = 0;
        const auto endBlock = [&](std::size_t end) {
            addToSkeleton(skeletonFrom, blockStart);
            parseGame(blockStart, end);
            skeletonFrom = end;
            blockStart = std::string_view::npos;
        };
        for (;;) {
            const void* found = at < size ? std::memchr(data + at, '<', size - at) : nullptr;
            const auto open =
                found == nullptr ? size
                                 : static_cast<std::size_t>(static_cast<const char*>(found) - data);
            // The library takes a NUL byte for the end of the document; after the
            // root, whatever follows it is no part of the dat.
            const void* nul = depth == 0 ? std::memchr(data + at, '\0', open - at) : nullptr;
            if (depth == 0 && roots > 0) {
                const std::size_t stop =
                    nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - data)
                                   : open;
                refuseAfterRoot(at, stop, nul == nullptr && found != nullptr);
            }
            if (nul != nullptr || found == nullptr) break;
            const std::string_view rest = text_.substr(open);
            if (const std::size_t after = endOfOpaque(open); after != std::string_view::npos) {
                at = after;
            } else if (rest.starts_with("<!")) {
                at = endOfDeclaration(open);
            } else if (rest.starts_with("</")) {
                at = find(">", open + 2, open, "end tag");
                --depth;
                if (depth < 0) fail(open, "malformed XML: an end tag without its start tag");
                if (depth == 1 && blockStart != std::string_view::npos) endBlock(at);
            } else {
                at = endOfTag(open);
                if (at == std::string_view::npos) fail(open, "malformed XML: unterminated tag");
                const bool empty = data[at - 2] == '/';
                if (depth == 0 && roots++ == 0) checkRoot(open, at);
                if (depth == 1 && roots == 1 && isGameTag(tagName(open, at))) {
                    dat_.storage.passed(open);
                    if (const std::size_t end = tryLean(open); end != std::string_view::npos) {
                        addToSkeleton(skeletonFrom, open);
                        skeletonFrom = at = end;
                        continue;
                    }
                    blockStart = open;
                    if (empty) {
                        endBlock(at);
                        continue;
                    }
                    // Most blocks end at the first end tag of their name; when the
                    // library agrees, the walk through the block's tags is saved.
                    if (const std::size_t end = firstEndTag(tagName(open, at), at);
                        end != std::string_view::npos && tryGame(open, end)) {
                        addToSkeleton(skeletonFrom, open);
                        skeletonFrom = at = end;
                        blockStart = std::string_view::npos;
                        continue;
                    }
                }
                if (!empty) ++depth;
            }
        }
        if (blockStart != std::string_view::npos) {
            fail(blockStart, "malformed XML: the file ends inside this element (truncated file?)");
        }
        addToSkeleton(skeletonFrom, size);
    }

    // After the root element only blanks, comments and processing instructions
    // may come: a game there would be left out of the dat without a word. The
    // text [from, to) must be blanks and, when `markupAtTo`, the markup at `to`
    // a comment or an instruction.
    void refuseAfterRoot(std::size_t from, std::size_t to, bool markupAtTo) {
        for (std::size_t at = from; at < to; ++at) {
            const char c = text_[at];
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
                fail(at, "malformed XML: text after the root element");
            }
        }
        if (!markupAtTo) return;
        const std::string_view rest = text_.substr(to);
        if (!rest.starts_with("<!--") && !rest.starts_with("<?")) {
            fail(to,
                 "malformed XML: markup after the root element (only comments and processing "
                 "instructions may follow it)");
        }
    }

    // After the first "</name>" from `from` on, whatever it stands in.
    std::size_t firstEndTag(std::string_view name, std::size_t from) const {
        const char* data = text_.data();
        const std::size_t size = text_.size();
        for (std::size_t at = from;;) {
            const std::size_t found = findEndTagStart(at);
            if (found == std::string_view::npos) return found;
            std::size_t after = found + 2 + name.size();
            // Most end tags in a block are of other names: one byte tells.
            if (found + 2 < size && data[found + 2] == name.front() &&
                text_.compare(found + 2, name.size(), name) == 0) {
                while (after < size && (data[after] == ' ' || data[after] == '\t' ||
                                        data[after] == '\r' || data[after] == '\n')) {
                    ++after;
                }
                if (after < size && data[after] == '>') return after + 1;
            }
            at = found + 1;
        }
    }

    // The next "</" from `from` on.
    std::size_t findEndTagStart(std::size_t from) const {
        const char* data = text_.data();
        const std::size_t size = text_.size();
        for (std::size_t at = from; at + 1 < size; ++at) {
            const void* open = std::memchr(data + at, '<', size - 1 - at);
            if (open == nullptr) break;
            at = static_cast<std::size_t>(static_cast<const char*>(open) - data);
            if (data[at + 1] == '/') return at;
        }
        return std::string_view::npos;
    }

    void checkRoot(std::size_t open, std::size_t end) {
        const std::string_view name = tagName(open, end);
        if (name != "mame" && name != "datafile") {
            fail(open,
                 "the XML root element is <" + std::string(name) + ">, not <mame> or <datafile>");
        }
    }

    struct Piece {
        std::size_t skeletonOffset;
        std::size_t textOffset;
    };

    void addToSkeleton(std::size_t begin, std::size_t end) {
        if (begin >= end) return;
        pieces_.push_back({skeleton_.size(), begin});
        skeleton_.append(text_.substr(begin, end - begin));
    }

    std::size_t textOffsetOf(std::size_t skeletonOffset) const {
        std::size_t offset = skeletonOffset;
        for (const Piece& piece : pieces_) {
            if (piece.skeletonOffset > skeletonOffset) break;
            offset = piece.textOffset + (skeletonOffset - piece.skeletonOffset);
        }
        return offset;
    }

    // The text around the game blocks must be a document as well: prolog, root
    // and whatever else the root holds.
    void checkSkeleton() {
        // A copy, not in place: the two part ways over a NUL byte after the root,
        // and a reader of the whole file would make a copy.
        const pugi::xml_parse_result result = document_.load_buffer(
            skeleton_.data(), skeleton_.size(), kParseOptions, pugi::encoding_utf8);
        if (!result) {
            fail(textOffsetOf(static_cast<std::size_t>(result.offset < 0 ? 0 : result.offset)),
                 std::string("malformed XML: ") + result.description());
        }
        const pugi::xml_node root = document_.document_element();
        const std::string_view rootName = root.name();
        if (rootName != "mame" && rootName != "datafile") {
            fail(0, "the XML root element is <" + std::string(rootName) +
                        ">, not <mame> or <datafile>");
        }
        findHeader(root.child("header"));
    }

    // Where a <header> that ends before the first game names the dat. The
    // skeleton is the text itself up to the first game, and the library's
    // reading of it gives the elements' places.
    void findHeader(const pugi::xml_node& header) {
        if (!header || header.offset_debug() < 0) return;
        const std::string_view head(skeleton_.data(),
                                    pieces_.size() > 1 ? pieces_[1].skeletonOffset : skeleton_.size());
        const char* base = header.name() - header.offset_debug();
        const auto startOfNode = [&](const pugi::xml_node& node) {
            return static_cast<std::size_t>(node.name() - base) - 1;
        };
        const std::size_t open = startOfNode(header);
        const std::size_t tagEnd = tagEndIn(head, open);
        if (tagEnd == kNone || head[tagEnd - 2] == '/' || endTagIn(head, tagEnd) == kNone) return;
        HeaderFields& fields = dat_.header;
        fields.kind = HeaderFields::Kind::Datafile;
        fields.afterOpen = static_cast<std::uint32_t>(tagEnd);
        const auto content = [&](const pugi::xml_node& node, std::uint32_t* after) {
            HeaderFields::Field field;
            if (!node) return field;
            const std::size_t start = startOfNode(node);
            const std::size_t end = tagEndIn(head, start);
            if (end == kNone) return field;
            const bool empty = head[end - 2] == '/';
            const std::size_t close = empty ? end : endTagIn(head, end);
            if (close == kNone) return field;
            field = {static_cast<std::uint32_t>(empty ? start : end),
                     static_cast<std::uint32_t>(close), true, empty};
            if (after != nullptr) {
                *after = static_cast<std::uint32_t>(empty ? end : head.find('>', close) + 1);
            }
            return field;
        };
        fields.name = content(header.child("name"), &fields.afterName);
        fields.description = content(header.child("description"), nullptr);
        const pugi::xml_attribute merging = header.child("clrmamepro").attribute("forcemerging");
        if (merging) {
            const auto begin = static_cast<std::size_t>(merging.value() - base);
            const char quote = begin > 0 && begin < head.size() ? head[begin - 1] : '\0';
            const std::size_t end = head.find(quote, begin);
            if ((quote == '"' || quote == '\'') && end != kNone) {
                fields.forceMerging = {static_cast<std::uint32_t>(begin),
                                       static_cast<std::uint32_t>(end), true, false};
            }
        }
    }

    // The attribute value [range.begin, range.end) of the text as the library
    // reads it. The walker leaves values as the text has them, and the blocks
    // that the library reads are parsed without its conversions of them
    // (entities, tabs and line ends), as nearly every value has none and the
    // conversion pass is a tenth of the parse. A value that has one is converted
    // by the library all the same, on a document of its own, with the options a
    // whole-file parse would use: the result is the same either way.
    std::string_view valueOf(Range range) {
        const std::string_view raw = text_.substr(range.begin, range.end - range.begin);
        // The text has no NUL after a value for strcspn, and values are short.
        if (std::none_of(raw.begin(), raw.end(), [](char c) { return isA(c, kConverted); })) {
            return raw;
        }
        return convertedValue(range);
    }

    // Out of line: valueOf is called for every value that is read, and this
    // rare path would weigh on each call.
    [[gnu::noinline]] std::string_view convertedValue(Range range) {
        const std::string_view raw = text_.substr(range.begin, range.end - range.begin);
        // The value stands in the text followed by its closing quote.
        const char quote = text_[range.end];
        valueScratch_.assign("<a v=").append(1, quote).append(raw).append(1, quote).append("/>");
        const pugi::xml_parse_result result = valueDocument_.load_buffer(
            valueScratch_.data(), valueScratch_.size(), pugi::parse_default, pugi::encoding_utf8);
        if (!result) fail(range.begin, std::string("malformed XML: ") + result.description());
        return valueDocument_.document_element().first_attribute().value();
    }

    // An attribute value as the library reads it, copied into the dat's own
    // strings.
    Span keep(Range range) {
        const std::string_view value = valueOf(range);
        return value.empty() ? Span{} : dat_.keep(value, range.begin);
    }

    // Where the value of `attribute` of the block that the library has read
    // from scratch_ stands in the text, which starts the block at `shift`;
    // empty when the element has no such attribute.
    Range rangeOf(const pugi::xml_attribute& attribute, std::size_t shift) const {
        if (!attribute) return {0, 0};
        const char* value = attribute.value();
        const std::size_t begin = shift + static_cast<std::size_t>(value - scratch_.data());
        return {begin, begin + std::strlen(value)};
    }

    // The attributes of `node`, of the block that the library has read, as the
    // walker records them.
    std::span<const Attribute> attributesOf(const pugi::xml_node& node, std::size_t shift) {
        libraryAttributes_.clear();
        for (const pugi::xml_attribute attribute : node.attributes()) {
            libraryAttributes_.push_back({attribute.name(), rangeOf(attribute, shift)});
        }
        return libraryAttributes_;
    }

    // The text [range.begin, range.end) as the library reads it (entities,
    // CDATA sections and line ends decoded, markup inside it left out), copied
    // into the dat's own strings.
    Span keepText(Range range) {
        const std::string_view raw = text_.substr(range.begin, range.end - range.begin);
        if (raw.empty()) return {};
        // Short texts: a loop beats three calls into the C library.
        if (std::none_of(raw.begin(), raw.end(),
                         [](char c) { return c == '&' || c == '<' || c == '\r'; })) {
            return dat_.keep(raw, range.begin);
        }
        if (decodeNamedEntities(raw, valueScratch_)) return dat_.keep(valueScratch_, range.begin);
        valueScratch_.assign("<a>").append(raw).append("</a>");
        const pugi::xml_parse_result result = valueDocument_.load_buffer(
            valueScratch_.data(), valueScratch_.size(), kParseOptions, pugi::encoding_utf8);
        if (!result) fail(range.begin, std::string("malformed XML: ") + result.description());
        std::string text;
        for (const pugi::xml_node part : valueDocument_.document_element().children()) {
            if (part.type() == pugi::node_pcdata || part.type() == pugi::node_cdata) {
                text += part.value();
            }
        }
        return text.empty() ? Span{} : dat_.keep(text, range.begin);
    }

    // `raw` with its entities decoded into `out` when they are all among the
    // five that XML names (as "Art &amp; Magic" has it) and it holds no markup
    // or CR; false otherwise, for the library to decode. A document of its own
    // for each such text would cost more than the rest of its reading.
    static bool decodeNamedEntities(std::string_view raw, std::string& out) {
        static constexpr std::pair<std::string_view, char> kNamed[] = {
            {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
        out.clear();
        for (std::size_t at = 0; at < raw.size();) {
            const char c = raw[at];
            if (c == '<' || c == '\r') return false;
            if (c != '&') {
                out += c;
                ++at;
                continue;
            }
            const auto* named = std::find_if(
                std::begin(kNamed), std::end(kNamed),
                [&](const auto& e) { return raw.substr(at, e.first.size()) == e.first; });
            if (named == std::end(kNamed)) return false;
            out += named->second;
            at += named->first.size();
        }
        return true;
    }

    // The content of the element `node` of the block [blockBegin, blockEnd),
    // which the library has read whole, as keepText gives it.
    Span keepContent(const pugi::xml_node& node, std::size_t blockBegin, std::size_t blockEnd) {
        const std::string_view block = text_.substr(0, blockEnd);
        const std::size_t tagEnd = tagEndIn(block, startOf(node, blockBegin));
        if (tagEnd == kNone || block[tagEnd - 2] == '/') return {};
        const std::size_t close = endTagIn(block, tagEnd);
        if (close == kNone) return {};
        return keepText({tagEnd, close});
    }

    // Where the element whose name the library gives starts in the text.
    std::size_t startOf(const pugi::xml_node& node, std::size_t shift) const {
        return shift + static_cast<std::size_t>(node.name() - scratch_.data()) - 1;
    }

    // The block that starts at `open` read from what the walker records of it:
    // its end, or npos, with nothing read, when the walker would rather have
    // the library read the whole block.
    std::size_t tryLean(std::size_t open) {
        const std::size_t end = walker_.walk(open, elements_);
        if (end != std::string_view::npos) readWalkedGame(open, end);
        return end;
    }

    // The block read as a game when the library takes [begin, end) for one
    // element; false, with nothing read, when it does not.
    bool tryGame(std::size_t begin, std::size_t end) {
        if (!parseBlock(begin, end)) return false;
        readGame(begin, end);
        return true;
    }

    // The library's reading of the whole block [begin, end), in scratch_.
    pugi::xml_parse_result parseBlock(std::size_t begin, std::size_t end) {
        refuseNul(begin, end);
        scratch_.assign(text_.data() + begin, end - begin);
        return document_.load_buffer_inplace(scratch_.data(), scratch_.size(), kBlockParseOptions,
                                             pugi::encoding_utf8);
    }

    // The library takes a NUL byte for the end of its buffer, and in a block's
    // buffer of its own that may end the block early where the whole document
    // would not end: no block may hold one.
    void refuseNul(std::size_t begin, std::size_t end) {
        const void* nul = std::memchr(text_.data() + begin, '\0', end - begin);
        if (nul != nullptr) {
            fail(static_cast<std::size_t>(static_cast<const char*>(nul) - text_.data()),
                 "malformed XML: a NUL byte inside an element");
        }
    }

    void parseGame(std::size_t begin, std::size_t end) {
        const pugi::xml_parse_result result = parseBlock(begin, end);
        if (!result) failParse(begin, result);
        readGame(begin, end);
    }

    // A game named by the attributes of its start tag at `begin`, before its
    // entries and device_refs are read.
    Game startGame(std::span<const Attribute> attributes, std::size_t begin) {
        Game game;
        game.name = keep(valueNamed(attributes, "name"));
        if (game.name.empty()) {
            fail(begin,
                 "the <" + std::string(tagName(begin, text_.size())) + "> element has no name");
        }
        game.cloneOf = keep(valueNamed(attributes, "cloneof"));
        game.romOf = keep(valueNamed(attributes, "romof"));
        game.firstEntry = static_cast<std::uint32_t>(dat_.entries.size());
        game.firstDeviceRef = static_cast<std::uint32_t>(dat_.deviceRefs.size());
        return game;
    }

    // The game of the block [begin, end), whose first device_ref starts at
    // `firstDevice` (npos for none), added to the dat once its entries and
    // device_refs are.
    void finishGame(Game& game, std::size_t begin, std::size_t end, std::size_t firstDevice) {
        game.entryCount = static_cast<std::uint32_t>(dat_.entries.size()) - game.firstEntry;
        game.deviceRefCount =
            static_cast<std::uint32_t>(dat_.deviceRefs.size()) - game.firstDeviceRef;
        if (firstDevice != kNone) {
            // Its line, when only blanks come before it there.
            std::size_t lineStart = firstDevice;
            while (text_[lineStart - 1] == ' ' || text_[lineStart - 1] == '\t') --lineStart;
            game.deviceRefsAt = static_cast<std::uint32_t>(
                text_[lineStart - 1] == '\n' ? lineStart : firstDevice);
        }
        const detail::ByteRange range = detail::wholeLines(text_, begin, end);
        game.blockBegin = range.begin;
        game.blockEnd = range.end;
        dat_.games.push_back(game);
    }

    // The game of the block [begin, end) that the walker has stepped through,
    // from what it recorded there.
    void readWalkedGame(std::size_t begin, std::size_t end) {
        Game game = startGame(walker_.attributesOf(elements_.front()), begin);
        for (std::size_t e = 1; e < elements_.size(); ++e) {
            const Element& entry = elements_[e];
            const bool disk = text_[entry.begin + 1] == 'd';  // else a rom
            readEntry(walker_.attributesOf(entry), disk, entry.begin, entry.end);
        }
        const auto& fields = walker_.fields();
        game.description = keepText(fields[BlockWalker::kDescription]);
        game.year = keepText(fields[BlockWalker::kYear]);
        game.manufacturer = keepText(fields[BlockWalker::kManufacturer]);
        game.driverStatus = keep(fields[BlockWalker::kDriverStatus]);
        for (const Range& name : walker_.deviceNames()) {
            const std::string_view value = valueOf(name);
            if (!value.empty()) dat_.addDeviceRef(value, name.begin);
        }
        finishGame(game, begin, end, walker_.firstDevice());
    }

    // The game of the block [begin, end) that the library has just parsed.
    void readGame(std::size_t begin, std::size_t end) {
        const pugi::xml_node node = document_.document_element();
        Game game = startGame(attributesOf(node, begin), begin);
        std::size_t firstDevice = kNone;
        for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
            const char* kind = child.name();
            const bool rom = nameIs(kind, "rom");
            if (child.type() != pugi::node_element) continue;
            if (rom || nameIs(kind, "disk")) {
                const std::size_t entryEnd = endOfEntry(child, begin, end);
                readEntry(attributesOf(child, begin), !rom, startOf(child, begin), entryEnd);
            } else if (nameIs(kind, "description") || nameIs(kind, "year") ||
                       nameIs(kind, "manufacturer")) {
                Span& field = kind[0] == 'd'   ? game.description
                              : kind[0] == 'y' ? game.year
                                               : game.manufacturer;
                if (field.empty()) field = keepContent(child, begin, end);
            } else if (nameIs(kind, "driver")) {
                if (game.driverStatus.empty()) {
                    game.driverStatus = keep(rangeOf(child.attribute("status"), begin));
                }
            } else if (dat_.readDevices && nameIs(kind, "device_ref")) {
                if (firstDevice == kNone) firstDevice = startOf(child, begin);
                const Range name = rangeOf(child.attribute("name"), begin);
                const std::string_view value = valueOf(name);
                if (!value.empty()) dat_.addDeviceRef(value, name.begin);
            }
        }
        finishGame(game, begin, end, firstDevice);
    }

    // The entry that the rom or disk element [start, end) with `attributes` gives.
    void readEntry(std::span<const Attribute> attributes, bool disk, std::size_t start,
                   std::size_t end) {
        Entry entry;
        if (disk) entry.flags |= kEntryDisk;
        // One pass over the attributes: a dat has hundreds of thousands of these.
        // The library keeps a repeated attribute; the first of a name counts.
        unsigned seen = 0;
        const auto first = [&seen](unsigned bit) {
            const bool isFirst = (seen & bit) == 0;
            seen |= bit;
            return isFirst;
        };
        for (const Attribute& attribute : attributes) {
            if (isNamed(attribute, "name")) {
                if (first(1)) entry.name = keep(attribute.value);
            } else if (isNamed(attribute, "merge")) {
                if (first(2)) entry.setMerged(!valueOf(attribute.value).empty());
            } else if (isNamed(attribute, "sha1")) {
                if (first(4)) entry.setSha1(keep(attribute.value));
            } else if (isNamed(attribute, "md5")) {
                if (first(8)) entry.setMd5(keep(attribute.value));
            } else if (isNamed(attribute, "size")) {
                if (first(16) && detail::parseSize(valueOf(attribute.value), entry.size)) {
                    entry.flags |= kEntryHasSize;
                }
            } else if (isNamed(attribute, "crc")) {
                if (first(32) && detail::parseCrc(valueOf(attribute.value), entry.crc)) {
                    entry.flags |= kEntryHasCrc;
                }
            } else if (isNamed(attribute, "status")) {
                if (first(64) && detail::isNoDumpWord(valueOf(attribute.value))) {
                    entry.flags |= kEntryNoDump;
                }
            }
        }
        if (entry.name.empty()) {
            fail(start, std::string("the <") + (disk ? "disk" : "rom") + "> element has no name");
        }
        const detail::ByteRange range = detail::wholeLines(text_, start, end);
        entry.cutBegin = range.begin;
        entry.cutEnd = range.end;
        dat_.entries.push_back(entry);
    }

    // Where a rom or disk element ends: after "/>", else after its end tag. The
    // library has checked the block already; the walk only skips what may hide
    // a '<' or '>'.
    std::size_t endOfEntry(const pugi::xml_node& node, std::size_t blockBegin,
                           std::size_t blockEnd) {
        const std::size_t start = startOf(node, blockBegin);
        // The start tag's last value ends at its closing quote, where the library
        // put the value's end: only blanks and the tag's end follow, so the walk
        // through the tag starts there.
        std::size_t from = start;
        const char* last = node.last_attribute().value();
        if (last >= scratch_.data() && last < scratch_.data() + scratch_.size()) {
            from =
                blockBegin + static_cast<std::size_t>(last - scratch_.data()) + std::strlen(last);
        }
        const std::size_t tagEnd = endOfTag(from);
        if (tagEnd == std::string_view::npos || tagEnd > blockEnd) {
            fail(start, "malformed XML: unterminated tag");
        }
        if (text_[tagEnd - 2] == '/') return tagEnd;
        const std::size_t close = endTagIn(text_.substr(0, blockEnd), tagEnd);
        if (close == kNone) fail(start, "cannot find the end of this element");
        return find(">", close + 2, close, "end tag");
    }

    // For the skeleton, which is parsed whole.
    static constexpr unsigned kParseOptions = pugi::parse_default;
    // For the game blocks: the values that count are converted by valueOf.
    static constexpr unsigned kBlockParseOptions = pugi::parse_minimal;

    Dat& dat_;
    std::string_view text_;
    pugi::xml_document document_;
    std::string scratch_;
    pugi::xml_document valueDocument_;
    std::string valueScratch_;
    std::vector<Attribute> libraryAttributes_;
    BlockWalker walker_;
    std::vector<Element> elements_;
    std::string skeleton_;
    std::vector<Piece> pieces_;
};

}  // namespace

void parseXml(Dat& dat) {
    XmlReader(dat).run();
}

bool xmlSupported() {
    return true;
}

}  // namespace zfe::zandorel

#else  // no XML library in this build

namespace zfe::zandorel {

void parseXml(Dat& dat) {
    throw DatError(dat.path, positionOf(dat.text, 0),
                   "this is an XML dat, and this build of zandorel cannot read XML "
                   "(it was built without pugixml); convert the dat to listinfo text");
}

bool xmlSupported() {
    return false;
}

}  // namespace zfe::zandorel

#endif
