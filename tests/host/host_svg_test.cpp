// Where --svg puts its picture: refused before metering over what is not a picture, written whole
// or not at all, never through a link into a file, into pipes and devices as they are.
#include "host/audiosource.h"
#include "host/picturefile.h"
#include "meterrun.h"
#include "tests/common/hang_guard.h"
#include "tests/common/sanitized.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

// The signal raised once the picture is whole in its temporary file, and whether in a thread of
// its own (as a signal sent to the process may be caught by any of its threads).
int gSignalOnceWritten = 0;
bool gSignalFromAnotherThread = false;

void raiseOnceWritten(const std::string& temp)
{
    if (access(temp.c_str(), F_OK) != 0)
        _exit(3);
    if (gSignalFromAnotherThread)
        std::thread([] { raise(gSignalOnceWritten); }).join();
    else
        raise(gSignalOnceWritten);
}

// What is done to the picture's name once, just before the temporary file takes it.
std::function<void(const std::string&)> gBeforeRename;

void onceBeforeRename(const std::string& path)
{
    const auto take = std::move(gBeforeRename);
    gBeforeRename = nullptr;
    if (take)
        take(path);
}

// What is done to the picture's name once, just before what came out of the exchange goes back.
std::function<void(const std::string&)> gBeforeExchangeBack;

void onceBeforeExchangeBack(const std::string& path)
{
    const auto take = std::move(gBeforeExchangeBack);
    gBeforeExchangeBack = nullptr;
    if (take)
        take(path);
}

// How `sig` is handled: its handler, or SIG_DFL or SIG_IGN.
void (*disposition(int sig))(int)
{
    struct sigaction now
    {};
    sigaction(sig, nullptr, &now);
    return now.sa_handler;
}

// The signals that end a process by default and can be caught, but SIGXFSZ and the faults: the
// real-time ones by their first and last.
std::vector<int> endingSignals()
{
    return {SIGINT,  SIGTERM, SIGHUP,    SIGQUIT, SIGALRM, SIGUSR1,   SIGUSR2,  SIGXCPU,
            SIGPIPE, SIGPROF, SIGVTALRM, SIGIO,   SIGPWR,  SIGSTKFLT, SIGRTMIN, SIGRTMAX};
}

// Runs `body` in a child, the leader of a process group of its own, that then exits 0: how it
// ended, as waitpid gives it. A child that hangs is killed, and the test fails.
int inChild(const std::function<void()>& body)
{
    const pid_t child = fork();
    if (child == 0) {
        setpgid(0, 0);
        body();
        _exit(0);
    }
    if (child < 0)
        return -1;
    setpgid(child, child);
    const testguard::Ending end = testguard::waitGuarded(child, -1, nullptr, metertest::kMeterCpuMs);
    EXPECT_EQ(end.hung, "");
    return end.status;
}

class SvgPicture : public ::testing::Test
{
protected:
    std::string dir, a, audio; // a short WAV and its bytes
    void SetUp() override
    {
        char tmpl[] = "/tmp/metersvgXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        a = dir + "/a.wav";
        std::string error;
        ASSERT_TRUE(qelhost::writeWavFile(a, std::vector<float>(9600, 0.25f), 2, 48000, error)) << error;
        audio = wholefile::read(a);
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }
    metertest::ProgramRun run(const std::string& args, const std::string& before = "")
    {
        return metertest::runMeterProgram(args, dir + "/err", before);
    }
    // Each name in the folder with its type and mode, a temporary file left over included.
    std::map<std::string, mode_t> listing()
    {
        std::map<std::string, mode_t> out;
        DIR* d = opendir(dir.c_str());
        struct stat st
        {};
        while (const dirent* e = d ? readdir(d) : nullptr)
            if (lstat((dir + "/" + e->d_name).c_str(), &st) == 0 && std::string(e->d_name) != "err")
                out[e->d_name] = st.st_mode;
        if (d)
            closedir(d);
        return out;
    }
};

