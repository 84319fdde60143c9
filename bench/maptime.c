/* maptime: starts a program and reports when its top-level window is mapped.
 *
 *   maptime [-h HOLD_MS] [-p PING_MS] [-t TIMEOUT_S] PROGRAM [ARG...]
 *
 * It watches the root window's children (SubstructureNotify) on $DISPLAY,
 * then forks and execs PROGRAM (output to /dev/null). The program's window is
 * the first one mapped whose _NET_WM_PID is the child's pid, or, for programs
 * that set no pid, the first new top-level with a WM_CLASS; under a
 * reparenting window manager the map of its frame counts, as the window
 * becomes visible with it. At that moment it reads the process's shared
 * objects and memory high-water mark from /proc and its CPU clock.
 *
 * After the map, -p sends _NET_WM_PING to the window every PING_MS and
 * records each answer; -h sends WM_DELETE_WINDOW HOLD_MS after the map
 * (without it the program is expected to end by itself). A program still
 * running 5 s after the close, or TIMEOUT_S (60) after its start, is killed
 * ("killed", or "nomap" when it never showed a window). The results go to
 * stdout as lines "name value...", times in seconds of CLOCK_MONOTONIC:
 *
 *   start T            just before the fork
 *   map T              the window was mapped
 *   objects N          distinct shared objects (*.so*) in /proc/PID/maps
 *   hwm_kb N           VmHWM at the map
 *   cpu_map_s S        the process's CPU time (user + system) at the map
 *   pong SEQ SENT RECV one answered ping
 *   pings N            pings sent
 *   exit T STATUS      exit status, or minus the signal that ended it
 *   maxrss_kb N        peak RSS (wait4)
 *   cpu_s S            user + system CPU time of the whole run (wait4)
 */
#define _GNU_SOURCE
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>

enum { MAX_WINDOWS = 512, MAX_PINGS = 100000, MAX_OBJECTS = 2048 };

static xcb_connection_t* conn;
static xcb_window_t root;
static xcb_atom_t net_wm_pid, wm_class, wm_protocols, net_wm_ping, wm_delete_window;

/* Top-level windows created since the start, and the frames they went into. */
static xcb_window_t created[MAX_WINDOWS], frame_of[MAX_WINDOWS];
static int ncreated;

static double now(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + ts.tv_nsec / 1e9;
}

static void die(const char* what) {
    fprintf(stderr, "maptime: %s\n", what);
    exit(2);
}

static xcb_atom_t atom(const char* name) {
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(conn, xcb_intern_atom(conn, 0, strlen(name), name), NULL);
    xcb_atom_t a = r ? r->atom : XCB_NONE;
    free(r);
    return a;
}

/* Whether `w` has the property; its first 32-bit item goes to *value. */
static int has_property(xcb_window_t w, xcb_atom_t property, xcb_atom_t type, uint32_t* value) {
    xcb_get_property_reply_t* r =
        xcb_get_property_reply(conn, xcb_get_property(conn, 0, w, property, type, 0, 1), NULL);
    int found = r && r->type != XCB_NONE && xcb_get_property_value_length(r) > 0;
    if (found && value)
        *value = *(uint32_t*)xcb_get_property_value(r);
    free(r);
    return found;
}

static int created_index(xcb_window_t w) {
    for (int i = 0; i < ncreated; i++)
        if (created[i] == w || frame_of[i] == w)
            return i;
    return -1;
}

/* The program's client window that the mapped window `w` shows, or 0. */
static xcb_window_t own_client(xcb_window_t w, pid_t pid) {
    int i = created_index(w);
    xcb_window_t client = i >= 0 ? created[i] : w;
    uint32_t window_pid;
    if (has_property(client, net_wm_pid, XCB_ATOM_CARDINAL, &window_pid))
        return window_pid == (uint32_t)pid ? client : 0;
    return i >= 0 && has_property(client, wm_class, XCB_ATOM_STRING, NULL) ? client : 0;
}

static void send_message(xcb_window_t w, xcb_atom_t protocol, uint32_t value) {
    xcb_client_message_event_t ev;
    memset(&ev, 0, sizeof ev);
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = w;
    ev.type = wm_protocols;
    ev.data.data32[0] = protocol;
    ev.data.data32[1] = value;
    ev.data.data32[2] = w;
    xcb_send_event(conn, 0, w, XCB_EVENT_MASK_NO_EVENT, (const char*)&ev);
    xcb_flush(conn);
}

/* Distinct paths of shared objects the process has mapped. */
static int count_objects(pid_t pid) {
    static char* seen[MAX_OBJECTS];
    int n = 0;
    char path[64], line[4096];
    snprintf(path, sizeof path, "/proc/%d/maps", (int)pid);
    FILE* f = fopen(path, "r");
    if (!f)
        return -1;
    while (fgets(line, sizeof line, f)) {
        char* name = strchr(line, '/');
        if (!name)
            continue;
        name[strcspn(name, "\n")] = 0;
        const char* base = strrchr(name, '/') + 1;
        if (!strstr(base, ".so"))
            continue;
        int known = 0;
        for (int i = 0; i < n && !known; i++)
            known = strcmp(seen[i], name) == 0;
        if (!known && n < MAX_OBJECTS)
            seen[n++] = strdup(name);
    }
    fclose(f);
    for (int i = 0; i < n; i++)
        free(seen[i]);
    return n;
}

static long status_kb(pid_t pid, const char* field) {
    char path[64], line[256];
    long value = -1;
    snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
    FILE* f = fopen(path, "r");
    while (f && fgets(line, sizeof line, f))
        if (strncmp(line, field, strlen(field)) == 0)
            value = strtol(line + strlen(field), NULL, 10);
    if (f)
        fclose(f);
    return value;
}

