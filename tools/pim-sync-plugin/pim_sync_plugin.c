/* A stand-in for the PIM-sync plug-in program: it runs until it is ended, and says so on stdout
 * when ZELORA_PIM_RECORD names a file (its start and its end). */
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

static volatile sig_atomic_t ended = 0;

static void on_term(int signal_number)
{
    (void)signal_number;
    ended = 1;
}

static void record(const char* what)
{
    const char* path = getenv("ZELORA_PIM_RECORD");
    FILE* file = path != NULL ? fopen(path, "a") : NULL;
    if (file == NULL)
        return;
    fprintf(file, "%s %ld\n", what, (long)getpid());
    fclose(file);
}

int main(void)
{
    struct sigaction action;
    action.sa_handler = on_term;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGTERM, &action, NULL);
    record("started");
    /* Bounded: a plug-in left behind by a failed test goes by itself. */
    for (int i = 0; i < 600 && !ended; ++i)
        sleep(1);
    record(ended ? "ended" : "timeout");
    return 0;
}
