// Times a photo viewer as its user sees it: until a photo is on the X screen.
// Each test photo is fine noise around one mean colour of its own, which a
// viewer's scaled-down picture shows as a plain field of that colour; the
// probe sleeps until the root window reports damage (XDamage), then grabs the
// screen (MIT-SHM) and counts the pixels of a sampling grid near the colour.
//
//   screen_probe open [--keep] [--then KEY #RRGGBB] #RRGGBB -- PROGRAM ARGS...
//       starts PROGRAM (in a session of its own) and prints "ms <time>" from
//       the start until the colour is on screen. --then presses KEY as soon
//       as it is and prints "then_ms <time>" until the second colour is.
//       Then "hwm_kib <peak resident size of the program and its children>"
//       (read a second later, so that work after the first paint counts).
//       With --keep the program stays and "pid <pid>" is printed; else it is
//       ended.
//   screen_probe step PID KEY INTERVAL_MS #RRGGBB...
//       focuses PID's window and presses KEY every INTERVAL_MS, each time
//       waiting for the next colour: prints "ms <time>" per key.
//   screen_probe burst PID KEY INTERVAL_MS #RRGGBB...
//       presses KEY once per colour every INTERVAL_MS without waiting and
//       prints "ms <time>" from the last key until the last colour is shown.
// Options before the mode: --timeout SECONDS (20), --min-pixels N (20000:
// the area that must show the colour: more than gThumb's thumbnails of 128 x
// 96, less than the 200 x 133 of our panel's preview of a 3:2 photo),
// --tolerance N (24: per channel, for the noise left after a viewer's
// scaling and JPEG's colour rounding; far below the 80 that part two colours
// of bench/on_screen.sh, so that one photo's noise never passes for another).
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The program open started, ended with the probe when a measure fails.
pid_t g_started = 0;

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "screen_probe: %s\n", message.c_str());
    if (g_started > 0) {
        ::kill(-g_started, SIGKILL);
        ::waitpid(g_started, nullptr, 0);
    }
    std::exit(2);
}

double Ms(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

struct Colour {
    int red, green, blue;
};

std::optional<Colour> ParseColour(const std::string& text) {
    if (text.size() != 7 || text[0] != '#') return std::nullopt;
    for (std::size_t i = 1; i < 7; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
    const unsigned long value = std::stoul(text.substr(1), nullptr, 16);
    return Colour{int(value >> 16 & 0xff), int(value >> 8 & 0xff), int(value & 0xff)};
}

Colour NeedColour(const std::string& text) {
    const std::optional<Colour> colour = ParseColour(text);
    if (!colour) Fail("not a colour #RRGGBB: " + text);
    return *colour;
}

long NeedNumber(const std::string& text, long low, long high) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < low || value > high)
        Fail("not a number from " + std::to_string(low) + " to " + std::to_string(high) + ": " +
             text);
    return value;
}

struct Settings {
    int timeoutSeconds = 20;
    long minPixels = 20000;
    int tolerance = 24;
};

class Screen {
public:
    explicit Screen(const Settings& settings) : settings_(settings) {
        display_ = XOpenDisplay(nullptr);
        if (!display_) Fail("cannot open the display (DISPLAY)");
        root_ = DefaultRootWindow(display_);
        int error = 0, major = 0, minor = 0;
        if (!XDamageQueryExtension(display_, &damageEvent_, &error))
            Fail("the X server has no DAMAGE extension");
        if (!XShmQueryExtension(display_)) Fail("the X server has no MIT-SHM extension");
        if (!XTestQueryExtension(display_, &error, &error, &major, &minor))
            Fail("the X server has no XTEST extension");
        XWindowAttributes attributes{};
        XGetWindowAttributes(display_, root_, &attributes);
        width_ = attributes.width;
        height_ = attributes.height;
        if (attributes.depth != 24 && attributes.depth != 32) Fail("the screen is not 24-bit");
        image_ = XShmCreateImage(display_, attributes.visual, attributes.depth, ZPixmap, nullptr,
                                 &shm_, width_, height_);
        if (!image_ || image_->bits_per_pixel != 32) Fail("cannot make a 32-bit shared image");
        shm_.shmid =
            shmget(IPC_PRIVATE, std::size_t(image_->bytes_per_line) * height_, IPC_CREAT | 0600);
        if (shm_.shmid < 0) Fail("shmget failed");
        shm_.shmaddr = image_->data = static_cast<char*>(shmat(shm_.shmid, nullptr, 0));
        shmctl(shm_.shmid, IPC_RMID, nullptr);  // freed when both sides detach
        if (shm_.shmaddr == reinterpret_cast<char*>(-1)) Fail("shmat failed");
        shm_.readOnly = False;
        if (!XShmAttach(display_, &shm_)) Fail("XShmAttach failed");
        // One event each time the screen goes from unchanged to changed;
        // subtracting the damage before each grab re-arms it.
        damage_ = XDamageCreate(display_, root_, XDamageReportNonEmpty);
        XSync(display_, False);
    }

