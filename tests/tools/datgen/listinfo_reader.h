#pragma once

#include <map>
#include <string>
#include <vector>

// A deliberately small reader for checking datgen's output independently of the
// diff tool's parser: it knows only what the tests need and rejects anything
// unbalanced or unterminated with std::runtime_error.
namespace zfe::datgen::reader {

using Fields = std::map<std::string, std::string>;

struct Block {
    std::string type;  // "game" or "resource"
    Fields fields;     // name, description (unescaped), cloneof, ...
    std::vector<Fields> roms;
    std::vector<Fields> disks;
    std::string text;  // the block's bytes, from its keyword to its closing parenthesis

    std::string name() const { return fields.count("name") ? fields.at("name") : std::string(); }
    std::string field(const std::string& key) const {
        auto it = fields.find(key);
        return it == fields.end() ? std::string() : it->second;
    }
};

std::vector<Block> readListinfo(const std::string& text);

}  // namespace zfe::datgen::reader
