/* A stand-in for the operator's remote-storage client library: it writes down what the phone
 * hands to its two entry points, one line per call, in the file named by
 * ZELORA_STORAGE_RECORD (nothing is written when that is unset). */
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

struct tarn_proxy_info {
    char proxy_host[64];
    int32_t proxy_port;
};

__attribute__((format(printf, 1, 2))) static void record(const char* format, ...)
{
    va_list args;
    const char* path = getenv("ZELORA_STORAGE_RECORD");
    if (path == NULL)
        return;
    FILE* file = fopen(path, "a");
    if (file == NULL)
        return;
    va_start(args, format);
    vfprintf(file, format, args);
    va_end(args);
    fclose(file);
}

int tarn_ordinal_25(const char* subscriber, struct tarn_proxy_info* proxy)
{
    char host[65];
    if (subscriber == NULL || proxy == NULL) {
        record("25 (null)\n");
        return -1;
    }
    /* Only what fits the record is read: a host without its terminator shows as cut. */
    snprintf(host, sizeof host, "%.*s", (int)sizeof proxy->proxy_host, proxy->proxy_host);
    record("25 subscriber=%s host=%s port=%ld\n", subscriber, host, (long)proxy->proxy_port);
    return 0;
}

int tarn_ordinal_26(void)
{
    record("26\n");
    return 0;
}
