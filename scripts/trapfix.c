/* Preloaded into Wine's 32-bit processes under qemu's user-mode emulator, which
   hands a faulting thread a signal context whose trap number is -1: Wine's fault
   handlers dispatch on it, and every page fault would reach the program as an
   illegal instruction. This wraps sigaction for the fault signals and fills the
   number in from the signal's code. Built freestanding (gcc -m32 -nostdlib), so
   the i386 layouts it uses are spelled out here. */
enum { SIGTRAP = 5, SIGFPE = 8, SIGSEGV = 11, SA_SIGINFO = 4 };
/* Signal codes, and the x86 exception vectors the kernel reports as trap numbers. */
enum { SEGV_MAPERR = 1, SEGV_ACCERR = 2, FPE_INTDIV = 1, TRAP_TRACE = 2, TRAP_HWBKPT = 4 };
enum { TRAP_DIVIDE = 0, TRAP_DEBUG = 1, TRAP_BREAKPOINT = 3, TRAP_PROTECTION = 13, TRAP_PAGE_FAULT = 14, TRAP_FPU = 16 };
/* ucontext_t: flags, link and a three-word stack_t come before the registers;
   siginfo_t: signo, errno, code. */
enum { GREGS_OFFSET = 20, REG_TRAPNO = 12, SI_CODE_INDEX = 2 };

typedef void (*handler_fn)(int, void *, void *);

struct c_sigaction { handler_fn handler; unsigned long mask[32]; int flags; void (*restorer)(void); };

typedef int (*sigaction_fn)(int, const struct c_sigaction *, struct c_sigaction *);
extern void *dlsym(void *handle, const char *symbol);

static handler_fn g_handlers[32]; /* the program's own handler for each wrapped signal */

static int trap_number(int sig, int code)
{
    if (sig == SIGSEGV)
        return code == SEGV_MAPERR || code == SEGV_ACCERR ? TRAP_PAGE_FAULT : TRAP_PROTECTION;
    if (sig == SIGFPE)
        return code == FPE_INTDIV ? TRAP_DIVIDE : TRAP_FPU;
    return code == TRAP_TRACE || code == TRAP_HWBKPT ? TRAP_DEBUG : TRAP_BREAKPOINT;
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
    handler_fn previous = g_handlers[sig & 31];
    int takes_info = act && (act->flags & SA_SIGINFO);

    if (!real)
        real = (sigaction_fn)dlsym((void *)-1l /* RTLD_NEXT */, "sigaction");
    if (sig != SIGSEGV && sig != SIGFPE && sig != SIGTRAP)
        return real(sig, act, old);
    /* The handler is known before the wrapper can run, so a signal that comes
       while the action changes finds it. */
    if (takes_info) {
        mine = *act;
        mine.handler = fill_trap_number;
        g_handlers[sig] = act->handler;
    }
    if (real(sig, takes_info ? &mine : act, old) != 0) {
        g_handlers[sig] = previous;
        return -1;
    }
    if (old && old->handler == fill_trap_number)
        old->handler = previous;
    if (act && !takes_info)
        g_handlers[sig] = 0;
    return 0;
}
