#include "tools/zandorel/listinfo_reader.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "tools/zandorel/reader_support.h"

namespace zfe::zandorel {

namespace {

using detail::wholeLines;

// Sub-blocks deeper than this are not listinfo; the limit keeps a hostile file
// from exhausting the stack.
constexpr int kMaxDepth = 64;

enum class TokenKind { End, Open, Close, Word, String };

struct Token {
    TokenKind kind = TokenKind::End;
    std::uint32_t begin = 0;  // in the text, quotes included
    std::uint32_t end = 0;
    Span value;  // the word, or the string without quotes and unescaped
};

// What a byte means to the tokenizer, looked up rather than tested, since every
// byte of the file passes through here.
enum ByteClass : unsigned char {
    kWordByte,
    kBlankByte,
    kOpenByte,
    kCloseByte,
    kQuoteByte,
    kControlByte
};

struct ByteClasses {
    ByteClass of[256];
    constexpr ByteClasses() : of() {
        for (int c = 0; c < 256; ++c) {
            of[c] = (c < 0x20 || c == 0x7f) ? kControlByte : kWordByte;
        }
        for (const int blank : {' ', '\t', '\n', '\r', '\f', '\v'}) of[blank] = kBlankByte;
        of[static_cast<int>('(')] = kOpenByte;
        of[static_cast<int>(')')] = kCloseByte;
        of[static_cast<int>('"')] = kQuoteByte;
    }
};
constexpr ByteClasses kByteClasses;

// A key against a word of the format, inline: every key of every line passes
// through here. The word's length is known where this is expanded, so the
// comparison is a load or two, not a library call.
template <std::size_t N>
inline bool is(std::string_view key, const char (&word)[N]) {
    return key.size() == N - 1 && std::memcmp(key.data(), word, N - 1) == 0;
}

inline ByteClass classOf(char c) {
    return kByteClasses.of[static_cast<unsigned char>(c)];
}

// What a skip passes over: the bytes of a word, or words and blanks. Every
// byte of a file passes through a skip, most of them in words or in blocks
// that are passed over.
enum class Skip { Word, WordsAndBlanks };

template <Skip skip>
std::size_t skipOver(const char* data, std::size_t at, std::size_t size) {
    const auto goesOn = [](char c) {
        const ByteClass kind = classOf(c);
        return kind == kWordByte || (skip == Skip::WordsAndBlanks && kind == kBlankByte);
    };
    while (at < size && goesOn(data[at])) ++at;
    return at;
}

std::size_t endOfWord(const char* data, std::size_t at, std::size_t size) {
    return skipOver<Skip::Word>(data, at, size);
}

std::size_t nextMarkup(const char* data, std::size_t at, std::size_t size) {
    return skipOver<Skip::WordsAndBlanks>(data, at, size);
}

std::string hexByte(char c) {
    static const char digits[] = "0123456789ABCDEF";
    const auto byte = static_cast<unsigned char>(c);
    return std::string("0x") + digits[byte >> 4] + digits[byte & 15];
}

class ListinfoParser {
public:
    explicit ListinfoParser(Dat& dat) : dat_(dat), text_(dat.text) {}

    void run() {
        if (text_.substr(0, 3) == "\xEF\xBB\xBF") position_ = 3;
        dat_.games.reserve(text_.size() / 256);
        dat_.entries.reserve(text_.size() / 48);
        for (;;) {
            const Token keyword = next();
            if (keyword.kind == TokenKind::End) break;
            if (keyword.kind == TokenKind::Close) {
                fail(keyword.begin, "')' without a matching '('");
            }
            if (keyword.kind == TokenKind::Open) {
                fail(keyword.begin, "'(' without a block name before it");
            }
            const Token open = next();
            const std::string_view name = dat_.view(keyword.value);
            if (open.kind == TokenKind::End) {
                fail(text_.size(), "the file ends after '" + std::string(name) +
                                       "', where a block should start (truncated file?)");
            }
            if (open.kind != TokenKind::Open) {
                fail(open.begin, "expected '(' after '" + std::string(name) + "'");
            }
            if (equalsFolded(name, "game") || equalsFolded(name, "resource") ||
                equalsFolded(name, "machine")) {
                parseGame(keyword);
            } else if (equalsFolded(name, "clrmamepro") && dat_.games.empty() &&
                       dat_.header.kind == HeaderFields::Kind::None) {
                readHeader(open, keyword.value);
            } else {
                skipBlock(open, keyword.value, 1);
            }
        }
    }

private:
    [[noreturn]] void fail(std::size_t offset, std::string reason) {
        throw DatError(dat_.path, positionOf(text_, offset), std::move(reason));
    }

