#include "tools/zandorel/xml_reader.h"

#ifdef ZFE_HAVE_PUGIXML

#include <cstring>
#include <pugixml.hpp>
#include <string>

#include "tools/zandorel/reader_support.h"

namespace zfe::zandorel {

namespace {

class XmlReader {
public:
    explicit XmlReader(Dat& dat) : dat_(dat), text_(dat.text) {}

    void run() {
        pugi::xml_document document;
        // Taken as UTF-8 whatever the declaration says: no conversion, so that
        // the parser's offsets are offsets into our own copy of the bytes.
        const pugi::xml_parse_result result = document.load_buffer(
            text_.data(), text_.size(), pugi::parse_default, pugi::encoding_utf8);
        if (!result) {
            fail(static_cast<std::size_t>(result.offset < 0 ? 0 : result.offset),
                 std::string("malformed XML: ") + result.description());
        }
        const pugi::xml_node root = document.document_element();
        const std::string_view rootName = root.name();
        if (rootName != "mame" && rootName != "datafile") {
            fail(startOf(root), "the XML root element is <" + std::string(rootName) +
                                    ">, not <mame> or <datafile>");
        }
        for (const pugi::xml_node node : root.children()) {
            if (node.type() != pugi::node_element) continue;
            const std::string_view name = node.name();
            if (name == "game" || name == "machine") readGame(node);
        }
    }

private:
    [[noreturn]] void fail(std::size_t offset, std::string reason) {
        throw DatError(dat_.path, positionOf(text_, offset), std::move(reason));
    }

    // Where the element's '<' is in the text.
    std::size_t startOf(const pugi::xml_node& node) {
        const std::ptrdiff_t nameOffset = node.offset_debug();
        const std::size_t nameLength = std::strlen(node.name());
        if (nameOffset < 1 || static_cast<std::size_t>(nameOffset) + nameLength > text_.size() ||
            text_[static_cast<std::size_t>(nameOffset) - 1] != '<' ||
            text_.substr(static_cast<std::size_t>(nameOffset), nameLength) != node.name()) {
            fail(0, "cannot find the element <" + std::string(node.name()) + "> in the text");
        }
        return static_cast<std::size_t>(nameOffset) - 1;
    }

    // Where the element ends: after "/>" of an empty element, else after its end
    // tag. The parser has checked the nesting already; this walk over the markup
    // only has to skip what may hide a '<' or '>': quoted attribute values,
    // comments, CDATA and processing instructions.
    std::size_t endOf(std::size_t start) {
        int depth = 0;
        std::size_t at = start;
        while (at < text_.size()) {
            const std::string_view rest = text_.substr(at);
            std::size_t after = std::string_view::npos;
            if (rest.starts_with("<!--")) {
                after = skipPast(at + 4, "-->");
            } else if (rest.starts_with("<![CDATA[")) {
                after = skipPast(at + 9, "]]>");
            } else if (rest.starts_with("<?")) {
                after = skipPast(at + 2, "?>");
            } else if (rest.starts_with("</")) {
                after = skipPast(at + 2, ">");
                if (after != std::string_view::npos && --depth == 0) return after;
            } else {
                after = endOfTag(at);
                if (after != std::string_view::npos) {
                    if (text_[after - 2] != '/') {
                        ++depth;
                    } else if (depth == 0) {
                        return after;
                    }
                }
            }
            if (after == std::string_view::npos || depth <= 0) break;
            at = text_.find('<', after);
        }
        fail(start, "cannot find the end of this element");
    }

    std::size_t skipPast(std::size_t from, std::string_view marker) const {
        const std::size_t found = text_.find(marker, from);
        return found == std::string_view::npos ? found : found + marker.size();
    }

    // After the '>' of the tag that starts at `at`, quotes honoured.
    std::size_t endOfTag(std::size_t at) const {
        char quote = 0;
        for (++at; at < text_.size(); ++at) {
            const char c = text_[at];
            if (quote != 0) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                return at + 1;
            }
        }
        return std::string_view::npos;
    }

    Span keep(const pugi::xml_attribute& attribute) {
        Span span;
        if (!attribute) return span;
        const char* value = attribute.value();
        const std::size_t length = std::strlen(value);
        if (dat_.decoded.size() + length >= 0x80000000U) fail(0, "too many strings");
        span.offset = static_cast<std::uint32_t>(dat_.decoded.size());
        span.length = static_cast<std::uint32_t>(length) & 0x7fffffffU;
        span.inDecoded = 1;
        dat_.decoded.append(value, length);
        return span;
    }

    void readGame(const pugi::xml_node& node) {
        const std::size_t start = startOf(node);
        Game game;
        game.name = keep(node.attribute("name"));
        if (game.name.empty()) {
            fail(start, "the <" + std::string(node.name()) + "> element has no name");
        }
        game.cloneOf = keep(node.attribute("cloneof"));
        game.romOf = keep(node.attribute("romof"));
        game.firstEntry = static_cast<std::uint32_t>(dat_.entries.size());
        for (const pugi::xml_node child : node.children()) {
            if (child.type() != pugi::node_element) continue;
            const std::string_view kind = child.name();
            if (kind == "rom" || kind == "disk") readEntry(child, kind == "disk");
        }
        game.entryCount = static_cast<std::uint32_t>(dat_.entries.size()) - game.firstEntry;
        const detail::ByteRange range = detail::wholeLines(text_, start, endOf(start));
        game.blockBegin = range.begin;
        game.blockEnd = range.end;
        dat_.games.push_back(game);
    }

    void readEntry(const pugi::xml_node& node, bool disk) {
        const std::size_t start = startOf(node);
        Entry entry;
        if (disk) entry.flags |= kEntryDisk;
        entry.name = keep(node.attribute("name"));
        if (entry.name.empty()) {
            fail(start, "the <" + std::string(node.name()) + "> element has no name");
        }
        entry.merge = keep(node.attribute("merge"));
        entry.sha1 = keep(node.attribute("sha1"));
        entry.md5 = keep(node.attribute("md5"));
        if (const pugi::xml_attribute size = node.attribute("size")) {
            if (detail::parseSize(size.value(), entry.size)) entry.flags |= kEntryHasSize;
        }
        if (const pugi::xml_attribute crc = node.attribute("crc")) {
            if (detail::parseCrc(crc.value(), entry.crc)) entry.flags |= kEntryHasCrc;
        }
        if (detail::isNoDumpWord(node.attribute("status").value())) entry.flags |= kEntryNoDump;
        const detail::ByteRange range = detail::wholeLines(text_, start, endOf(start));
        entry.cutBegin = range.begin;
        entry.cutEnd = range.end;
        dat_.entries.push_back(entry);
    }

    Dat& dat_;
    std::string_view text_;
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
