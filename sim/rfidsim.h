/* Control of the simulated reader, for tests and tools that load it in-process. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* Which reader the simulation plays. The two families share command bytes. */
enum { RFIDSIM_KEYBOARD = 0, RFIDSIM_HF = 1 };

/* What goes wrong with every following exchange until changed. */
enum {
    RFIDSIM_OK = 0,         /* answer as the firmware would */
    RFIDSIM_WRITE_FAIL = 1, /* hidWriteData reports a failed write */
    RFIDSIM_SILENT = 2,     /* the frame is taken, no answer comes */
    RFIDSIM_REFUSE = 3,     /* status 01 with the error code `arg` */
    RFIDSIM_DAMAGED = 4,    /* status `arg` (neither 00 nor 01) */
    RFIDSIM_SHORT = 5,      /* the answer is cut after `arg` bytes */
    RFIDSIM_OVERLONG = 6    /* the length byte claims more than sent: 0xFF and 245 bytes */
};

/* Back to power-on: default settings, no cards moved, no faults, no frames kept. */
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

/* The USB library's entry points. */
int hidWriteData(int device, int count, const unsigned char* frame);
int hidReadData(int device, int capacity, unsigned char* buffer);

#ifdef __cplusplus
}
#endif
