// Build-time tool: makes the initial encrypted database file beside the built program.
// Usage: mkdb <path of Data/db.mzx>. An existing file is never touched.
#include "data/schema.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <sys/stat.h>

namespace {

bool exists(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

std::string folderOf(const std::string& path)
{
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <database file>\n", argv[0]);
        return 2;
    }
    const std::string path = argv[1];
    if (exists(path))
        return 0;
    const std::string folder = folderOf(path);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        std::perror(folder.c_str());
        return 1;
    }
    try {
        schema::createDatabase(path, schema::kDatabasePassword, schema::kInitialLoginPassword);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mkdb: %s\n", e.what());
        return 1;
    }
    std::printf("mkdb: created %s\n", path.c_str());
    return 0;
}
