/*
 * Preloaded into Wine's 32-bit processes when qemu's user-mode emulator runs
 * them. qemu hands a faulting thread a signal context whose trap number is -1;
 * Wine's fault handlers dispatch on that number, so every page fault would reach
 * the program as an illegal instruction and no access violation could be caught.
 * This wraps sigaction for the three fault signals and fills the trap number in
 * from the signal's code before Wine's handler sees the context.
 *
 * Built freestanding (gcc -m32 -nostdlib -shared): no 32-bit C headers needed,
 * so the few kernel and C library layouts it uses are spelled out here.
 */
#define SIGTRAP 5
#define SIGFPE 8
#define SIGSEGV 11
#define SA_SIGINFO 4

#define SEGV_MAPERR 1
#define SEGV_ACCERR 2
#define FPE_INTDIV 1
#define TRAP_TRACE 2
#define TRAP_HWBKPT 4

/* x86 exception vectors, as the kernel reports them in the trap number. */
#define TRAP_DIVIDE 0
#define TRAP_DEBUG 1
#define TRAP_BREAKPOINT 3
#define TRAP_PROTECTION 13
#define TRAP_PAGE_FAULT 14
#define TRAP_FPU 16

/* ucontext_t: flags, link and a three-word stack_t come before the registers. */
#define GREGS_OFFSET 20
#define REG_TRAPNO 12
/* siginfo_t: signo, errno, code. */
#define SI_CODE_INDEX 2

typedef void (*handler_fn)(int, void *, void *);

/* The C library's struct sigaction on i386. */
struct c_sigaction {
    handler_fn handler;
    unsigned long mask[32];
    int flags;
    void (*restorer)(void);
};

typedef int (*sigaction_fn)(int, const struct c_sigaction *, struct c_sigaction *);

extern void *dlsym(void *handle, const char *symbol);
#define RTLD_NEXT ((void *)-1l)

static handler_fn g_handlers[32]; /* the program's own handler for each wrapped signal */

static int wrapped(int sig)
{
    return sig == SIGSEGV || sig == SIGFPE || sig == SIGTRAP;
}

static int trap_number(int sig, int code)
{
    switch (sig) {
    case SIGSEGV:
        return code == SEGV_MAPERR || code == SEGV_ACCERR ? TRAP_PAGE_FAULT : TRAP_PROTECTION;
    case SIGFPE:
        return code == FPE_INTDIV ? TRAP_DIVIDE : TRAP_FPU;
    default:
        return code == TRAP_TRACE || code == TRAP_HWBKPT ? TRAP_DEBUG : TRAP_BREAKPOINT;
    }
}

static void fill_trap_number(int sig, void *info, void *context)
{
    int *gregs = (int *)((char *)context + GREGS_OFFSET);

    if (gregs[REG_TRAPNO] == -1)
        gregs[REG_TRAPNO] = trap_number(sig, ((int *)info)[SI_CODE_INDEX]);
    g_handlers[sig](sig, info, context);
}

int sigaction(int sig, const struct c_sigaction *act, struct c_sigaction *old)
{
    static sigaction_fn real;
    struct c_sigaction mine;
    handler_fn previous;
    int takes_info, result;

    if (!real)
        real = (sigaction_fn)dlsym(RTLD_NEXT, "sigaction");
    if (!wrapped(sig))
        return real(sig, act, old);

    /* The handler is known before the wrapper can run, so a signal that comes
       while the action changes finds it. */
    previous = g_handlers[sig];
    takes_info = act && (act->flags & SA_SIGINFO);
    if (takes_info) {
        mine = *act;
        mine.handler = fill_trap_number;
        g_handlers[sig] = act->handler;
    }
    result = real(sig, takes_info ? &mine : act, old);
    if (result != 0) {
        g_handlers[sig] = previous;
        return result;
    }
    if (old && old->handler == fill_trap_number)
        old->handler = previous;
    if (act && !takes_info)
        g_handlers[sig] = 0;
    return 0;
}
