/* Entry points of the USB reader library (librfidusb.so, usb.dll).
 *
 * hidWriteData and hidReadData are the library's contract with the program. The
 * others are optional: the program looks each one up by name and works without it,
 * so a library that has only the first two still serves. Both the hidapi library
 * (usb/) and the simulated reader (sim/) implement all of them.
 *
 * Plain C, no hidapi types, so that any program can include it. */
#ifndef RFIDUSB_API_H
#define RFIDUSB_API_H

#ifdef __cplusplus
extern "C" {
#endif

/* Sends one reader frame. Returns the number of bytes written, or <0. */
int hidWriteData(int device, int count, const unsigned char* frame);
/* Reads one answer frame (at most `capacity` bytes). Returns the number of bytes
 * read, 0 when nothing came before the timeout, <0 on an error or without a reader. */
int hidReadData(int device, int capacity, unsigned char* buffer);

/* Scans for readers again. Returns the number of readers found (>= 0), <0 on error.
 * Indexes for hidDeviceInfo refer to the most recent scan. */
int hidEnumerate(void);

/* Describes reader `index` of the last scan as UTF-8 "key=value\n" lines:
 *   path, vendor (4 hex digits), product (4 hex digits), interface (decimal, -1 when
 *   unknown), manufacturer, product_name, serial (values empty when the device has none),
 *   and access ("ok", "denied", "busy", "gone": whether this user may open it now; a
 *   library that does not check leaves the line out). Readers of keys ignore keys they
 *   do not know.
 * Values never contain a line break. Returns the number of bytes written (the
 * terminating NUL not counted; the buffer is always NUL-terminated when capacity > 0),
 * or <0 for a bad index or a buffer that is too small. */
int hidDeviceInfo(int index, char* buf, int capacity);

/* Chooses the reader for the calls that follow, by device path or serial number.
 * NULL or "" goes back to the automatic choice. Returns 0, or <0 when no attached
 * reader has that path or serial (the choice is then left as it was). A reader chosen
 * by serial number is found by it wherever it is. A reader chosen by path is found
 * again by its serial number after it was plugged in again, only when no other reader
 * has had that serial number since it was chosen; else, and when it has no serial
 * number, a reader gone from its node is gone (RFIDUSB_ERROR_NO_READER), and its
 * commands never go to another reader. */
int hidSelectDevice(const char* pathOrSerial);

/* Why the last hidWriteData/hidReadData failed (RFIDUSB_ERROR_*; RFIDUSB_ERROR_NONE
 * after a call that worked). When `buf` is not NULL it receives a one-line English
 * text, truncated to `capacity` bytes including the NUL. */
int hidLastError(char* buf, int capacity);

enum {
    RFIDUSB_ERROR_NONE = 0,
    RFIDUSB_ERROR_NO_READER = 1,  /* no reader attached (or the chosen one is gone) */
    RFIDUSB_ERROR_PERMISSION = 2, /* a reader is there but its device node may not be opened */
    RFIDUSB_ERROR_BUSY = 3,       /* the reader is held by another program */
    RFIDUSB_ERROR_IO = 4,         /* reading or writing the device failed */
    RFIDUSB_ERROR_TIMEOUT = 5     /* no complete answer within the timeout */
};

/* A file descriptor that turns readable when a reader arrives or leaves (a udev
 * monitor in the hidapi library, a pipe in the simulator); -1 when not available.
 * The library owns it: do not close it. */
int hidMonitorFd(void);
/* Consumes the notices waiting on that descriptor, so that it is no longer readable. */
void hidMonitorDrain(void);

/* Writes the path of a file that stands for the reader the next hidWriteData would go
 * to (the chosen reader, or the one the automatic choice would take now). Programs hold
 * an advisory lock (flock) on that file for the length of one operation, so that two
 * programs never interleave their commands on one reader (on Windows the path is the HID
 * device path, and the lock is on a file the program names after it). Returns the path's length
 * (the buffer gets it NUL-terminated); 0 when there is nothing to lock (no reader, or a
 * reader no other process can reach); <0 when the buffer is too small or NULL. */
int hidLockPath(char* buf, int capacity);

/* Types for looking the entry points up by name. */
typedef int (*rfidusb_write_fn)(int device, int count, const unsigned char* frame);
typedef int (*rfidusb_read_fn)(int device, int capacity, unsigned char* buffer);
typedef int (*rfidusb_enumerate_fn)(void);
typedef int (*rfidusb_device_info_fn)(int index, char* buf, int capacity);
typedef int (*rfidusb_select_device_fn)(const char* pathOrSerial);
typedef int (*rfidusb_last_error_fn)(char* buf, int capacity);
typedef int (*rfidusb_monitor_fd_fn)(void);
typedef void (*rfidusb_monitor_drain_fn)(void);
typedef int (*rfidusb_lock_path_fn)(char* buf, int capacity);

#ifdef __cplusplus
}
#endif

#endif /* RFIDUSB_API_H */
