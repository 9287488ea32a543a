/* Another program's restart-time operations, as the end-to-end tests need
 * them: scheduled by the delayed move itself, and the lists dumped byte for
 * byte so a test can tell that a run left them as they were.
 *
 *   pending_ops.exe COMMAND...
 *     move SOURCE TARGET   SOURCE replaces TARGET at the restart
 *     delete SOURCE        SOURCE is deleted at the restart
 *     dump                 both lists as "NAME=HEX" lines ("NAME absent")
 *
 * Exits 1 at the first command that fails, with its error. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

static void Dump(HKEY key, const char* name) {
    static BYTE data[1 << 16];
    DWORD size = sizeof data, type = 0, i;
    if (RegQueryValueExA(key, name, NULL, &type, data, &size) != ERROR_SUCCESS) {
        printf("%s absent\n", name);
        return;
    }
    printf("%s=", name);
    for (i = 0; i < size; ++i) printf("%02x", data[i]);
    printf("\n");
}

int main(int argc, char** argv) {
    int i;
    for (i = 1; i < argc; ++i) {
        const char* command = argv[i];
        BOOL ok = TRUE;
        if (strcmp(argv[i], "move") == 0 && i + 2 < argc) {
            ok = MoveFileExA(argv[i + 1], argv[i + 2], MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING);
            i += 2;
        } else if (strcmp(argv[i], "delete") == 0 && i + 1 < argc) {
            ok = MoveFileExA(argv[++i], NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
        } else if (strcmp(argv[i], "dump") == 0) {
            HKEY key;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                              KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
                ok = FALSE;
            } else {
                Dump(key, "PendingFileRenameOperations");
                Dump(key, "PendingFileRenameOperations2");
                RegCloseKey(key);
            }
        } else {
            fprintf(stderr, "pending_ops: unknown command %s\n", argv[i]);
            return 2;
        }
        if (!ok) {
            printf("FAIL: %s (%lu)\n", command, GetLastError());
            return 1;
        }
    }
    return 0;
}
