#pragma once

#include <string>
#include <vector>

namespace zfe::platform {

// The program as named and its arguments, as the capture's piped child hands
// them to ArgumentVector.
struct CommandLineParts {
    std::string program;
    std::vector<std::string> arguments;
};

namespace posix {

// The argv of a program to start: the program as it is named, its arguments,
// and the closing null pointer. It is built whole before the child is made, as
// a forked child must not allocate; the pointers point into the texts held
// here, so it is neither copied nor moved.
class ArgumentVector {
public:
    ArgumentVector(const std::string& program, const std::vector<std::string>& arguments)
        : texts_{program} {
        texts_.insert(texts_.end(), arguments.begin(), arguments.end());
        pointers_.reserve(texts_.size() + 1);
        for (std::string& text : texts_) pointers_.push_back(text.data());
        pointers_.push_back(nullptr);
    }
    explicit ArgumentVector(const CommandLineParts& parts)
        : ArgumentVector(parts.program, parts.arguments) {}
    ArgumentVector(const ArgumentVector&) = delete;
    ArgumentVector& operator=(const ArgumentVector&) = delete;

    char* const* get() const noexcept { return pointers_.data(); }

private:
    std::vector<std::string> texts_;
    std::vector<char*> pointers_;
};

}  // namespace posix
}  // namespace zfe::platform
