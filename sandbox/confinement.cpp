#include "sandbox/confinement.h"

#include "sandbox/protocol.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace sandbox {
namespace {

void logLine(const char* what) {
    std::fprintf(stderr, "exifviewer-decoder: %s (%s)\n", what, std::strerror(errno));
}

// The address space the decoders may add to what the worker maps once they
// are loaded: two pictures at the decode limit (the decoder's own buffer and
// the picture it hands back). A decode that needs more fails its allocation
// instead of taking the machine's memory.
constexpr std::uint64_t kAddressSpaceHeadroom = 2 * kMaxPictureBytes;
// RLIMIT_CPU counts the worker's whole life; the worker retires well before
// the soft limit (SIGXCPU), and the hard limit (SIGKILL) follows shortly.
constexpr rlim_t kProcessorSecondsSoft = static_cast<rlim_t>(kRetireAfterProcessorSeconds) + 60;
constexpr rlim_t kProcessorSecondsHard = kProcessorSecondsSoft + 5;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

// What the process maps now, from /proc (read before the root is emptied).
std::uint64_t mappedBytes() {
    std::FILE* statm = std::fopen("/proc/self/statm", "re");
    if (!statm) return 0;
    unsigned long long pages = 0;
    const bool read = std::fscanf(statm, "%llu", &pages) == 1;
    std::fclose(statm);
    return read ? pages * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE)) : 0;
}

struct Rule {
    const char* name;
    enum class Kind {
        Allow,
        AllowIfEqual,       // argument `arg` equals `value`
        AllowIfMaskedZero,  // argument `arg` has none of the bits of `value`
        AllowIfMaskedAll,   // argument `arg` has all the bits of `value`
        Refuse,             // fails with errno `value` instead of ending the worker
    };
    Kind kind = Kind::Allow;
    unsigned arg = 0;
    std::uint64_t value = 0;
};

// Everything else ends the worker (SIGSYS): opening files by name, sockets
// and connections, running programs, tracing, new processes, namespaces,
// mounts, executable memory. Special values (the socket, our pid) are
// filled in by installSyscallFilter.
constexpr std::uint64_t kOwnSocket = ~0ULL;
constexpr std::uint64_t kOwnPid = ~0ULL - 1;
const Rule kAllowList[] = {
    // Memory, never executable: the decoders are loaded, nothing new may run.
    {"brk"},
    {"mmap", Rule::Kind::AllowIfMaskedZero, 2, PROT_EXEC},
    {"mprotect", Rule::Kind::AllowIfMaskedZero, 2, PROT_EXEC},
    {"munmap"},
    {"mremap"},
    {"madvise"},
    // The photo's descriptor (read at positions, sized), the pictures' memory
    // files, the log on standard error.
    {"read"},
    {"pread64"},
    {"readv"},
    {"lseek"},
    {"write"},
    {"writev"},
    {"pwrite64"},
    {"close"},
    {"fstat"},
    // glibc's fstat; by a descriptor only (the path is ignored then).
    {"newfstatat", Rule::Kind::AllowIfMaskedAll, 3, AT_EMPTY_PATH},
    {"statx", Rule::Kind::AllowIfMaskedAll, 2, AT_EMPTY_PATH},
    // A decoder may keep its own copy of the photo's descriptor.
    {"fcntl", Rule::Kind::AllowIfEqual, 1, F_DUPFD_CLOEXEC},
    {"fcntl", Rule::Kind::AllowIfEqual, 1, F_GETFD},
    {"fcntl", Rule::Kind::AllowIfEqual, 1, F_GETFL},
    {"fcntl", Rule::Kind::AllowIfEqual, 1, F_ADD_SEALS},
    {"fcntl", Rule::Kind::AllowIfEqual, 1, F_GET_SEALS},
    {"memfd_create"},
    {"ftruncate"},
    // Messages on the viewer's socket, and no other.
    {"recvmsg", Rule::Kind::AllowIfEqual, 0, kOwnSocket},
    {"sendmsg", Rule::Kind::AllowIfEqual, 0, kOwnSocket},
    // Threads (Qt scales and converts large pictures on a thread pool), and
    // no other kind of clone. glibc tries clone3 first; ENOSYS sends it to
    // clone, whose flags the filter can see.
    {"clone", Rule::Kind::AllowIfMaskedAll, 0, CLONE_THREAD},
    {"clone3", Rule::Kind::Refuse, 0, ENOSYS},
    {"set_robust_list"},
    {"rseq"},
    {"futex"},
    {"sched_yield"},
    {"sched_getaffinity"},
    {"getpid"},
    {"gettid"},
    {"prctl", Rule::Kind::AllowIfEqual, 0, PR_SET_NAME},
    // Each QThread's event dispatcher wakes through an eventfd of its own.
    {"eventfd2"},
    // Ending, signals to itself (abort), time.
    {"exit"},
    {"exit_group"},
    {"rt_sigreturn"},
    {"rt_sigprocmask"},
    {"rt_sigaction"},
    // longjmp (libjpeg's way out of a broken file) checks the signal stack.
    {"sigaltstack"},
    {"tgkill", Rule::Kind::AllowIfEqual, 0, kOwnPid},
    {"restart_syscall"},
    {"clock_gettime"},
    {"clock_getres"},
    {"gettimeofday"},
    {"clock_nanosleep"},
    {"nanosleep"},
    {"getrusage"},
    {"getrandom"},
    // Reading a limit (glibc's pthread_create), never setting one.
    {"prlimit64", Rule::Kind::AllowIfEqual, 2, 0},
    // A decoder that looks for a file (a colour profile, a table loaded
    // lazily) finds none rather than ending the worker; the empty root
    // holds nothing to find either way.
    {"open", Rule::Kind::Refuse, 0, EACCES},
    {"openat", Rule::Kind::Refuse, 0, EACCES},
    {"openat2", Rule::Kind::Refuse, 0, EACCES},
#if defined(__SANITIZE_ADDRESS__)
    // Only in the sanitizer build: AddressSanitizer tells whether memory is
    // readable (when a thread starts) by writing it into a pipe.
    {"pipe2"},
#endif
};

}  // namespace

