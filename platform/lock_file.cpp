#include "platform/lock_file.h"

#include <utility>

namespace zfe::platform {

LockFile::~LockFile() {
    release();
}

LockFile::LockFile(LockFile&& other) noexcept
    : path_(std::move(other.path_)), handle_(std::exchange(other.handle_, -1)) {}

LockFile& LockFile::operator=(LockFile&& other) noexcept {
    if (this != &other) {
        release();
        path_ = std::move(other.path_);
        handle_ = std::exchange(other.handle_, -1);
    }
    return *this;
}

}  // namespace zfe::platform
