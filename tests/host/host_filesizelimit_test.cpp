// SIGXFSZ while a file-size limit is an error: ignored from its default until the last guard goes,
// in whatever thread and order they go; a disposition chosen by others is left alone.
#include "host/filesizelimit.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <optional>
#include <thread>

namespace {

using qelhost::FileSizeLimitAsError;

void (*sigxfszDisposition())(int)
{
    struct sigaction now
    {};
    sigaction(SIGXFSZ, nullptr, &now);
    return now.sa_handler;
}

extern "C" void onSigxfsz(int) {}

TEST(FileSizeLimitAsError, IgnoresSigxfszFromItsDefaultUntilTheLastGuardGoes)
{
    signal(SIGXFSZ, SIG_DFL);
    std::optional<FileSizeLimitAsError> first, second;
    first.emplace();
    EXPECT_EQ(sigxfszDisposition(), SIG_IGN);
    // Made in another thread and outliving the first: the limit stays an error while it lives.
    std::thread([&second] { second.emplace(); }).join();
    first.reset();
    EXPECT_EQ(sigxfszDisposition(), SIG_IGN);
    second.reset();
    EXPECT_EQ(sigxfszDisposition(), SIG_DFL);
}

TEST(FileSizeLimitAsError, LeavesSigIgnOrAHandlerAsItIs)
{
    for (void (*const before)(int) : {SIG_IGN, &onSigxfsz}) {
        signal(SIGXFSZ, before);
        {
            const FileSizeLimitAsError limit;
            EXPECT_EQ(sigxfszDisposition(), before);
        }
        EXPECT_EQ(sigxfszDisposition(), before);
    }
    signal(SIGXFSZ, SIG_DFL);
}

} // namespace
