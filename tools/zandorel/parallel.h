#pragma once

// Two pieces of work at once, on the two cores that the tool counts on.

#include <functional>

namespace zfe::zandorel {

// Runs `second` on a thread of its own while `first` runs on this one; where no
// thread can be had, one after the other. Returns when both are done, and then
// rethrows what either threw, `first`'s before `second`'s.
void runBoth(const std::function<void()>& first, const std::function<void()>& second);

}  // namespace zfe::zandorel