TEST_F(SvgPicture, WhatIsNotAPictureIsRefusedBeforeMetering)
{
    ASSERT_EQ(symlink("missing.txt", (dir + "/dangling.svg").c_str()), 0);
    ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0700), 0);
    // A dangling link, a directory, and the name given even when only numbered names follow.
    const std::pair<std::string, std::string> cases[] = {
        {a + " --svg " + dir + "/dangling.svg", "dangling.svg: it is a symbolic link"},
        {a + " --svg " + dir + "/sub", "sub: it is a directory"},
        {"--svg " + a + " " + a + " " + a, "a.wav: it exists and is not an SVG picture"},
    };
    const auto before = listing();
    for (const auto& [args, over] : cases) {
        const metertest::ProgramRun r = run(args);
        EXPECT_EQ(r.status, 64) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_EQ(r.err, "meter: --svg: will not write the picture over " + dir + "/" + over + "\n") << args;
        EXPECT_EQ(listing(), before) << args;
    }
    EXPECT_TRUE(wholefile::read(a) == audio);
}

TEST_F(SvgPicture, PipesAndDevicesTakeThePictureAsTheyAre)
{
    ASSERT_EQ(run(a + " --svg " + dir + "/p.svg").status, 0);
    // A pipe with a reader, as process substitution names it, takes the whole picture.
    metertest::ProgramRun r = run(a + " --svg /dev/fd/3 3>&1 >/dev/null");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out == wholefile::read(dir + "/p.svg") && r.out.find("<svg") != std::string::npos);
    // /dev/null through a link, so that a fault replaces the link rather than the device. A pipe
    // nobody reads fails at once rather than hang, and the report is still printed.
    ASSERT_EQ(symlink("/dev/null", (dir + "/null.svg").c_str()), 0);
    ASSERT_EQ(mkfifo((dir + "/f.svg").c_str(), 0600), 0);
    const auto before = listing();
    r = run(a + " --svg " + dir + "/null.svg");
    EXPECT_EQ(r.status, 0) << r.err;
    r = run(a + " --svg " + dir + "/f.svg");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "meter: --svg: cannot write " + dir + "/f.svg: nothing reads from the pipe\n");
    EXPECT_NE(r.out.find("a.wav: 48000 Hz, 2 channels"), std::string::npos) << r.out;
    EXPECT_EQ(listing(), before);
}

TEST_F(SvgPicture, APictureIsReplacedWholeOrNotAtAll)
{
    const std::string p = dir + "/p.svg";
    ASSERT_EQ(run(a + " --svg " + p).status, 0);
    close(open((dir + "/plain").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666));
    EXPECT_EQ(listing()["p.svg"], listing()["plain"]); // the mode of any new file
    ASSERT_EQ(chmod(p.c_str(), 0640), 0);
    const std::string picture = wholefile::read(p);
    const auto before = listing();
    // Files of at most 2 or 4 KiB (512- or 1024-byte blocks): the write fails as on a full disk,
    // rather than SIGXFSZ end meter, and the report is printed.
    const metertest::ProgramRun r = run(a + " --svg " + p, "ulimit -f 4; ");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "meter: --svg: cannot write " + p + ": File too large\n");
    EXPECT_NE(r.out.find("a.wav: 48000 Hz, 2 channels"), std::string::npos) << r.out;
    EXPECT_TRUE(wholefile::read(p) == picture);
    EXPECT_EQ(listing(), before);
    std::string error;
    EXPECT_TRUE(qelhost::writePictureFile(p, "<svg/>\n", error)) << error;
    EXPECT_EQ(wholefile::read(p), "<svg/>\n");
    EXPECT_EQ(listing(), before); // its mode kept
}

