// meter: meters audio files (or a built-in test programme) through the norrik plug-in bundle.
#include "host/main_allocations.h"
#include "host/meterapp.h"
#include "host/report.h"

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// Writes all of `s` to standard output; the error number when it is lost, else 0.
int writeOut(const std::string& s)
{
    errno = 0;
    if (std::fputs(s.c_str(), stdout) == EOF || std::fflush(stdout) == EOF)
        return errno != 0 ? errno : EIO;
    return 0;
}

// Output nobody will read is a failure the user must hear of (a full disk, a closed descriptor).
int lostOutput(const char* what, int error)
{
    std::fprintf(stderr, "meter: cannot write %s: %s\n", what, std::strerror(error));
    return qelhost::kMeterInputError;
}

// Standard error takes each piece as it comes, with no memory of its own (it is unbuffered).
void writeError(std::string_view piece)
{
    std::fwrite(piece.data(), 1, piece.size(), stderr);
}

// Whether a shortage can be reported. The C++ run-time sets memory aside as the process starts to
// throw std::bad_alloc with when the heap has none; under a limit too tight for it, the first
// shortage would end meter by std::terminate. Such a limit leaves far less than this over.
bool shortageCanBeReported()
{
    // Held in a volatile, so that the compiler keeps the allocation it could otherwise take as given.
    void* volatile room = std::malloc(96 * 1024);
    void* const had = room;
    std::free(had);
    return had != nullptr;
}

// meter sets up the plug-in file after file. Left to itself, the C library gives the memory of each
// file's plug-in back to the system at its tear-down, and the next file's set-up has it anew, a page
// fault a page: meter keeps its heap to the end instead. A threshold set stops the library moving
// both, so the one for mapping a block of its own is fixed at the ceiling it would move to, 32 MiB:
// larger blocks are still mapped and given back when freed. The program's choice, not the host
// library's, so that no host that embeds the library inherits it.
void keepTheHeap()
{
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, -1);
}

} // namespace

int main(int argc, char** argv)
{
    keepTheHeap();
    const qelhost::MeterNote note = writeError;
    // A shortage is an allocation that failed, as the program's own allocation functions count it.
    qelhost::countFailedAllocationsWith(meterprogram::failedAllocationCounter());
    if (!shortageCanBeReported())
        return qelhost::refuseCommandLine(argc, argv, note);
    try {
        qelhost::MeterOptions options;
        std::string error;
        bool help = false, version = false;
        if (!qelhost::parseMeterArgs(argc, argv, options, error, help, version)) {
            std::fprintf(stderr, "meter: %s\n%s", qelhost::terminalText(error).c_str(), qelhost::meterUsage().c_str());
            return qelhost::kMeterUsage;
        }
        if (help || version) {
            const int lost = writeOut(help ? qelhost::meterUsage() : qelhost::meterVersion(options.bundlePath));
            return lost != 0 ? lostOutput("to standard output", lost) : 0;
        }
        options.progress = isatty(STDERR_FILENO) != 0;
        int lost = 0;
        int status = qelhost::runMeter(
            options,
            [&lost](const std::string& s) {
                if (lost == 0)
                    lost = writeOut(s);
            },
            note);
        if (lost != 0)
            status = std::max(status, lostOutput("the report", lost));
        if (status == qelhost::kMeterStalled) {
            // The audio thread is stuck inside the plug-in: end without running its exit handlers.
            std::_Exit(status);
        }
        return status;
    } catch (const std::bad_alloc&) {
        // Before the first source (runMeter names those it could not meter itself).
        return qelhost::refuseCommandLine(argc, argv, note);
    }
}
