// Whole files and folders as bytes: what a run wrote, read back to be compared.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>

namespace wholefile {

// A file's bytes; empty when it cannot be read.
inline std::string read(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return f ? s.str() : std::string();
}

// All of `bytes` to `fd`, or as much as it takes before it fails.
inline void write(int fd, std::string_view bytes)
{
    for (std::size_t at = 0; at < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
        if (n <= 0)
            return;
        at += static_cast<std::size_t>(n);
    }
}

// Every file in `dir`, by name with its bytes, each removed once read.
inline std::map<std::string, std::string> takeFolder(const std::string& dir)
{
    std::map<std::string, std::string> files;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..")
                continue;
            files[name] = read(dir + "/" + name);
            std::remove((dir + "/" + name).c_str());
        }
        closedir(d);
    }
    return files;
}

} // namespace wholefile
