#include "host/picturefile.h"

#include "host/filesizelimit.h"
#include "host/signaldefault.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <new>

namespace qelhost {

PictureFileHooks pictureFileHooks;

namespace {

// Whether `head`, the start of a file, is that of an SVG picture: an XML prolog (declaration,
// processing instructions, comments, a document type) and then the root element svg, with or
// without a namespace prefix.
bool startsAsSvg(const std::string& head)
{
    std::size_t at = head.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    const auto skipPast = [&head, &at](const char* end, std::size_t from) {
        const std::size_t found = head.find(end, from);
        at = found == std::string::npos ? std::string::npos : found + std::strlen(end);
        return at != std::string::npos;
    };
    for (;;) {
        at = head.find_first_not_of(" \t\r\n", at);
        if (at == std::string::npos || head[at] != '<')
            return false;
        if (head.compare(at, 2, "<?") == 0) {
            if (!skipPast("?>", at + 2))
                return false;
        } else if (head.compare(at, 4, "<!--") == 0) {
            if (!skipPast("-->", at + 4))
                return false;
        } else if (head.compare(at, 9, "<!DOCTYPE") == 0) {
            // Its internal subset, in brackets, holds declarations that end in '>' too.
            bool subset = false;
            char quote = 0;
            std::size_t i = at + 9;
            for (; i < head.size(); ++i) {
                const char c = head[i];
                if (quote)
                    quote = c == quote ? 0 : quote;
                else if (c == '"' || c == '\'')
                    quote = c;
                else if (c == '[' || c == ']')
                    subset = c == '[';
                else if (c == '>' && !subset)
                    break;
            }
            if (i >= head.size())
                return false;
            at = i + 1;
        } else {
            const std::size_t end = head.find_first_of(" \t\r\n/>", at + 1);
            if (end == std::string::npos)
                return false;
            const std::string name = head.substr(at + 1, end - at - 1);
            const std::size_t colon = name.find(':');
            return name.substr(colon == std::string::npos ? 0 : colon + 1) == "svg";
        }
    }
}

// What is at a picture's name, with the mode of the file replaced or the pipe or device written into.
struct Site
{
    PictureSite kind = PictureSite::Free;
    mode_t mode = 0;
    std::string problem;
};

Site refused(const std::string& path, const std::string& why)
{
    return {PictureSite::Refused, 0, "will not write the picture over " + path + ": " + why};
}

// What is at `at` in the folder `folder` (AT_FDCWD: the working folder), told in messages as `path`.
Site inspect(int folder, const char* at, const std::string& path)
{
    struct stat st
    {};
    if (fstatat(folder, at, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return {};
    if (S_ISLNK(st.st_mode)) {
        // Only into a pipe or device (/dev/stdout, /dev/fd/N): a file behind a link is not ours to make or replace.
        if (fstatat(folder, at, &st, 0) == 0 && (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)))
            return {PictureSite::Stream, st.st_mode, {}};
        return refused(path, "it is a symbolic link");
    }
    if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode))
        return {PictureSite::Stream, st.st_mode, {}};
    if (S_ISDIR(st.st_mode))
        return refused(path, "it is a directory");
    if (!S_ISREG(st.st_mode))
        return refused(path, S_ISBLK(st.st_mode) ? "it is a block device" : "it is a socket");
    // Neither following a link nor waiting on a pipe put there since.
    const int fd = openat(folder, at, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    std::string head(64 * 1024, '\0');
    ssize_t n = -1;
    int why = errno;
    if (fd >= 0) {
        errno = EAGAIN; // no longer a file
        n = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? read(fd, head.data(), head.size()) : -1;
        why = errno;
        close(fd);
    }
    if (n < 0)
        return refused(path, std::string("it cannot be read to check that it is a picture: ") + std::strerror(why));
    head.resize(static_cast<std::size_t>(n));
    if (n == 0 || startsAsSvg(head))
        return {PictureSite::Replaceable, st.st_mode, {}};
    return refused(path, "it exists and is not an SVG picture");
}

Site inspect(const std::string& path)
{
    return inspect(AT_FDCWD, path.c_str(), path);
}

// The folder part of `path` with its slash; empty for a bare name.
std::string folderPrefix(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool cannotWrite(const std::string& path, int why, std::string& error)
{
    error = "cannot write " + path + ": " + std::strerror(why);
    return false;
}

// All of `bytes` into `fd`; false with errno set when not.
bool writeAll(int fd, const std::string& bytes)
{
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            errno = n == 0 ? EIO : errno;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool writeIntoStream(const std::string& path, const Site& site, const std::string& bytes, std::string& error)
{
    // A pipe without a reader refuses the open at once rather than block it.
    const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENXIO || !S_ISFIFO(site.mode))
            return cannotWrite(path, errno, error);
        error = "cannot write " + path + ": nothing reads from the pipe";
        return false;
    }
    struct stat st
    {};
    if (fstat(fd, &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode))) {
        close(fd);
        error = refused(path, "it is not a pipe or device any more").problem;
        return false;
    }
    const int flags = fcntl(fd, F_GETFL);
    bool ok = flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0 && writeAll(fd, bytes);
    int why = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        why = errno;
    }
    return ok || cannotWrite(path, why, error);
}

