// Stands in for a Vantrel task started by a Sentry under test: appends its
// arguments as one line to the file VANTREL_TASK_RECORD names, and ends.
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char **argv)
{
    const char *path = std::getenv("VANTREL_TASK_RECORD");
    if (!path || !*path)
        return 0;
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            line += ' ';
        line += argv[i];
    }
    line += '\n';
    // One write per line, appended: tasks started together do not mix their lines.
    std::FILE *file = std::fopen(path, "a");
    if (!file)
        return 1;
    std::fwrite(line.data(), 1, line.size(), file);
    return std::fclose(file) == 0 ? 0 : 1;
}