    ~Screen() {
        XDamageDestroy(display_, damage_);
        XShmDetach(display_, &shm_);
        XSync(display_, False);
        shmdt(shm_.shmaddr);
        XCloseDisplay(display_);
    }

    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;

    // Sleeps on damage until the colour covers min-pixels of the screen;
    // returns the time of the wake-up that showed it (the paint was done by
    // then; the grab after it only confirms). Fails after the timeout.
    Clock::time_point WaitFor(const Colour& colour) {
        const Clock::time_point deadline =
            Clock::now() + std::chrono::seconds(settings_.timeoutSeconds);
        bool first = true;
        for (;;) {
            Clock::time_point woke = Clock::now();
            // The first check looks at the screen as it is already.
            if (first || DrainDamage()) {
                first = false;
                XDamageSubtract(display_, damage_, None, None);
                if (Shows(colour)) return woke;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) {
                char text[64];
                std::snprintf(text, sizeof text, "#%02x%02x%02x not on screen after %d s",
                              colour.red, colour.green, colour.blue, settings_.timeoutSeconds);
                Fail(text);
            }
            pollfd connection{ConnectionNumber(display_), POLLIN, 0};
            if (XPending(display_) == 0) ::poll(&connection, 1, int(left.count()));
        }
    }

    // The largest mapped top-level window of the process, pointed at and
    // given the keyboard (nothing else would: there is no window manager).
    void Focus(long pid) {
        const Atom pidAtom = XInternAtom(display_, "_NET_WM_PID", False);
        Window rootReturn = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        XQueryTree(display_, root_, &rootReturn, &parent, &children, &count);
        Window best = 0;
        long bestArea = 0;
        int bestX = 0, bestY = 0;
        for (unsigned i = 0; i < count; ++i) {
            XWindowAttributes attributes{};
            if (!XGetWindowAttributes(display_, children[i], &attributes) ||
                attributes.map_state != IsViewable)
                continue;
            Atom type = 0;
            int format = 0;
            unsigned long items = 0, after = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(display_, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type,
                                   &format, &items, &after, &data) == Success &&
                data && format == 32 && items == 1 &&
                *reinterpret_cast<unsigned long*>(data) == static_cast<unsigned long>(pid)) {
                const long area = long(attributes.width) * attributes.height;
                if (area > bestArea) {
                    best = children[i];
                    bestArea = area;
                    bestX = attributes.x + attributes.width / 2;
                    bestY = attributes.y + attributes.height / 2;
                }
            }
            if (data) XFree(data);
        }
        if (children) XFree(children);
        if (!best) Fail("no mapped window of process " + std::to_string(pid));
        XWarpPointer(display_, None, root_, 0, 0, 0, 0, bestX, bestY);
        XSetInputFocus(display_, best, RevertToPointerRoot, CurrentTime);
        XSync(display_, False);
    }

    void Press(KeyCode key) {
        XTestFakeKeyEvent(display_, key, True, CurrentTime);
        XTestFakeKeyEvent(display_, key, False, CurrentTime);
        XFlush(display_);
    }

    KeyCode Key(const std::string& name) {
        const KeySym symbol = XStringToKeysym(name.c_str());
        const KeyCode code = symbol == NoSymbol ? 0 : XKeysymToKeycode(display_, symbol);
        if (!code) Fail("no key named " + name);
        return code;
    }

private:
    // True when damage was reported since the last call.
    bool DrainDamage() {
        bool damaged = false;
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == damageEvent_ + XDamageNotify) damaged = true;
        }
        return damaged;
    }

    bool Shows(const Colour& colour) {
        if (!XShmGetImage(display_, root_, image_, 0, 0, AllPlanes)) Fail("XShmGetImage failed");
        constexpr int kStride = 4;
        const long needed = settings_.minPixels / (kStride * kStride);
        long matching = 0;
        for (int y = 0; y < height_; y += kStride) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(
                image_->data + std::size_t(y) * image_->bytes_per_line);
            for (int x = 0; x < width_; x += kStride) {
                const std::uint32_t pixel = row[x];
                if (std::abs(int(pixel >> 16 & 0xff) - colour.red) <= settings_.tolerance &&
                    std::abs(int(pixel >> 8 & 0xff) - colour.green) <= settings_.tolerance &&
                    std::abs(int(pixel & 0xff) - colour.blue) <= settings_.tolerance &&
                    ++matching >= needed)
                    return true;
            }
        }
        return false;
    }

    Settings settings_;
    Display* display_ = nullptr;
    Window root_ = 0;
    int damageEvent_ = 0;
    Damage damage_ = 0;
    int width_ = 0, height_ = 0;
    XShmSegmentInfo shm_{};
    XImage* image_ = nullptr;
};

