/* Watches one file name from Linux while a program runs, and kills the
 * program the moment the name changes.
 *
 *   name_watch [--nth N] [--run SHELL-COMMAND] PATH COMMAND [ARGS...]
 *
 * Starts COMMAND in a process group of its own, then asks lstat(PATH) in a
 * tight loop. The first answer that differs from the last one (the name
 * gone, or naming another file) ends the whole group with SIGKILL; with
 * --nth, the Nth such change does. With --run, that change stops the
 * program, runs SHELL-COMMAND and lets the program go on, and the watch ends
 * with it.
 * Prints one line:
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
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
    int nth = 1;
    const char* run = NULL;
    int first = 1;
    while (first + 1 < argc && argv[first][0] == '-' && argv[first][1] == '-') {
        if (strcmp(argv[first], "--nth") == 0) {
            nth = atoi(argv[first + 1]);
        } else if (strcmp(argv[first], "--run") == 0) {
            run = argv[first + 1];
        } else {
            break;
        }
        first += 2;
    }
    if (argc - first < 2 || nth < 1) {
        fprintf(stderr, "usage: name_watch [--nth N] [--run SHELL-COMMAND] PATH COMMAND [ARGS...]\n");
        return 2;
    }
    const char* path = argv[first];
    struct stat before;
    if (lstat(path, &before) != 0) {
        fprintf(stderr, "name_watch: %s: %s\n", path, strerror(errno));
        return 2;
    }
    const pid_t child = fork();
    if (child < 0) return 2;
    if (child == 0) {
        setpgid(0, 0);
        execvp(argv[first + 1], argv + first + 1);
        _exit(127);
    }
    setpgid(child, child); /* either side may run first */

    const char* seen = "none";
    unsigned long polls = 0;
    int status = 0;
    int changes = 0;
    int absent = 0;
    for (;;) {
        struct stat now;
        ++polls;
        const int gone = lstat(path, &now) != 0;
        if (gone != absent || (!gone && (now.st_ino != before.st_ino || now.st_dev != before.st_dev))) {
            seen = gone ? "absent" : "changed";
            absent = gone;
            if (!gone) before = now;
            if (++changes == nth) {
                if (run == NULL) {
                    kill(-child, SIGKILL);
                    kill(child, SIGKILL);
                    break;
                }
                /* The program waits while the command runs: it goes on
                 * only once the command is done. */
                kill(-child, SIGSTOP);
                if (system(run) != 0) fprintf(stderr, "name_watch: %s failed\n", run);
                kill(-child, SIGCONT);
            }
        }
        /* Every so often, whether the program has ended on its own. */
        if ((polls & 0x3ff) == 0 && waitpid(child, &status, WNOHANG) == child) {
            printf("seen=%s polls=%lu status=%d\n", changes >= nth ? seen : "none", polls,
                   WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
            return 0;
        }
    }
    waitpid(child, &status, 0);
    printf("seen=%s polls=%lu status=%d\n", seen, polls,
           WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    return 0;
}