TEST_F(SvgPicture, WhatTookTheNameDuringTheRunIsLeftAlone)
{
    const std::string path = dir + "/late.svg";
    const std::pair<std::function<int()>, std::string> cases[] = {
        {[&] { return std::system(("cp " + a + " " + path).c_str()); }, "it exists and is not an SVG picture"},
        {[&] { return mkdir(path.c_str(), 0700); }, "it is a directory"},
        {[&] { return symlink("missing.txt", path.c_str()); }, "it is a symbolic link"},
    };
    for (const auto& [take, why] : cases) {
        // The check before metering passes; then the name is taken.
        std::string error;
        ASSERT_EQ(qelhost::pictureSite(path, error), qelhost::PictureSite::Free);
        ASSERT_EQ(take(), 0) << why;
        const auto taken = listing();
        const std::string bytes = wholefile::read(path);
        EXPECT_FALSE(qelhost::writePictureFile(path, "<svg/>\n", error)) << why;
        EXPECT_EQ(error, "will not write the picture over " + path + ": " + why);
        EXPECT_TRUE(listing() == taken && wholefile::read(path) == bytes) << why;
        std::system(("rm -rf " + path).c_str());
    }
}

TEST_F(SvgPicture, ASignalDuringTheWriteRemovesTheTemporaryFileAndEndsAsItWould)
{
    const std::string p = dir + "/p.svg";
    ASSERT_EQ(run(a + " --svg " + p).status, 0);
    const std::string picture = wholefile::read(p);
    const auto before = listing();
    // In a child, which the signal ends: every one that ends a process by default and can be
    // caught, caught by the writing thread or another; the picture there stays, and nothing is
    // left beside it.
    const std::vector<int> ending = endingSignals();
    for (const int sig : ending) {
        for (const bool anotherThread : {false, true}) {
            if (anotherThread && NORRIK_TEST_THREAD_SANITIZED)
                continue;
            gSignalOnceWritten = sig;
            gSignalFromAnotherThread = anotherThread;
            const int st = inChild([&p, sig] {
                const rlimit noCore{0, 0};
                setrlimit(RLIMIT_CORE, &noCore);
                signal(sig, SIG_DFL);
                sigset_t all;
                sigfillset(&all);
                pthread_sigmask(SIG_UNBLOCK, &all, nullptr);
                qelhost::pictureFileHooks.written = raiseOnceWritten;
                std::string error;
                qelhost::writePictureFile(p, "<svg/>\n", error);
            });
            EXPECT_TRUE(WIFSIGNALED(st) && WTERMSIG(st) == sig)
                << sig << (anotherThread ? " in another thread" : "") << ": status " << st;
            EXPECT_EQ(listing(), before) << sig;
            EXPECT_TRUE(wholefile::read(p) == picture) << sig;
        }
    }
    // An ignored signal stays ignored (SIGHUP under nohup): the picture is written.
    gSignalOnceWritten = SIGHUP;
    gSignalFromAnotherThread = false;
    const int st = inChild([&p] {
        signal(SIGHUP, SIG_IGN);
        qelhost::pictureFileHooks.written = raiseOnceWritten;
        std::string error;
        _exit(qelhost::writePictureFile(p, "<svg/>\n", error) && disposition(SIGHUP) == SIG_IGN ? 0 : 1);
    });
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << st;
    EXPECT_EQ(wholefile::read(p), "<svg/>\n");
    EXPECT_EQ(listing(), before);
    // Outside the write the signals are handled as before it.
    std::vector<int> signals = ending;
    signals.push_back(SIGXFSZ);
    std::vector<void (*)(int)> handled;
    for (const int sig : signals)
        handled.push_back(disposition(sig));
    std::string error;
    EXPECT_TRUE(qelhost::writePictureFile(p, picture, error)) << error;
    for (std::size_t i = 0; i < signals.size(); ++i)
        EXPECT_EQ(disposition(signals[i]), handled[i]) << signals[i];
}

