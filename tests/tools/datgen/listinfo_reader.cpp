#include "listinfo_reader.h"

#include <cctype>
#include <stdexcept>

namespace zfe::datgen::reader {
namespace {

struct Token {
    enum Kind { open, close, word, end } kind;
    std::string text;
    std::size_t start = 0;
};

class Tokenizer {
public:
    explicit Tokenizer(const std::string& text) : text_(text) {}

    std::size_t position() const { return pos_; }

    Token next() {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
        Token token{Token::end, {}, pos_};
        if (pos_ >= text_.size()) return token;
        char c = text_[pos_];
        if (c == '(' || c == ')') {
            ++pos_;
            token.kind = c == '(' ? Token::open : Token::close;
            return token;
        }
        token.kind = Token::word;
        if (c == '"') {
            ++pos_;
            for (;;) {
                if (pos_ >= text_.size()) throw std::runtime_error("unterminated quoted string");
                char q = text_[pos_++];
                if (q == '"') break;
                if (q == '\n') throw std::runtime_error("line end inside a quoted string");
                if (q == '\\') {
                    if (pos_ >= text_.size()) throw std::runtime_error("escape at the end");
                    q = text_[pos_++];
                }
                token.text += q;
            }
            return token;
        }
        while (pos_ < text_.size() && !std::isspace(static_cast<unsigned char>(text_[pos_])) &&
               text_[pos_] != '(' && text_[pos_] != ')' && text_[pos_] != '"')
            token.text += text_[pos_++];
        return token;
    }

private:
    const std::string& text_;
    std::size_t pos_ = 0;
};

std::string expectWord(Tokenizer& tokens, const char* what) {
    Token token = tokens.next();
    if (token.kind != Token::word) throw std::runtime_error(std::string("expected ") + what);
    return token.text;
}

Fields readSubBlock(Tokenizer& tokens) {
    Fields fields;
    for (;;) {
        Token key = tokens.next();
        if (key.kind == Token::close) return fields;
        if (key.kind != Token::word) throw std::runtime_error("expected a key in a sub-block");
        std::string value = expectWord(tokens, "a value in a sub-block");
        // Repeated keys (dipswitch entries) keep the first value; no test needs the rest.
        fields.emplace(key.text, value);
    }
}

}  // namespace

std::vector<Block> readListinfo(const std::string& text) {
    std::vector<Block> blocks;
    Tokenizer tokens(text);
    for (;;) {
        Token type = tokens.next();
        if (type.kind == Token::end) return blocks;
        if (type.kind != Token::word) throw std::runtime_error("expected a block keyword");
        if (tokens.next().kind != Token::open)
            throw std::runtime_error("expected ( after " + type.text);
        Block block;
        block.type = type.text;
        for (;;) {
            Token key = tokens.next();
            if (key.kind == Token::close) break;
            if (key.kind != Token::word) throw std::runtime_error("expected a key in " + type.text);
            Token value = tokens.next();
            if (value.kind == Token::open) {
                Fields fields = readSubBlock(tokens);
                if (key.text == "rom") block.roms.push_back(std::move(fields));
                if (key.text == "disk") block.disks.push_back(std::move(fields));
            } else if (value.kind == Token::word) {
                if (!block.fields.emplace(key.text, value.text).second)
                    throw std::runtime_error("key " + key.text + " twice in a block");
            } else {
                throw std::runtime_error("block " + type.text + " ends inside a pair");
            }
        }
        block.text = text.substr(type.start, tokens.position() - type.start);
        blocks.push_back(std::move(block));
    }
}

}  // namespace zfe::datgen::reader