std::uint32_t enterNamespaces() {
    constexpr int kOthers = CLONE_NEWNS | CLONE_NEWNET | CLONE_NEWIPC;
    if (::unshare(CLONE_NEWUSER | kOthers) == 0)
        return kUserNamespace | kMountNamespace | kNetworkNamespace | kIpcNamespace;
    logLine("no new user namespace; trying the others alone");
    struct Space {
        int flag;
        std::uint32_t bit;
        const char* failure;
    };
    constexpr Space kSpaces[] = {
        {CLONE_NEWNS, kMountNamespace, "no new mount namespace: the file system stays in view"},
        {CLONE_NEWNET, kNetworkNamespace, "no new network namespace"},
        {CLONE_NEWIPC, kIpcNamespace, "no new IPC namespace"},
    };
    std::uint32_t reached = 0;
    for (const Space& space : kSpaces) {
        if (::unshare(space.flag) == 0) reached |= space.bit;
        else logLine(space.failure);
    }
    return reached;
}

std::uint32_t limitResources() {
    std::uint32_t reached = 0;
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    // Nor may any other process of the user attach to it.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);

    const rlimit processor{kProcessorSecondsSoft, kProcessorSecondsHard};
    if (::setrlimit(RLIMIT_CPU, &processor) == 0) reached |= kCpuTimeLimit;
    else logLine("no processor time limit");

    if (kAddressSanitizer) {
        // Its shadow memory reserves terabytes of address space.
        std::fputs("exifviewer-decoder: no address-space limit under AddressSanitizer\n", stderr);
        return reached;
    }
    const std::uint64_t mapped = mappedBytes();
    const rlimit space{static_cast<rlim_t>(mapped + kAddressSpaceHeadroom),
                       static_cast<rlim_t>(mapped + kAddressSpaceHeadroom)};
    if (mapped > 0 && ::setrlimit(RLIMIT_AS, &space) == 0) reached |= kAddressSpaceLimit;
    else logLine("no address-space limit");
    return reached;
}

std::uint32_t hideFileSystem(std::uint32_t reached) {
    if (!(reached & kMountNamespace)) return 0;
    // Nothing done here may reach the viewer's mounts; an empty read-only
    // file system over /tmp then becomes the root.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("exifviewer-decoder", "/tmp", "tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC | MS_RDONLY,
                "size=4k,mode=0555") != 0 ||
        ::chdir("/tmp") != 0 || ::chroot(".") != 0 || ::chdir("/") != 0) {
        logLine("no empty root: the file system stays in view");
        return 0;
    }
    return kMountNamespace;
}

bool installSyscallFilter(int socket) {
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        logLine("no_new_privs refused");
        return false;
    }
    scmp_filter_ctx filter = ::seccomp_init(SCMP_ACT_KILL_PROCESS);
    if (!filter) {
        logLine("no system-call filter");
        return false;
    }
    // Threads that exist already (a thread pool warmed up) get it too.
    bool built = ::seccomp_attr_set(filter, SCMP_FLTATR_CTL_TSYNC, 1) == 0;
    for (const Rule& rule : kAllowList) {
        const int number = ::seccomp_syscall_resolve_name(rule.name);
        // A call this architecture does not have needs no rule.
        if (number == __NR_SCMP_ERROR) continue;
        std::uint64_t value = rule.value;
        if (value == kOwnSocket) value = static_cast<std::uint64_t>(socket);
        if (value == kOwnPid) value = static_cast<std::uint64_t>(::getpid());
        int added = 0;
        switch (rule.kind) {
        case Rule::Kind::Allow:
            added = ::seccomp_rule_add(filter, SCMP_ACT_ALLOW, number, 0);
            break;
        case Rule::Kind::AllowIfEqual:
            added = ::seccomp_rule_add(filter, SCMP_ACT_ALLOW, number, 1,
                                       SCMP_CMP(rule.arg, SCMP_CMP_EQ, value));
            break;
        case Rule::Kind::AllowIfMaskedZero:
            added = ::seccomp_rule_add(filter, SCMP_ACT_ALLOW, number, 1,
                                       SCMP_CMP(rule.arg, SCMP_CMP_MASKED_EQ, value, 0));
            break;
        case Rule::Kind::AllowIfMaskedAll:
            added = ::seccomp_rule_add(filter, SCMP_ACT_ALLOW, number, 1,
                                       SCMP_CMP(rule.arg, SCMP_CMP_MASKED_EQ, value, value));
            break;
        case Rule::Kind::Refuse:
            added = ::seccomp_rule_add(filter, SCMP_ACT_ERRNO(static_cast<std::uint32_t>(value)),
                                       number, 0);
            break;
        }
        if (added != 0) {
            std::fprintf(stderr, "exifviewer-decoder: filter rule for %s refused (%s)\n", rule.name,
                         std::strerror(-added));
            built = false;
        }
    }
    const int loaded = built ? ::seccomp_load(filter) : -1;
    ::seccomp_release(filter);
    if (loaded != 0) {
        std::fprintf(stderr, "exifviewer-decoder: no system-call filter (%s)\n",
                     std::strerror(loaded < 0 ? -loaded : EINVAL));
        return false;
    }
    return true;
}

double processorSeconds() {
    rusage usage{};
    if (::getrusage(RUSAGE_SELF, &usage) != 0) return 0;
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + time.tv_usec / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace sandbox