TEST_F(SvgPicture, WhatTakesTheNameAtTheLastMomentStaysUnlessItIsAPictureOrEmpty)
{
    const std::string p = dir + "/p.svg", other = dir + "/other";
    const auto put = [&](const std::string& bytes, mode_t mode) {
        std::ofstream(other, std::ios::binary) << bytes;
        return chmod(other.c_str(), mode) == 0 && rename(other.c_str(), p.c_str()) == 0;
    };
    struct Case
    {
        std::string what;
        bool pictureBefore;         // a picture at the name at the last look, else nothing
        std::function<bool()> take; // what then takes the name
        std::string why;            // why it stays; empty when the picture replaces it
    };
    const Case cases[] = {
        {"audio", true, [&] { return put(audio, 0644); }, "it exists and is not an SVG picture"},
        {"audio on a free name", false, [&] { return put(audio, 0644); }, "it exists and is not an SVG picture"},
        {"a directory", true, [&] { return unlink(p.c_str()) == 0 && mkdir(p.c_str(), 0700) == 0; },
         "it is a directory"},
        {"a link", true, [&] { return unlink(p.c_str()) == 0 && symlink("missing.txt", p.c_str()) == 0; },
         "it is a symbolic link"},
        {"a pipe", true, [&] { return unlink(p.c_str()) == 0 && mkfifo(p.c_str(), 0600) == 0; },
         "it is a pipe or device now"},
        {"another picture", true, [&] { return put("<svg>other</svg>\n", 0600); }, ""},
        {"an empty file", true, [&] { return put("", 0604); }, ""},
        {"nothing", true, [&] { return unlink(p.c_str()) == 0; }, ""},
    };
    qelhost::pictureFileHooks.beforeRename = onceBeforeRename;
    for (const Case& c : cases) {
        std::system(("rm -rf " + p).c_str());
        if (c.pictureBefore) {
            ASSERT_TRUE(put("<svg>before</svg>\n", 0640)) << c.what;
        }
        // What is at the name when the temporary file takes it: the listing, the file itself, its bytes.
        std::map<std::string, mode_t> taken;
        struct stat at
        {};
        std::string bytes;
        bool took = false;
        gBeforeRename = [&](const std::string& path) {
            took = path == p && c.take();
            taken = listing();
            for (auto i = taken.begin(); i != taken.end();)
                i = i->first.rfind(".meter-", 0) == 0 ? taken.erase(i) : std::next(i); // the temporary file
            lstat(p.c_str(), &at);
            bytes = S_ISREG(at.st_mode) ? wholefile::read(p) : "";
        };
        std::string error;
        const bool written = qelhost::writePictureFile(p, "<svg/>\n", error);
        EXPECT_TRUE(took) << c.what;
        struct stat now
        {};
        lstat(p.c_str(), &now);
        if (c.why.empty()) {
            EXPECT_TRUE(written) << c.what << ": " << error;
            EXPECT_EQ(wholefile::read(p), "<svg/>\n") << c.what;
            // With the mode of the picture there at the last look.
            auto replaced = taken;
            replaced["p.svg"] = S_IFREG | 0640;
            EXPECT_EQ(listing(), replaced) << c.what;
        } else {
            EXPECT_FALSE(written) << c.what;
            EXPECT_EQ(error, "will not write the picture over " + p + ": " + c.why) << c.what;
            // The very file, whole, and nothing left beside it.
            EXPECT_EQ(listing(), taken) << c.what;
            EXPECT_TRUE(now.st_ino == at.st_ino && now.st_dev == at.st_dev) << c.what;
            EXPECT_TRUE(!S_ISREG(now.st_mode) || wholefile::read(p) == bytes) << c.what;
        }
    }
    qelhost::pictureFileHooks.beforeRename = nullptr;
}