// The signals that end meter by default and can be caught, but SIGXFSZ (ignored while the file
// exists) and the faults of meter itself (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP,
// SIGSYS), which end it at once: a fault cannot wait while the writer holds the ending signals.
// SIGPIPE only comes from elsewhere: the picture written into a pipe has no temporary file. The
// real-time ones are known at run time (the C library keeps those below SIGRTMIN for itself).
sigset_t endingSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int sig : {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGALRM, SIGTERM, SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM,
                          SIGPROF, SIGIO, SIGPWR})
        sigaddset(&set, sig);
#ifdef SIGSTKFLT // not on every processor
    sigaddset(&set, SIGSTKFLT);
#endif
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig)
        sigaddset(&set, sig);
    return set;
}

// The temporary file while it exists, for the handler of the ending signals: its name in its
// folder, published and cleared with those signals blocked in the one thread that writes it, which
// alone acts on them.
char gTempName[64];
static_assert(sizeof(gTempName) > sizeof(".meter--.svg.part") + 2 * 20, "room for two numbers");
int gTempFolder = AT_FDCWD;
volatile sig_atomic_t gTempExists = 0;
std::atomic<pthread_t> gTempWriter{};
static_assert(std::atomic<pthread_t>::is_always_lock_free, "read in a signal handler");

extern "C" void removeTempAndEnd(int sig)
{
    const pthread_t writer = gTempWriter.load();
    if (!pthread_equal(pthread_self(), writer)) {
        // Caught by another thread: the writer acts on it once the name is not being changed.
        pthread_kill(writer, sig);
        return;
    }
    if (gTempExists)
        unlinkat(gTempFolder, gTempName, 0);
    // Ended as the signal ends meter otherwise (it is blocked here until the handler returns).
    signal(sig, SIG_DFL);
    raise(sig);
}