    [[noreturn]] void failTruncated(const Token& open, std::string_view blockName) {
        const TextPosition opened = positionOf(text_, open.begin);
        fail(text_.size(), "the file ends inside the '" + std::string(blockName) +
                               "' block opened at line " + std::to_string(opened.line) +
                               ", column " + std::to_string(opened.column) +
                               " (unbalanced parentheses or truncated file)");
    }

    [[gnu::always_inline]] Token next() {
        const std::size_t size = text_.size();
        const char* data = text_.data();
        std::size_t at = position_;
        while (at < size && classOf(data[at]) == kBlankByte) ++at;
        Token token;
        token.begin = static_cast<std::uint32_t>(at);
        if (at == size) {
            position_ = at;
            token.end = token.begin;
            return token;
        }
        switch (classOf(data[at])) {
            case kOpenByte:
                token.kind = TokenKind::Open;
                position_ = at + 1;
                break;
            case kCloseByte:
                token.kind = TokenKind::Close;
                position_ = at + 1;
                break;
            case kQuoteByte:
                readString(at, token);
                break;
            case kControlByte:
                // DOS text files may end with Ctrl-Z.
                if (data[at] == '\x1a' && at + 1 == size) {
                    position_ = size;
                    token.end = token.begin;
                    return token;
                }
                fail(at, "unexpected byte " + hexByte(data[at]) + " (not a text dat?)");
            default: {
                const std::size_t end = endOfWord(data, at + 1, size);
                token.kind = TokenKind::Word;
                token.value.offset = static_cast<std::uint32_t>(at);
                token.value.length = static_cast<std::uint32_t>(end - at);
                position_ = end;
            }
        }
        token.end = static_cast<std::uint32_t>(position_);
        return token;
    }

    void readString(std::size_t quote, Token& token) {
        const std::size_t size = text_.size();
        const char* data = text_.data();
        std::size_t at = quote + 1;
        bool escaped = false;
        for (;;) {
            if (at >= size || data[at] == '\n') fail(quote, "unterminated string");
            const char c = data[at];
            if (c == '"') break;
            if (c == '\\') {
                escaped = true;
                ++at;
                if (at >= size || data[at] == '\n') fail(quote, "unterminated string");
            }
            ++at;
        }
        token.kind = TokenKind::String;
        if (escaped) {
            token.value = unescape(text_.substr(quote + 1, at - quote - 1));
        } else {
            token.value.offset = static_cast<std::uint32_t>(quote + 1);
            token.value.length = static_cast<std::uint32_t>(at - quote - 1);
        }
        position_ = at + 1;
    }

