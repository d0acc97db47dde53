/* The child program of the runner tests. It stands in for adb: the tests put it beside a host
 * folder under the adb name. Arguments are steps run in order:
 *   print <text>    write <text> and a line end to standard output
 *   sleep <ms>      sleep
 *   args <file>     write every argument, one per line, into <file>
 *   cwd <file>      write the current folder into <file>
 *   exit <code>     end with <code>
 * With ZENTRO_CHILD_LOG set, each start appends its arguments to that file first.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#ifdef _WIN32
#include <direct.h>
#include <windows.h>
#define getcwd _getcwd
static void sleep_ms(int ms) { Sleep((DWORD)ms); }
#else
#include <time.h>
#include <unistd.h>
static void sleep_ms(int ms) {
    struct timespec ts = {ms / 1000, (long)(ms % 1000) * 1000000L};
    nanosleep(&ts, NULL);
}
#endif

int main(int argc, char** argv) {
    /* Every start is recorded when the tests ask for it: the arguments on one line, joined by
     * '|', so tests can assert exactly what the library ran. */
    const char* record = getenv("ZENTRO_CHILD_LOG");
    if (record != NULL && record[0] != '\0') {
        FILE* f = fopen(record, "ab");
        if (f != NULL) {
            for (int j = 1; j < argc; ++j) fprintf(f, j == 1 ? "%s" : "|%s", argv[j]);
            fputc('\n', f);
            fclose(f);
        }
    }
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "print") == 0 && i + 1 < argc) {
            printf("%s\n", argv[++i]);
            fflush(stdout);
        } else if (strcmp(argv[i], "sleep") == 0 && i + 1 < argc) {
            sleep_ms(atoi(argv[++i]));
        } else if (strcmp(argv[i], "args") == 0 && i + 1 < argc) {
            FILE* f = fopen(argv[++i], "wb");
            if (f == NULL) return 3;
            for (int j = 0; j < argc; ++j) fprintf(f, "%s\n", argv[j]);
            fclose(f);
        } else if (strcmp(argv[i], "cwd") == 0 && i + 1 < argc) {
            char dir[4096];
            FILE* f = fopen(argv[++i], "wb");
            if (f == NULL || getcwd(dir, sizeof dir) == NULL) return 3;
            fprintf(f, "%s\n", dir);
            fclose(f);
        } else if (strcmp(argv[i], "exit") == 0 && i + 1 < argc) {
            return atoi(argv[++i]);
        }
    }
    return 0;
}