TEST_F(SvgPicture, WhatTakesThePicturesPlaceBeforeItGoesBackIsKept)
{
    // An editor saves by writing a new file and renaming it into place: once just before the
    // picture's exchange (version 1, not a picture, so it goes back), once just before it goes back.
    const std::string p = dir + "/p.svg", other = dir + "/other";
    const auto save = [&](const std::string& bytes) {
        std::ofstream(other, std::ios::binary) << bytes;
        return rename(other.c_str(), p.c_str()) == 0;
    };
    const auto replace = [&](const std::function<int()>& make) { return unlink(p.c_str()) == 0 && make() == 0; };
    struct Case
    {
        std::string what;
        std::function<bool()> take; // what takes the picture's place; null: nothing
    };
    const Case cases[] = {
        {"version 2", [&] { return save("version 2\n"); }},
        {"version 2, a picture", [&] { return save("<svg>version 2</svg>\n"); }},
        {"a link", [&] { return replace([&] { return symlink("missing.txt", p.c_str()); }); }},
        {"a pipe", [&] { return replace([&] { return mkfifo(p.c_str(), 0600); }); }},
        {"a directory", [&] { return replace([&] { return mkdir(p.c_str(), 0700); }); }},
        {"nothing", nullptr},
        {"the name removed", [&] { return unlink(p.c_str()) == 0; }},
    };
    const auto fileOf = [](const std::string& path) {
        struct stat st
        {};
        lstat(path.c_str(), &st);
        return std::make_pair(st.st_dev, st.st_ino);
    };
    const auto bytesOf = [](const std::string& path) { // of a file, never waiting on a pipe
        struct stat st
        {};
        return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? wholefile::read(path) : std::string();
    };
    qelhost::pictureFileHooks.beforeRename = onceBeforeRename;
    qelhost::pictureFileHooks.beforeExchangeBack = onceBeforeExchangeBack;
    for (const Case& c : cases) {
        std::system(("rm -rf " + p + " " + dir + "/.meter-*").c_str());
        ASSERT_TRUE(save("<svg>before</svg>\n")) << c.what;
        std::pair<dev_t, ino_t> version1{}, taker{};
        std::string takerBytes;
        bool took = false;
        gBeforeRename = [&](const std::string&) {
            took = save("version 1\n");
            version1 = fileOf(p);
        };
        gBeforeExchangeBack = [&](const std::string&) {
            if (!c.take)
                return;
            took = took && c.take();
            taker = fileOf(p);
            takerBytes = bytesOf(p);
        };
        std::string error;
        EXPECT_FALSE(qelhost::writePictureFile(p, "<svg/>\n", error)) << c.what;
        EXPECT_TRUE(took) << c.what;
        // Version 1 is back at the name, whole.
        EXPECT_TRUE(fileOf(p) == version1 && wholefile::read(p) == "version 1\n") << c.what;
        const std::string refused = "will not write the picture over " + p + ": it exists and is not an SVG picture";
        auto names = listing(); // beside the folder, the audio and the name
        for (const char* known : {".", "..", "a.wav", "p.svg"})
            names.erase(known);
        if (!c.take || c.what == "the name removed") {
            // Nothing but the user's is left: the picture's own temporary file is gone.
            EXPECT_EQ(error, refused) << c.what;
            EXPECT_TRUE(names.empty()) << c.what << ": " << names.begin()->first;
            continue;
        }
        // What took its place is the very one, kept where the message says.
        if (names.size() != 1) {
            ADD_FAILURE() << c.what << ": " << names.size() << " names beside, not 1: " << error;
            continue;
        }
        const std::string kept = dir + "/" + names.begin()->first;
        EXPECT_EQ(error, refused + "; what took its place meanwhile is kept as " + kept) << c.what;
        EXPECT_TRUE(fileOf(kept) == taker) << c.what;
        EXPECT_TRUE(bytesOf(kept) == takerBytes) << c.what;
    }
    qelhost::pictureFileHooks.beforeRename = nullptr;
    qelhost::pictureFileHooks.beforeExchangeBack = nullptr;
}

} // namespace
