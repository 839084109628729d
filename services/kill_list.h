#ifndef MORVID_KILL_LIST_H
#define MORVID_KILL_LIST_H

/* The services a boa restart kills first, in the order they are killed. */
extern const char *const KILL_LIST[];
extern const unsigned KILL_LIST_LEN;

#endif
