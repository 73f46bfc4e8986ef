// The processes (or threads) listed in a /proc folder: one call per numbered entry, with its id and
// the first line of its file `name` (empty when it cannot be read, as for an entry that ended).
#pragma once

#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace testproc {

// False when the folder cannot be read.
template <class Each>
bool forEachEntry(const std::string& folder, const char* name, Each&& each)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return false;
    while (const dirent* e = readdir(dir)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9')
            continue;
        const std::string path = folder + "/" + e->d_name + "/" + name;
        char line[1024] = {};
        if (FILE* f = std::fopen(path.c_str(), "r")) {
            if (!std::fgets(line, sizeof line, f))
                line[0] = '\0';
            std::fclose(f);
        }
        if (line[0])
            each(std::strtol(e->d_name, nullptr, 10), line);
    }
    closedir(dir);
    return true;
}

} // namespace testproc
