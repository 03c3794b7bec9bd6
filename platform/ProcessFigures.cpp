#include "platform/ProcessFigures.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>

namespace utq::platform {

qint64 residentBytes() {
    std::FILE* statm = std::fopen("/proc/self/statm", "re");
    if (!statm)
        return -1;
    long long sizePages = 0;
    long long residentPages = 0;
    const int read = std::fscanf(statm, "%lld %lld", &sizePages, &residentPages);
    std::fclose(statm);
    const long pageBytes = sysconf(_SC_PAGESIZE);
    return read == 2 && pageBytes > 0 ? residentPages * pageBytes : -1;
}

qint64 openFileCount() {
    DIR* folder = opendir("/proc/self/fd");
    if (!folder)
        return -1;
    qint64 count = 0;
    while (const dirent* entry = readdir(folder))
        if (entry->d_name[0] != '.')
            ++count;
    closedir(folder);
    return count - 1; // the folder's own descriptor, open while it is read
}

} // namespace utq::platform
