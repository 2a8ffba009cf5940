/*
 * Console-link library interface.
 *
 * The console maker ships this library in binary form only; these are the
 * declarations the display calls. Everything is plain C so that the maker's
 * library and the project's own stand-in (console/libvontra) can take each
 * other's place without rebuilding the program.
 */
#ifndef VONTRA_H
#define VONTRA_H

#include <stdint.h>

#if defined(_WIN32)
#if defined(VONTRA_BUILDING_LIBRARY)
#define VONTRA_API __declspec(dllexport)
#else
#define VONTRA_API __declspec(dllimport)
#endif
#else
#define VONTRA_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One console message as the library hands it to the callback. The record
 * and its payload are valid only for the duration of the call. */
typedef struct vontra_event
{
    int32_t id;          /* event id, see the console's id table */
    uint32_t reserved;   /* not read by the display */
    const void *payload; /* id-specific: 32-bit words or single-precision floats */
} vontra_event;

/* Called once per console message, possibly on a thread of the library's own. */
typedef void (*vontra_callback)(const vontra_event *event, void *user);

/* Opens a link; returns a non-zero handle, or 0 when nothing could be opened.
 * Ports are 16-bit port numbers carried in an int (0..65535). */
VONTRA_API int vontra_open(const char *host, int recv_port, int send_port);
VONTRA_API int vontra_logging(int handle, int on);
VONTRA_API int vontra_register_callback(int handle, vontra_callback callback, void *user);
VONTRA_API int vontra_request(int handle, int event_id);
VONTRA_API int vontra_remote_on(int handle, int module, int value);
VONTRA_API int vontra_remote_non_stop(int handle, int value);
/* Closing 0 or an already closed handle is harmless. */
VONTRA_API int vontra_close(int handle);
/* NUL-terminated version text, or null. */
VONTRA_API const char *vontra_library_version(int reserved);

#ifdef __cplusplus
}
#endif

#endif /* VONTRA_H */
