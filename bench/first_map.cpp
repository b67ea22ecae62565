// Start-up measured from outside: the time from fork() to the first MapNotify of a top-level
// window, seen by an X client that watches the root window, and to the first drawing in that
// window (a DAMAGE report: the program's first paint). The programs run in turn, interleaved
// so that a change of machine load spreads over all of them, after warm-up runs that are not
// counted; the median of each is printed with its ratio to the first program's.
//
//   bench_first_map [-n RUNS] [-w WARMUPS] [-C DIR] PROGRAM [ARGS...] [-- PROGRAM [ARGS...]]...
//
// Needs DISPLAY, an X server without a window manager: one would reparent the window and hide
// its map from the root window. Each program is ended with SIGTERM once it has painted.
#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#define MAX_PROGRAMS 8
#define TIMEOUT_MS 10000

static double now_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Sorts the values in place and returns their median.
static double median(double* values, int n) {
    std::sort(values, values + n);
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

static uint8_t damage_event_base;

// Waits for the first MapNotify of a top-level window that is not override-redirect, then for
// the first drawing after it.
static int wait_for_map(xcb_connection_t* x, double started, double* mapped, double* painted) {
    const int fd = xcb_get_file_descriptor(x);
    *mapped = -1;
    for (;;) {
        xcb_generic_event_t* event;
        while ((event = xcb_poll_for_event(x))) {
            const int type = event->response_type & 0x7f;
            if (type == XCB_MAP_NOTIFY && *mapped < 0) {
                const xcb_map_notify_event_t* map =
                    reinterpret_cast<const xcb_map_notify_event_t*>(event);
                if (map->event != map->window && !map->override_redirect) {
                    *mapped = now_ms() - started;
                    // The program draws only after it has seen its window exposed, well after
                    // this request has reached the server. A new damage object reports the
                    // whole window at once: that report comes before the round trip ends.
                    xcb_damage_create(x, xcb_generate_id(x), map->window,
                                      XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
                    free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr));
                    xcb_generic_event_t* initial;
                    while ((initial = xcb_poll_for_queued_event(x)))
                        free(initial);
                }
            } else if (type == damage_event_base + XCB_DAMAGE_NOTIFY && *mapped >= 0) {
                *painted = now_ms() - started;
                free(event);
                return 0;
            }
            free(event);
        }
        if (xcb_connection_has_error(x))
            return -1;
        const double left = TIMEOUT_MS - (now_ms() - started);
        if (left <= 0)
            return -1;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(fd, &readable);
        timeval wait = {static_cast<time_t>(left / 1000),
                        static_cast<suseconds_t>(static_cast<long>(left) % 1000 * 1000)};
        if (select(fd + 1, &readable, nullptr, nullptr, &wait) < 0 && errno != EINTR)
            return -1;
    }
}

static int run_once(xcb_connection_t* x, char** argv, const char* dir, double* mapped,
                    double* painted) {
    const double started = now_ms();
    const pid_t child = fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        if (dir && chdir(dir) != 0)
            _exit(126);
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, 1);
            dup2(null, 2);
        }
        execvp(argv[0], argv);
        _exit(127);
    }
    const int result = wait_for_map(x, started, mapped, painted);
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    // Let the unmap and the destruction pass before the next run starts.
    free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr));
    xcb_generic_event_t* event;
    while ((event = xcb_poll_for_event(x)))
        free(event);
    return result;
}

int main(int argc, char** argv) {
    int runs = 15, warmups = 2;
    const char* dir = nullptr;
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && strcmp(argv[i], "--") != 0; i += 2) {
        if (i + 1 >= argc)
            break;
        if (strcmp(argv[i], "-n") == 0)
            runs = atoi(argv[i + 1]);
        else if (strcmp(argv[i], "-w") == 0)
            warmups = atoi(argv[i + 1]);
        else if (strcmp(argv[i], "-C") == 0)
            dir = argv[i + 1];
        else
            break;
    }
    char** programs[MAX_PROGRAMS];
    int count = 0;
    while (i < argc && count < MAX_PROGRAMS) {
        if (strcmp(argv[i], "--") == 0) {
            argv[i++] = nullptr;
            continue;
        }
        programs[count++] = &argv[i];
        while (i < argc && strcmp(argv[i], "--") != 0)
            ++i;
    }
    if (count == 0 || runs < 1) {
        fprintf(stderr,
                "usage: %s [-n RUNS] [-w WARMUPS] [-C DIR] PROGRAM [ARGS...] "
                "[-- PROGRAM [ARGS...]]...\n",
                argv[0]);
        return 2;
    }
    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x)) {
        fprintf(stderr, "cannot open the display\n");
        return 1;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_void_cookie_t selected =
        xcb_change_window_attributes_checked(x, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_generic_error_t* error = xcb_request_check(x, selected);
    if (error) {
        fprintf(stderr, "cannot watch the root window\n");
        return 1;
    }

    // Drawing in the program's window, reported rectangle by rectangle.
    const xcb_query_extension_reply_t* damage = xcb_get_extension_data(x, &xcb_damage_id);
    if (!damage || !damage->present) {
        fprintf(stderr, "the X server has no DAMAGE extension\n");
        return 1;
    }
    damage_event_base = damage->first_event;
    free(xcb_damage_query_version_reply(x, xcb_damage_query_version(x, 1, 1), nullptr));

    std::vector<double> mapped(static_cast<size_t>(count * runs));
    std::vector<double> painted(static_cast<size_t>(count * runs));
    for (int run = -warmups; run < runs; ++run) {
        for (int p = 0; p < count; ++p) {
            double map = 0, paint = 0;
            if (run_once(x, programs[p], dir, &map, &paint) != 0) {
                fprintf(stderr, "%s showed no window within %d ms\n", programs[p][0], TIMEOUT_MS);
                return 1;
            }
            if (run >= 0) {
                mapped[p * runs + run] = map;
                painted[p * runs + run] = paint;
            }
        }
    }
    double first_mapped = 0, first_painted = 0;
    for (int p = 0; p < count; ++p) {
        const double map = median(&mapped[p * runs], runs);
        const double paint = median(&painted[p * runs], runs);
        if (p == 0) {
            first_mapped = map;
            first_painted = paint;
        }
        printf("%s\n  mapped  median %6.1f ms  (min %.1f, max %.1f)  %.2fx\n"
               "  painted median %6.1f ms  (min %.1f, max %.1f)  %.2fx\n",
               programs[p][0], map, mapped[p * runs], mapped[p * runs + runs - 1],
               map / first_mapped, paint, painted[p * runs], painted[p * runs + runs - 1],
               paint / first_painted);
    }
    printf("(%d runs each after %d warm-ups)\n", runs, warmups);
    xcb_disconnect(x);
    return 0;
}