    // C escapes; an unknown escape stands for the character after the backslash.
    Span unescape(std::string_view raw) {
        LargeString& out = dat_.decoded;
        Span span;
        span.offset = static_cast<std::uint32_t>(out.size());
        span.inDecoded = 1;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] != '\\' || i + 1 == raw.size()) {
                out.push_back(raw[i]);
                continue;
            }
            const char c = raw[++i];
            switch (c) {
                case 'n':
                    out.push_back('\n');
                    break;
                case 't':
                    out.push_back('\t');
                    break;
                case 'r':
                    out.push_back('\r');
                    break;
                case 'a':
                    out.push_back('\a');
                    break;
                case 'b':
                    out.push_back('\b');
                    break;
                case 'f':
                    out.push_back('\f');
                    break;
                case 'v':
                    out.push_back('\v');
                    break;
                case 'x': {
                    int value = 0;
                    int digits = 0;
                    while (digits < 2 && i + 1 < raw.size() && detail::hexDigit(raw[i + 1]) >= 0) {
                        value = value * 16 + detail::hexDigit(raw[++i]);
                        ++digits;
                    }
                    out.push_back(digits == 0 ? 'x' : static_cast<char>(value));
                    break;
                }
                default:
                    if (c >= '0' && c <= '7') {
                        int value = c - '0';
                        for (int digits = 1; digits < 3 && i + 1 < raw.size() &&
                                             raw[i + 1] >= '0' && raw[i + 1] <= '7';
                             ++digits) {
                            value = value * 8 + (raw[++i] - '0');
                        }
                        out.push_back(static_cast<char>(value & 0xff));
                    } else {
                        out.push_back(c);
                    }
            }
        }
        if (out.size() >= 0x80000000U) fail(0, "too many escaped strings");
        span.length = static_cast<std::uint32_t>(out.size() - span.offset) & 0x7fffffffU;
        return span;
    }

    // A block whose content does not matter; it stays in the text as it is. Its
    // words need no tokens, only its parentheses, strings and stray bytes count.
    // `name` is a span, not a view: unescaping later strings may move the buffer
    // that a view would point into.
    void skipBlock(const Token& open, Span name, int depth) {
        if (depth > kMaxDepth) fail(open.begin, "blocks nested too deep");
        const std::size_t size = text_.size();
        const char* data = text_.data();
        std::size_t at = position_;
        while ((at = nextMarkup(data, at, size)) < size) {
            switch (classOf(data[at])) {
                case kWordByte:
                case kBlankByte:
                    ++at;
                    break;
                case kCloseByte:
                    position_ = at + 1;
                    return;
                case kOpenByte: {
                    Token inner;
                    inner.kind = TokenKind::Open;
                    inner.begin = static_cast<std::uint32_t>(at);
                    position_ = at + 1;
                    skipBlock(inner, name, depth + 1);
                    at = position_;
                    break;
                }
                case kQuoteByte: {
                    Token string;
                    readString(at, string);
                    at = position_;
                    break;
                }
                case kControlByte:
                    fail(at, "unexpected byte " + hexByte(data[at]) + " (not a text dat?)");
            }
        }
        failTruncated(open, dat_.view(name));
    }

    // The header block before the first game, passed over as skipBlock would,
    // with the places where it names the dat kept.
    void readHeader(const Token& open, Span blockName) {
        HeaderFields& header = dat_.header;
        header.kind = HeaderFields::Kind::Listinfo;
        header.afterOpen = open.end;
        for (;;) {
            const Token key = next();
            if (key.kind == TokenKind::End) failTruncated(open, dat_.view(blockName));
            if (key.kind == TokenKind::Close) return;
            if (key.kind == TokenKind::Open) {
                skipBlock(key, blockName, 2);
                continue;
            }
            const Token value = next();
            if (value.kind == TokenKind::End) failTruncated(open, dat_.view(blockName));
            if (value.kind == TokenKind::Close) return;
            if (value.kind == TokenKind::Open) {
                skipBlock(value, blockName, 2);
                continue;
            }
            const std::string_view name = dat_.view(key.value);
            HeaderFields::Field* field = is(name, "name")          ? &header.name
                                         : is(name, "description")  ? &header.description
                                         : is(name, "forcemerging") ? &header.forceMerging
                                                                    : nullptr;
            if (field == nullptr || field->found) continue;
            *field = {value.begin, value.end, true, false};
            if (field == &header.name) header.afterName = value.end;
        }
    }

    void parseGame(const Token& keyword) {
        dat_.storage.passed(keyword.begin);
        const std::string kind(dat_.view(keyword.value));
        Game game;
        game.firstEntry = static_cast<std::uint32_t>(dat_.entries.size());
        bool named = false;
        for (;;) {
            const Token key = next();
            if (key.kind == TokenKind::End) failTruncated(keyword, kind);
            if (key.kind == TokenKind::Close) {
                finishGame(game, keyword, key, kind, named);
                return;
            }
            if (key.kind == TokenKind::Open) fail(key.begin, "'(' without a key before it");
            const Token value = next();
            if (value.kind == TokenKind::End) failTruncated(keyword, kind);
            if (value.kind == TokenKind::Close) {  // a key without a value ends the block
                finishGame(game, keyword, value, kind, named);
                return;
            }
            const std::string_view name = dat_.view(key.value);
            if (value.kind == TokenKind::Open) {
                if (is(name, "rom") || is(name, "disk")) {
                    parseEntry(key, value, is(name, "disk"));
                } else if (is(name, "driver")) {
                    game.driverStatus = readDriverStatus(key, value);
                } else {
                    skipBlock(value, key.value, 2);
                }
                continue;
            }
            if (is(name, "name")) {
                game.name = dat_.own(value.value);
                named = !value.value.empty();
            } else if (is(name, "cloneof")) {
                game.cloneOf = dat_.own(value.value);
            } else if (is(name, "romof")) {
                game.romOf = dat_.own(value.value);
            } else if (is(name, "description")) {
                game.description = dat_.own(value.value);
            } else if (is(name, "year")) {
                game.year = dat_.own(value.value);
            } else if (is(name, "manufacturer")) {
                game.manufacturer = dat_.own(value.value);
            }
        }
    }

    // The status in "driver ( status good emulation good ... )", whose key is
    // `driver` and whose '(' is `open`; empty when it gives none.
    Span readDriverStatus(const Token& driver, const Token& open) {
        Span status;
        for (;;) {
            const Token key = next();
            if (key.kind == TokenKind::End) failTruncated(open, "driver");
            if (key.kind == TokenKind::Close) return status;
            if (key.kind == TokenKind::Open) {
                skipBlock(key, driver.value, 3);
                continue;
            }
            const Token value = next();
            if (value.kind == TokenKind::End) failTruncated(open, "driver");
            if (value.kind == TokenKind::Close) return status;
            if (value.kind == TokenKind::Open) {
                skipBlock(value, key.value, 3);
            } else if (is(dat_.view(key.value), "status") && status.empty()) {
                status = dat_.own(value.value);
            }
        }
    }

    void finishGame(Game& game, const Token& keyword, const Token& close, std::string_view kind,
                    bool named) {
        if (!named) fail(keyword.begin, "the '" + std::string(kind) + "' block has no name");
        const detail::ByteRange range = wholeLines(text_, keyword.begin, close.end);
        game.blockBegin = range.begin;
        game.blockEnd = range.end;
        game.entryCount = static_cast<std::uint32_t>(dat_.entries.size()) - game.firstEntry;
        dat_.games.push_back(game);
    }

    void parseEntry(const Token& key, const Token& open, bool disk) {
        Entry entry;
        if (disk) entry.flags |= kEntryDisk;
        const std::string_view blockName = disk ? "disk" : "rom";
        for (;;) {
            const Token field = next();
            if (field.kind == TokenKind::End) failTruncated(open, blockName);
            if (field.kind == TokenKind::Close) {
                finishEntry(entry, key, field);
                return;
            }
            if (field.kind == TokenKind::Open) {
                skipBlock(field, key.value, 3);
                continue;
            }
            const Token value = next();
            const std::string_view name = dat_.view(field.value);
            if (value.kind == TokenKind::End) failTruncated(open, blockName);
            if (value.kind == TokenKind::Close) {  // a lone word, as some dats write "nodump"
                if (detail::isNoDumpWord(name)) entry.flags |= kEntryNoDump;
                finishEntry(entry, key, value);
                return;
            }
            if (value.kind == TokenKind::Open) {
                skipBlock(value, field.value, 3);
                continue;
            }
            takeField(entry, name, value.value);
        }
    }

    // Dispatched on the key's length first: every field of every rom comes here.
    void takeField(Entry& entry, std::string_view name, Span value) {
        const std::string_view text = dat_.view(value);
        switch (name.size()) {
            case 3:
                if (is(name, "crc")) {
                    if (detail::parseCrc(text, entry.crc)) entry.flags |= kEntryHasCrc;
                } else if (is(name, "md5")) {
                    if (!entry.hasSha1()) entry.setMd5(dat_.own(value));
                }
                return;
            case 4:
                if (is(name, "name")) {
                    entry.name = dat_.own(value);
                } else if (is(name, "size")) {
                    if (detail::parseSize(text, entry.size)) entry.flags |= kEntryHasSize;
                } else if (is(name, "sha1")) {
                    entry.setSha1(dat_.own(value));
                }
                return;
            case 5:
                if (is(name, "merge")) {
                    entry.setMerged(!value.empty());
                } else if (is(name, "flags") && detail::isNoDumpWord(text)) {
                    entry.flags |= kEntryNoDump;
                }
                return;
            case 6:
                if (is(name, "status") && detail::isNoDumpWord(text)) entry.flags |= kEntryNoDump;
                return;
            default:
                return;
        }
    }

    void finishEntry(Entry& entry, const Token& key, const Token& close) {
        if (entry.name.empty()) {
            fail(key.begin, "the '" + std::string(dat_.view(key.value)) + "' has no name");
        }
        const detail::ByteRange range = wholeLines(text_, key.begin, close.end);
        entry.cutBegin = range.begin;
        entry.cutEnd = range.end;
        dat_.entries.push_back(entry);
    }

    Dat& dat_;
    std::string_view text_;
    std::size_t position_ = 0;
};

}  // namespace

void parseListinfo(Dat& dat) {
    ListinfoParser(dat).run();
}

}  // namespace zfe::zandorel