static double process_cpu(pid_t pid) {
    clockid_t clock;
    struct timespec ts;
    if (clock_getcpuclockid(pid, &clock) != 0 || clock_gettime(clock, &ts) != 0)
        return -1;
    return (double)ts.tv_sec + ts.tv_nsec / 1e9;
}

int main(int argc, char** argv) {
    double hold = -1, ping = 0, timeout = 60;
    int opt;
    while ((opt = getopt(argc, argv, "+h:p:t:")) != -1) {
        if (opt == 'h')
            hold = atof(optarg) / 1000;
        else if (opt == 'p')
            ping = atof(optarg) / 1000;
        else if (opt == 't')
            timeout = atof(optarg);
        else
            return 2;
    }
    if (optind >= argc)
        die("usage: maptime [-h HOLD_MS] [-p PING_MS] [-t TIMEOUT_S] PROGRAM [ARG...]");

    conn = xcb_connect(NULL, NULL);
    if (xcb_connection_has_error(conn))
        die("cannot open the display");
    root = xcb_setup_roots_iterator(xcb_get_setup(conn)).data->root;
    net_wm_pid = atom("_NET_WM_PID");
    wm_class = atom("WM_CLASS");
    wm_protocols = atom("WM_PROTOCOLS");
    net_wm_ping = atom("_NET_WM_PING");
    wm_delete_window = atom("WM_DELETE_WINDOW");
    /* Structure too: the answers to pings come with that mask (and redirect). */
    uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_request_check(conn,
                      xcb_change_window_attributes_checked(conn, root, XCB_CW_EVENT_MASK, &mask));

    /* SIGCHLD through a descriptor, so that one poll waits for both. */
    sigset_t chld;
    sigemptyset(&chld);
    sigaddset(&chld, SIGCHLD);
    sigprocmask(SIG_BLOCK, &chld, NULL);
    int sfd = signalfd(-1, &chld, SFD_CLOEXEC | SFD_NONBLOCK);

    static double sent[MAX_PINGS];
    double start = now(), map = 0, closed = 0, next_ping = 0;
    uint32_t pings = 0;
    xcb_window_t client = 0;
    pid_t pid = fork();
    if (pid < 0)
        die("fork failed");
    if (pid == 0) {
        sigprocmask(SIG_UNBLOCK, &chld, NULL);
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        execvp(argv[optind], argv + optind);
        _exit(127);
    }
    printf("start %.6f\n", start);

    int status = 0;
    struct rusage usage;
    for (;;) {
        if (wait4(pid, &status, WNOHANG, &usage) == pid)
            break;
        double t = now(), wake = start + timeout;
        if (closed)
            wake = closed + 5;
        else if (client && hold >= 0 && map + hold < wake)
            wake = map + hold;
        if (client && !closed && ping > 0 && next_ping < wake)
            wake = next_ping;
        if (t >= wake) {
            if (client && !closed && hold >= 0 && t >= map + hold) {
                send_message(client, wm_delete_window, XCB_CURRENT_TIME);
                closed = t;
            } else if (client && !closed && ping > 0 && t >= next_ping) {
                sent[pings] = t;
                send_message(client, net_wm_ping, pings++);
                next_ping += ping;
                if (pings == MAX_PINGS)
                    ping = 0;
            } else {
                puts(client ? "killed" : "nomap");
                kill(pid, SIGKILL);
                wait4(pid, &status, 0, &usage);
                break;
            }
            continue;
        }
        struct pollfd fds[2] = {{xcb_get_file_descriptor(conn), POLLIN, 0}, {sfd, POLLIN, 0}};
        poll(fds, 2, (int)((wake - t) * 1000) + 1);
        struct signalfd_siginfo info;
        while (read(sfd, &info, sizeof info) > 0) {
        }

        xcb_generic_event_t* ev;
        while ((ev = xcb_poll_for_event(conn))) {
            double received = now();
            int type = ev->response_type & 0x7f;
            if (type == XCB_CREATE_NOTIFY && ncreated < MAX_WINDOWS) {
                xcb_create_notify_event_t* e = (xcb_create_notify_event_t*)ev;
                if (e->parent == root)
                    created[ncreated++] = e->window;
            } else if (type == XCB_REPARENT_NOTIFY) {
                xcb_reparent_notify_event_t* e = (xcb_reparent_notify_event_t*)ev;
                int i = created_index(e->window);
                if (i >= 0 && created[i] == e->window)
                    frame_of[i] = e->parent;
            } else if (type == XCB_MAP_NOTIFY && !client) {
                xcb_map_notify_event_t* e = (xcb_map_notify_event_t*)ev;
                if ((client = own_client(e->window, pid))) {
                    map = received;
                    next_ping = map;
                    printf("map %.6f\nwindow 0x%x\n", map, client);
                    printf("objects %d\n", count_objects(pid));
                    printf("hwm_kb %ld\n", status_kb(pid, "VmHWM:"));
                    printf("cpu_map_s %.6f\n", process_cpu(pid));
                }
            } else if (type == XCB_CLIENT_MESSAGE) {
                xcb_client_message_event_t* e = (xcb_client_message_event_t*)ev;
                uint32_t seq = e->data.data32[1];
                if (e->window == root && e->type == wm_protocols &&
                    e->data.data32[0] == net_wm_ping && seq < pings)
                    printf("pong %u %.6f %.6f\n", seq, sent[seq], received);
            }
            free(ev);
        }
        if (xcb_connection_has_error(conn))
            die("lost the display");
    }
    printf("pings %u\n", pings);
    printf("exit %.6f %d\n", now(), WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status));
    printf("maxrss_kb %ld\n", usage.ru_maxrss);
    printf("cpu_s %.6f\n", usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 +
                               usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6);
    xcb_disconnect(conn);
    return 0;
}
