// A file-size limit (RLIMIT_FSIZE, `ulimit -f`) met as an error rather than as a signal.
#pragma once

#include <signal.h>

namespace qelhost {

// While one lives, a write past the file-size limit fails with EFBIG, as a write to a full disk
// fails with ENOSPC, rather than end the process by SIGXFSZ: SIGXFSZ is ignored when it was at its
// default, and put back when the last one goes. A handler or SIG_IGN set by others is left alone.
// The disposition is the process's, so while one lives the limit is an error in every thread; those
// that live at once, in any threads, share one change, made by the first and undone by the last.
class FileSizeLimitAsError
{
public:
    FileSizeLimitAsError();
    ~FileSizeLimitAsError();
    FileSizeLimitAsError(const FileSizeLimitAsError&) = delete;
    FileSizeLimitAsError& operator=(const FileSizeLimitAsError&) = delete;
};

} // namespace qelhost
