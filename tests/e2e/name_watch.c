/* Watches one file name from Linux while a program runs, and kills the
 * program the moment the name changes.
 *
 *   name_watch PATH COMMAND [ARGS...]
 *
 * Starts COMMAND in a process group of its own, then asks lstat(PATH) in a
 * tight loop. The first answer that differs from the first one (the name
 * gone, or naming another file) ends the whole group with SIGKILL. Prints
 * one line:
 *
 *   seen=absent|changed|none polls=N status=S
 *
 * absent: the name was seen naming nothing; changed: it named another file;
 * none: the program ended first. status is the program's exit code, or 128
 * plus the signal that ended it. Exit code 0, or 2 on a usage error. */
#define _GNU_SOURCE
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: name_watch PATH COMMAND [ARGS...]\n");
        return 2;
    }
    const char* path = argv[1];
    struct stat before;
    if (lstat(path, &before) != 0) {
        fprintf(stderr, "name_watch: %s: %s\n", path, strerror(errno));
        return 2;
    }
    const pid_t child = fork();
    if (child < 0) return 2;
    if (child == 0) {
        setpgid(0, 0);
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    setpgid(child, child); /* either side may run first */

    const char* seen = "none";
    unsigned long polls = 0;
    int status = 0;
    for (;;) {
        struct stat now;
        ++polls;
        if (lstat(path, &now) != 0) {
            seen = "absent";
        } else if (now.st_ino != before.st_ino || now.st_dev != before.st_dev) {
            seen = "changed";
        }
        if (strcmp(seen, "none") != 0) {
            kill(-child, SIGKILL);
            kill(child, SIGKILL);
            break;
        }
        /* Every so often, whether the program has ended on its own. */
        if ((polls & 0x3ff) == 0 && waitpid(child, &status, WNOHANG) == child) {
            printf("seen=none polls=%lu status=%d\n", polls,
                   WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
            return 0;
        }
    }
    waitpid(child, &status, 0);
    printf("seen=%s polls=%lu status=%d\n", seen, polls,
           WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    return 0;
}