// A file of its own beside a picture's name (made here, not found), which the picture is written
// into and which then takes the name. It is reached through its folder, held open, by a short name,
// whatever the folder's path: a picture's path may come near the system's limit. While it exists a
// file-size limit fails a write (EFBIG, as a full disk does) rather than end meter by SIGXFSZ, and
// the ending signals remove it before they end meter as they would; only SIGKILL and the faults can
// leave it. Signals that are ignored, blocked or handled already are left as they are.
class TempFile
{
public:
    TempFile() : lock_(gTempLock)
    {
        ending_ = endingSignals();
        pthread_sigmask(SIG_BLOCK, &ending_, &oldMask_);
        gTempWriter.store(pthread_self());
        struct sigaction act
        {};
        act.sa_handler = removeTempAndEnd;
        act.sa_mask = ending_;
        for (int sig = 1; sig < NSIG; ++sig)
            handled_[sig] =
                sigismember(&ending_, sig) == 1 && !sigismember(&oldMask_, sig) && takeOverDefault(sig, act, old_[sig]);
    }
    ~TempFile()
    {
        hold();
        remove();
        if (held_ >= 0)
            close(held_);
        if (folder_ >= 0)
            close(folder_);
        for (int sig = 1; sig < NSIG; ++sig)
            if (handled_[sig])
                sigaction(sig, &old_[sig], nullptr);
        // A signal caught meanwhile ends meter here, as it would have.
        pthread_sigmask(SIG_SETMASK, &oldMask_, nullptr);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Makes the file in `folder` (empty or ending in a slash): its descriptor, or -1 with errno set.
    int create(const std::string& folder)
    {
        folder_ = open(folder.empty() ? "." : folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (folder_ < 0)
            return -1;
        gTempFolder = folder_;
        int fd = -1;
        for (int n = 0; fd < 0 && n < 100; ++n) {
            base_ = ".meter-" + std::to_string(getpid()) + "-" + std::to_string(n) + ".svg.part";
            name_ = folder + base_;
            std::memcpy(gTempName, base_.c_str(), base_.size() + 1);
            fd = openat(folder_, base(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && errno != EEXIST)
                break;
        }
        gTempExists = fd >= 0;
        // Held open to the end, so that the file stays the one it is (its inode not taken by another).
        held_ = fd >= 0 ? fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
        if (fd >= 0 && held_ < 0) {
            const int why = errno;
            close(fd);
            remove();
            errno = why;
            return -1;
        }
        return fd;
    }
    // Its path, as messages give it; and its folder and its name there, as the file is reached.
    const std::string& name() const { return name_; }
    int folder() const { return folder_; }
    const char* base() const { return base_.c_str(); }
    // Whether the temporary name holds the file made here rather than something put in its place.
    bool holdsItsOwn() const
    {
        struct stat made
        {};
        struct stat there
        {};
        return fstat(held_, &made) == 0 && fstatat(folder_, base(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
               made.st_dev == there.st_dev && made.st_ino == there.st_ino;
    }
    // The ending signals act at once (while the picture is written) or wait (while the name changes).
    void allow() { pthread_sigmask(SIG_SETMASK, &oldMask_, nullptr); }
    void hold() { pthread_sigmask(SIG_BLOCK, &ending_, nullptr); }
    // The file is gone: removed here.
    void remove()
    {
        if (gTempExists)
            unlinkat(folder_, base(), 0);
        gTempExists = 0;
    }
    // The name is not this file's any more (it took the picture's name) or holds what is not meter's.
    void release() { gTempExists = 0; }

private:
    static std::mutex gTempLock; // one such file at a time
    std::lock_guard<std::mutex> lock_;
    FileSizeLimitAsError fileSizeLimit_;
    std::string name_;
    std::string base_;
    int folder_ = -1;
    int held_ = -1;
    sigset_t ending_{}, oldMask_{};
    // By signal number.
    struct sigaction old_[NSIG]
    {};
    bool handled_[NSIG] = {};
};

std::mutex TempFile::gTempLock;

// Whether renameat2 fails with `why` because the file system lacks the kind of rename asked for.
bool renameUnsupported(int why)
{
    return why == EINVAL || why == ENOSYS || why == EOPNOTSUPP;
}

// After the temporary file and what was at `path` have been exchanged: what came out goes when it is
// a picture or an empty file, as it would have at the last look; anything else goes back, and so
// does what could not be looked at for want of memory. Everything is in its place before a message
// is made, so that a shortage on the way leaves no file of someone else's to be removed.
bool checkExchanged(const std::string& path, TempFile& temp, std::string& error)
{
    const int folder = temp.folder();
    const char* const from = temp.base();
    Site out;
    bool known = true;
    try {
        out = inspect(folder, from, path);
    } catch (const std::bad_alloc&) {
        known = false;
    }
    if (known && (out.kind == PictureSite::Replaceable || out.kind == PictureSite::Free)) {
        temp.remove();
        return true;
    }
    // Back whole, or, when this picture has gone from the name meanwhile, put back as it was.
    if (pictureFileHooks.beforeExchangeBack)
        pictureFileHooks.beforeExchangeBack(path);
    enum
    {
        Back,
        Kept,
        Stuck
    } ending = Back;
    int why = 0;
    if (renameat2(folder, from, AT_FDCWD, path.c_str(), RENAME_EXCHANGE) == 0) {
        // What comes out is the picture, unless something took the name from it since the first
        // exchange (a save by rename, a directory): that is someone's and stays, found where told.
        if (temp.holdsItsOwn()) {
            temp.remove();
        } else {
            struct stat there
            {};
            if (fstatat(folder, from, &there, AT_SYMLINK_NOFOLLOW) == 0)
                ending = Kept;
            temp.release();
        }
    } else if (errno == ENOENT && renameat2(folder, from, AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) {
        temp.release();
    } else {
        // It stays under the temporary name, which is then its own: never removed.
        why = errno;
        ending = Stuck;
        temp.release();
    }
    if (!known)
        throw std::bad_alloc();
    error = out.kind == PictureSite::Refused ? out.problem : refused(path, "it is a pipe or device now").problem;
    if (ending == Kept)
        error += "; what took its place meanwhile is kept as " + temp.name();
    else if (ending == Stuck)
        error += std::string("; it could not be put back (") + std::strerror(why) + ") and is left as " + temp.name();
    return false;
}

// Gives the picture in `temp` the name `path`, looked at just before: a free name only while it is
// still free, a picture or an empty file only while it is one, so that whatever else took the name
// during the run stays.
bool takeName(const std::string& path, TempFile& temp, std::string& error)
{
    const int folder = temp.folder();
    const char* const from = temp.base();
    for (int tries = 0; tries < 3; ++tries) {
        const Site now = inspect(path);
        if (now.kind == PictureSite::Refused || now.kind == PictureSite::Stream) {
            error =
                now.kind == PictureSite::Refused ? now.problem : refused(path, "it is a pipe or device now").problem;
            return false;
        }
        // The picture there (of this run's start or since) keeps its mode.
        if (now.kind == PictureSite::Replaceable && fchmodat(folder, from, now.mode & 0777, 0) != 0)
            return cannotWrite(path, errno, error);
        if (pictureFileHooks.beforeRename)
            pictureFileHooks.beforeRename(path);
        if (now.kind == PictureSite::Free) {
            if (renameat2(folder, from, AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) {
                temp.release();
                return true;
            }
            if (errno == EEXIST)
                continue; // taken since the look: look again
        } else {
            // Exchanged, so that what is there at that moment, whatever it is, comes out whole.
            if (renameat2(folder, from, AT_FDCWD, path.c_str(), RENAME_EXCHANGE) == 0)
                return checkExchanged(path, temp, error);
            if (errno == ENOENT)
                continue; // gone since the look: taken while free
        }
        // A file system without the no-replace rename or the exchange has the plain rename, after
        // the last look.
        if (!renameUnsupported(errno) || renameat(folder, from, AT_FDCWD, path.c_str()) != 0)
            return cannotWrite(path, errno, error);
        temp.release();
        return true;
    }
    // Taken again and again between looks.
    error = refused(path, "it was taken during the run").problem;
    return false;
}

bool writeWhole(const std::string& path, const Site& site, const std::string& bytes, std::string& error)
{
    // A write-protected picture stays, as it did when pictures were written in place.
    if (site.kind == PictureSite::Replaceable && access(path.c_str(), W_OK) != 0)
        return cannotWrite(path, errno, error);
    TempFile temp;
    const int fd = temp.create(folderPrefix(path));
    if (fd < 0)
        return cannotWrite(path, errno, error);
    temp.allow();
    bool ok = (site.kind != PictureSite::Replaceable || fchmod(fd, site.mode & 0777) == 0) && writeAll(fd, bytes) &&
              fsync(fd) == 0;
    int why = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        why = errno;
    }
    if (ok && pictureFileHooks.written)
        pictureFileHooks.written(temp.name());
    temp.hold();
    if (!ok)
        return cannotWrite(path, why, error);
    return takeName(path, temp, error);
}

} // namespace

PictureSite pictureSite(const std::string& path, std::string& problem)
{
    Site site = inspect(path);
    problem = std::move(site.problem);
    return site.kind;
}

std::string pictureFolderProblem(const std::string& path)
{
    const std::string prefix = folderPrefix(path);
    const char* folder = prefix.empty() ? "." : prefix.c_str();
    struct stat st
    {};
    if (stat(folder, &st) != 0)
        return std::strerror(errno);
    if (!S_ISDIR(st.st_mode))
        return std::strerror(ENOTDIR);
    if (access(folder, W_OK) != 0)
        return std::strerror(errno);
    return {};
}

bool writePictureFile(const std::string& path, const std::string& bytes, std::string& error)
{
    const Site site = inspect(path);
    if (site.kind == PictureSite::Refused) {
        error = site.problem;
        return false;
    }
    return site.kind == PictureSite::Stream ? writeIntoStream(path, site, bytes, error)
                                            : writeWhole(path, site, bytes, error);
}

} // namespace qelhost
