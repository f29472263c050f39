#include "tools/zandorel/parallel.h"

#include <exception>
#include <optional>
#include <system_error>
#include <thread>

namespace zfe::zandorel {

void runBoth(const std::function<void()>& first, const std::function<void()>& second) {
    std::exception_ptr secondError;
    const auto runSecond = [&]() noexcept {
        try {
            second();
        } catch (...) {
            secondError = std::current_exception();
        }
    };
    std::optional<std::thread> helper;
    try {
        helper.emplace(runSecond);
    } catch (const std::system_error&) {
        // No thread to be had: `second` waits for `first`.
    }
    std::exception_ptr firstError;
    try {
        first();
    } catch (...) {
        firstError = std::current_exception();
    }
    if (helper) {
        helper->join();
    } else {
        runSecond();
    }
    if (firstError) std::rethrow_exception(firstError);
    if (secondError) std::rethrow_exception(secondError);
}

}  // namespace zfe::zandorel
