// Taking over a signal only where nobody else has: its action left at the default.
#pragma once

#include <signal.h>

namespace qelhost {

// Sets `with` as the action of `sig` when that is the default one, keeping that in `before`: true
// when set. A handler or SIG_IGN set by others is left alone.
inline bool takeOverDefault(int sig, const struct sigaction& with, struct sigaction& before)
{
    return sigaction(sig, nullptr, &before) == 0 && !(before.sa_flags & SA_SIGINFO) && before.sa_handler == SIG_DFL &&
           sigaction(sig, &with, nullptr) == 0;
}

} // namespace qelhost
