#pragma once

#include <string>
#include <vector>

#include "platform/process.h"

namespace zfe::platform::posix {

// The argv of a program to start: the program as the command line names it,
// its arguments, and the closing null pointer. It is built whole before the
// child is made, as a forked child must not allocate; the pointers point into
// the texts held here, so it is neither copied nor moved.
class ArgumentVector {
public:
    explicit ArgumentVector(const CommandLineParts& parts) : texts_{parts.program} {
        texts_.insert(texts_.end(), parts.arguments.begin(), parts.arguments.end());
        pointers_.reserve(texts_.size() + 1);
        for (std::string& text : texts_) pointers_.push_back(text.data());
        pointers_.push_back(nullptr);
    }
    ArgumentVector(const ArgumentVector&) = delete;
    ArgumentVector& operator=(const ArgumentVector&) = delete;

    char* const* get() const noexcept { return pointers_.data(); }

private:
    std::vector<std::string> texts_;
    std::vector<char*> pointers_;
};

}  // namespace zfe::platform::posix
