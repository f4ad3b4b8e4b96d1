/* Control of the simulated reader, for tests and tools that load it in-process. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* Which reader the simulation plays. The two families share command bytes. */
enum { RFIDSIM_KEYBOARD = 0, RFIDSIM_HF = 1 };

/* What goes wrong with every following exchange until changed. */
enum {
    RFIDSIM_OK = 0,            /* answer as the firmware would */
    RFIDSIM_WRITE_FAIL = 1,    /* hidWriteData reports a failed write */
    RFIDSIM_SILENT = 2,        /* the frame is taken, no answer comes */
    RFIDSIM_REFUSE = 3,        /* status 01 with the error code `arg` */
    RFIDSIM_DAMAGED = 4,       /* status `arg` (neither 00 nor 01) */
    RFIDSIM_SHORT = 5,         /* the answer is cut after `arg` bytes */
    RFIDSIM_OVERLONG = 6,      /* the length byte claims more than sent: 0xFF and 245 bytes */
    RFIDSIM_IGNORE_SETTING = 7 /* the keyboard reader answers success but keeps setting `arg`:
                                  0 the keyboard language, 1-16 that output-settings data byte */
};

/* Back to power-on: default settings, no cards moved, no faults, no frames kept;
 * the start number of readers, all plugged in and open to use, chosen automatically. */
void rfidsim_reset(void);
void rfidsim_set_family(int family);
int rfidsim_family(void);
void rfidsim_set_fault(int fault, int arg);

/* Queues a raw answer (any bytes) for the next exchange instead of the model's. */
void rfidsim_script_answer(const unsigned char* bytes, int count);

/* Frames received so far (every written frame, valid or not). */
int rfidsim_frame_count(void);
/* Copies frame `index` into `buffer`; returns its length (may exceed `capacity`). */
int rfidsim_frame(int index, unsigned char* buffer, int capacity);
void rfidsim_clear_frames(void);

/* What the keyboard reader types, with its current output settings, when a card
   is presented: `card` holds the card number, most significant byte first
   (`count` up to 7 bytes, shorter numbers standing in the low bytes). The text
   is UTF-8 with Enter as "\r" and Tab as "\t"; `buffer` gets it NUL-terminated
   when it fits in `capacity`. Returns its length, or -1 when the output format
   the reader holds has no rendering or `count` is out of range. */
int rfidsim_card_text(const unsigned char* card, int count, char* buffer, int capacity);

/* Several simulated readers. There is one at power-on, or RFIDSIM_READERS (1 to
 * RFIDSIM_MAX_READERS) when that is set; RFIDSIM_UNPLUGGED and RFIDSIM_NO_ACCESS
 * (lists of indexes, "1,2") name readers that start unplugged or may not be opened. Each keeps its own
 * settings, cards, faults and frames; the control functions above act on the reader the entry points talk to
 * (the chosen one, or the first plugged-in one while the choice is automatic). Reader i has the path "sim:i"
 * and the serial "SIM-000i" (i counted from 0). */
enum { RFIDSIM_MAX_READERS = 16 };
/* Readers beyond `count` are removed; new ones start at power-on, plugged in. */
void rfidsim_set_reader_count(int count);
int rfidsim_reader_count(void);
/* Plugs reader `index` in (1) or out (0). Signals the monitor descriptor when it changes (on Windows,
 * sends WM_DEVICECHANGE to the calling thread's message-only windows, as Windows does for a device).
 * A reader that is out answers nothing: hidWriteData fails with "no reader". */
void rfidsim_plug(int index, int plugged);
int rfidsim_plugged(int index);
/* How opening reader `index` goes (the real library's permission and busy cases). */
enum { RFIDSIM_ACCESS_OK = 0, RFIDSIM_ACCESS_DENIED = 1, RFIDSIM_ACCESS_BUSY = 2 };
void rfidsim_set_access(int index, int access);
/* Index of the reader the entry points talk to now, -1 when none is plugged in. */
int rfidsim_current(void);

/* The USB library's entry points (see usb/rfidusb_api.h). */
int hidWriteData(int device, int count, const unsigned char* frame);
int hidReadData(int device, int capacity, unsigned char* buffer);
int hidEnumerate(void);
int hidDeviceInfo(int index, char* buf, int capacity);
int hidSelectDevice(const char* pathOrSerial);
int hidLastError(char* buf, int capacity);
int hidMonitorFd(void);
void hidMonitorDrain(void);
/* "<state file>.lock" of the current reader when RFIDSIM_STATE is set (each reader
 * with a state file of its own has its own), else 0: a reader that lives in this
 * process only has nothing to lock. */
int hidLockPath(char* buf, int capacity);

#ifdef __cplusplus
}
#endif
