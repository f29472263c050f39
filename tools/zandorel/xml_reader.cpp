#include "tools/zandorel/xml_reader.h"

#ifdef ZFE_HAVE_PUGIXML

#include <pugixml.hpp>

#include <cstring>
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
    // tag. The parser has checked the nesting already, so the first end tag of
    // this name closes the element (games and roms do not nest in themselves).
    std::size_t endOf(const pugi::xml_node& node, std::size_t start) {
        char quote = 0;
        std::size_t at = start + 1;
        for (; at < text_.size(); ++at) {
            const char c = text_[at];
            if (quote != 0) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                break;
            }
        }
        if (at >= text_.size()) fail(start, "unterminated tag");
        if (text_[at - 1] == '/') return at + 1;
        const std::string endTag = "</" + std::string(node.name());
        std::size_t close = text_.find(endTag, at);
        while (close != std::string_view::npos) {
            const std::size_t after = close + endTag.size();
            if (after < text_.size() && (text_[after] == '>' || text_[after] == ' ' ||
                                         text_[after] == '\t' || text_[after] == '\r' ||
                                         text_[after] == '\n')) {
                const std::size_t gt = text_.find('>', after);
                if (gt == std::string_view::npos) break;
                return gt + 1;
            }
            close = text_.find(endTag, after);
        }
        fail(start, "cannot find the end of <" + std::string(node.name()) + ">");
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
        const detail::ByteRange range = detail::wholeLines(text_, start, endOf(node, start));
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
        const detail::ByteRange range = detail::wholeLines(text_, start, endOf(node, start));
        entry.cutBegin = range.begin;
        entry.cutEnd = range.end;
        dat_.entries.push_back(entry);
    }

    Dat& dat_;
    std::string_view text_;
};

}  // namespace

void parseXml(Dat& dat) { XmlReader(dat).run(); }

bool xmlSupported() { return true; }

}  // namespace zfe::zandorel

#else  // no XML library in this build

namespace zfe::zandorel {

void parseXml(Dat& dat) {
    throw DatError(dat.path, positionOf(dat.text, 0),
                   "this is an XML dat, and this build of zandorel cannot read XML "
                   "(it was built without pugixml); convert the dat to listinfo text");
}

bool xmlSupported() { return false; }

}  // namespace zfe::zandorel

#endif
