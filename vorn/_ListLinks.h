// Links of the driver's doubly linked chains (connections of an environment,
// statements of a connection, items of a message list): any record with
// `prev` and `next` members.
#ifndef VORN_LIST_LINKS_H
#define VORN_LIST_LINKS_H

#include <stddef.h>

// Puts node at the end of the chain first..last.
template <typename T> void _ListAppend(T* node, T*& first, T*& last) {
    if (first != NULL) {
        last->next = node;
        node->prev = last;
    } else {
        first = node;
    }
    last = node;
}

// Takes node out of its chain. first and last are NULL when the owner of the
// chain is gone; the neighbours are relinked all the same.
template <typename T> void _ListUnlink(T* node, T** first, T** last) {
    if (first != NULL && *first == node) {
        *first = node->next;
    }
    if (last != NULL && *last == node) {
        *last = node->prev;
    }
    if (node->prev != NULL) {
        node->prev->next = node->next;
    }
    if (node->next != NULL) {
        node->next->prev = node->prev;
    }
}

#endif
