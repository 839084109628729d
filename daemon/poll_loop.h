#ifndef MORVID_POLL_LOOP_H
#define MORVID_POLL_LOOP_H

enum {
    FIRST_WAIT_S = 10, /* before the first pass */
    PASS_WAIT_S = 5,   /* before every later pass */
    DEVINFO_KILL_UPTIME_S = 1800,
};

/* What the loop keeps from one pass to the next. */
struct poll_state {
    unsigned wait_s;     /* the wait that opens the next pass */
    bool devinfo_killed; /* the one-shot uptime action has fired */
};

/* The state the loop starts from. */
struct poll_state poll_state_initial(void);

/* One pass: wait, uptime action, services, WAN link. */
void poll_pass(struct poll_state *state);

/* Runs passes for as long as the process lives. */
[[noreturn]] void poll_loop(void);

#endif
