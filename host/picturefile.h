// The file a picture goes to: what may be there, and writing it whole or not at all.
#pragma once

#include <string>

namespace qelhost {

// What is at a picture's name.
enum class PictureSite
{
    Free,        // nothing: a new file is made
    Replaceable, // an empty file or an SVG picture (of an earlier run): replaced whole
    Stream,      // a pipe or character device, itself or behind a link: the picture is written into it
    Refused      // anything else: a picture must not take its place
};

// What is at `path`. When Refused, `problem` says so ("will not write the picture over PATH: it is a
// directory"). A symbolic link is refused unless it leads to a pipe or character device: its target
// is never made or replaced. Unreachable names answer Free (the write then says why it fails).
PictureSite pictureSite(const std::string& path, std::string& problem);

// Why the folder of `path` cannot take a new file ("No such file or directory"), or empty when it can.
std::string pictureFolderProblem(const std::string& path);

// Writes `bytes` to `path` as pictureSite allows, checked again at once: into a pipe or device
// (failing at once when a pipe has no reader), else into a new file beside it that then takes the
// name: a free name only while it is still free, a picture or an empty file by an atomic exchange,
// undone unless what came out is one (what took the picture's place before the undo is kept under
// the temporary name, and `error` says so). A new file gets the mode a fresh file would, a replaced
// picture keeps its own. False with the reason in `error` when refused or when writing fails
// (a file-size limit too, as a full disk); the file at `path` is then as it was. The file beside
// it is removed then, and on every signal that ends the process by default and is at its default,
// which then ends it as it would: SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGALRM, SIGTERM, SIGUSR1,
// SIGUSR2, SIGSTKFLT, SIGXCPU, SIGVTALRM, SIGPROF, SIGIO, SIGPWR and SIGRTMIN to SIGRTMAX (SIGXFSZ is
// ignored meanwhile). SIGKILL can leave it, and so can the faults, left to end the process at once:
// SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP and SIGSYS. SIGSTOP only stops it.
bool writePictureFile(const std::string& path, const std::string& bytes, std::string& error);

// Test seams, null in meter: called with the temporary file's name once the picture is whole in it
// (the ending signals act at once there), with the picture's name just before the temporary file
// takes it (after the last look; each time, when the name changes meanwhile), and with it just
// before what came out of an exchange that must not be replaced is exchanged back.
struct PictureFileHooks
{
    void (*written)(const std::string& temp) = nullptr;
    void (*beforeRename)(const std::string& path) = nullptr;
    void (*beforeExchangeBack)(const std::string& path) = nullptr;
};
extern PictureFileHooks pictureFileHooks;

} // namespace qelhost