long StatusKib(long pid, const char* key) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
    return 0;
}

// The peaks of the process and all its descendants, summed: the most they
// can have held at once.
long TreeHwmKib(long pid, int depth = 0) {
    long sum = StatusKib(pid, "VmHWM:");
    if (depth > 8) return sum;
    std::ifstream tasks("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) +
                        "/children");
    long child = 0;
    while (tasks >> child) sum += TreeHwmKib(child, depth + 1);
    return sum;
}

void End(pid_t pid) {
    ::kill(-pid, SIGTERM);
    for (int i = 0; i < 50; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(-pid, SIGKILL);
    ::waitpid(pid, nullptr, WNOHANG);
}

int Open(const Settings& settings, std::vector<std::string> args) {
    bool keep = false;
    std::string thenKey;
    std::optional<Colour> thenColour;
    std::size_t at = 0;
    for (; at < args.size() && args[at].rfind("--", 0) == 0 && args[at] != "--"; ++at) {
        if (args[at] == "--keep") {
            keep = true;
        } else if (args[at] == "--then" && at + 2 < args.size()) {
            thenKey = args[at + 1];
            thenColour = NeedColour(args[at + 2]);
            at += 2;
        } else {
            Fail("unknown option of open: " + args[at]);
        }
    }
    if (at + 2 >= args.size() || args[at + 1] != "--") Fail("usage: open [...] #RRGGBB -- PROGRAM");
    const Colour colour = NeedColour(args[at]);
    std::vector<char*> argv;
    for (std::size_t i = at + 2; i < args.size(); ++i) argv.push_back(args[i].data());
    argv.push_back(nullptr);

    Screen screen(settings);
    const KeyCode key = thenColour ? screen.Key(thenKey) : 0;
    const Clock::time_point start = Clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) Fail("fork failed");
    if (pid == 0) {
        ::setsid();  // one group to end, the program's helpers with it
        if (std::freopen("/dev/null", "w", stdout) == nullptr) _exit(127);
        ::execvp(argv[0], argv.data());
        std::fprintf(stderr, "screen_probe: cannot run %s: %s\n", argv[0], std::strerror(errno));
        _exit(127);
    }
    g_started = pid;
    std::printf("ms %.1f\n", Ms(start, screen.WaitFor(colour)));
    std::fflush(stdout);
    if (thenColour) {
        screen.Focus(pid);
        const Clock::time_point pressed = Clock::now();
        screen.Press(key);
        std::printf("then_ms %.1f\n", Ms(pressed, screen.WaitFor(*thenColour)));
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    std::printf("hwm_kib %ld\n", TreeHwmKib(pid));
    if (keep) std::printf("pid %d\n", int(pid));
    else End(pid);
    g_started = 0;
    return 0;
}

int Step(const Settings& settings, bool burst, const std::vector<std::string>& args) {
    if (args.size() < 4) Fail("usage: step|burst PID KEY INTERVAL_MS #RRGGBB...");
    const long pid = NeedNumber(args[0], 1, 1L << 30);
    const long interval = NeedNumber(args[2], 1, 60000);
    std::vector<Colour> colours;
    for (std::size_t i = 3; i < args.size(); ++i) colours.push_back(NeedColour(args[i]));
    Screen screen(settings);
    const KeyCode key = screen.Key(args[1]);
    screen.Focus(pid);
    Clock::time_point pressed{};
    for (const Colour& colour : colours) {
        std::this_thread::sleep_until(pressed + std::chrono::milliseconds(interval));
        pressed = Clock::now();
        screen.Press(key);
        if (!burst) std::printf("ms %.1f\n", Ms(pressed, screen.WaitFor(colour)));
    }
    if (burst) std::printf("ms %.1f\n", Ms(pressed, screen.WaitFor(colours.back())));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    Settings settings;
    std::size_t at = 0;
    for (; at + 1 < args.size() && args[at].rfind("--", 0) == 0; at += 2) {
        if (args[at] == "--timeout")
            settings.timeoutSeconds = int(NeedNumber(args[at + 1], 1, 3600));
        else if (args[at] == "--min-pixels")
            settings.minPixels = NeedNumber(args[at + 1], 16, 1L << 26);
        else if (args[at] == "--tolerance")
            settings.tolerance = int(NeedNumber(args[at + 1], 0, 255));
        else Fail("unknown option " + args[at]);
    }
    if (at >= args.size())
        Fail("usage: screen_probe [options] open|step|burst ... (see the source)");
    const std::string mode = args[at];
    const std::vector<std::string> rest(args.begin() + long(at) + 1, args.end());
    if (mode == "open") return Open(settings, rest);
    if (mode == "step" || mode == "burst") return Step(settings, mode == "burst", rest);
    Fail("unknown mode " + mode);
}
