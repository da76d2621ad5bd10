/* What the engine and its callers agree on beside the call itself: the result codes and
 * the status text the operator sees for each, the limits of the option string, and the
 * names of the files a run reads and writes in its folders. The engine, the tarnwick
 * command and the program take these facts from here alone.
 *
 * The C part belongs to the C boundary of Execute_Tarnwick (tarnwick.h); the C++ part at
 * the end adds the rounding rule that both deliverables apply whenever they turn a real
 * value into an integer.
 */
#ifndef TARNWICK_CONTRACT_H
#define TARNWICK_CONTRACT_H

#include <stdint.h>

/* ---- result codes ---- */

enum tarnwick_result {
    TARNWICK_READY = 0,
    TARNWICK_CANNOT_READ_FIRST = 1, /* also: the input folder is missing */
    TARNWICK_CANNOT_READ_SECOND = 2,
    TARNWICK_CANNOT_READ_THIRD = 3,
    TARNWICK_CANNOT_READ_FOURTH = 4,
    TARNWICK_SIZE_DIFFERS = 5,
    TARNWICK_OPTION_ERROR = 6,
    TARNWICK_CANNOT_WRITE = 7, /* output folder missing, status file, result image */
    TARNWICK_SIZE_LIMIT = 8,
    TARNWICK_NUMERICAL_ERROR = 9,
    TARNWICK_BUSY = 10,
    TARNWICK_LAST_RESULT = TARNWICK_BUSY
};

/* "Ready", "Error reading first image", ...: the operator's text of a result code, word
 * for word; empty for a code the engine never returns. */
static inline const char* tarnwick_status_text(int32_t code) {
    switch (code) {
    case TARNWICK_READY:
        return "Ready";
    case TARNWICK_CANNOT_READ_FIRST:
        return "Error reading first image";
    case TARNWICK_CANNOT_READ_SECOND:
        return "Error reading second image";
    case TARNWICK_CANNOT_READ_THIRD:
        return "Error reading third image";
    case TARNWICK_CANNOT_READ_FOURTH:
        return "Error reading fourth image";
    case TARNWICK_SIZE_DIFFERS:
        return "Images have different size";
    case TARNWICK_OPTION_ERROR:
        return "Input Parameter Error";
    case TARNWICK_CANNOT_WRITE:
        return "Error writing to disk";
    case TARNWICK_SIZE_LIMIT:
        return "Max Image Error";
    case TARNWICK_NUMERICAL_ERROR:
        return "Unknon or numerical error";
    case TARNWICK_BUSY:
        return "busy";
    default:
        return "";
    }
}

/* ---- the option string ---- */

/* At most this many characters of the option string are read; a caller whose options are
 * longer would have the engine run with what was cut off. */
#define TARNWICK_MAX_OPTION_CHARS 255
/* At most this many words of it are used. */
#define TARNWICK_MAX_OPTION_WORDS 21
/* "-w" and "-h" take 1 to this; anything else ends the run with TARNWICK_SIZE_LIMIT. */
#define TARNWICK_MAX_SIZE_OPTION 3200

/* ---- the files of a run ---- */

/* The angle image set in the input folder: image `index` (0 to 3) shows the sample with
 * the polarizer at tarnwick_angle_degrees(index). */
#define TARNWICK_ANGLE_IMAGES 4
static inline int32_t tarnwick_angle_degrees(int index) {
    return index >= 0 && index < TARNWICK_ANGLE_IMAGES ? 45 * index : -1;
}
/* "0.bmp", "45.bmp", "90.bmp", "135.bmp"; NULL for any other index. */
static inline const char* tarnwick_angle_file(int index) {
    switch (index) {
    case 0:
        return "0.bmp";
    case 1:
        return "45.bmp";
    case 2:
        return "90.bmp";
    case 3:
        return "135.bmp";
    default:
        return 0;
    }
}

/* The result image set in the output folder. */
enum tarnwick_result_image {
    TARNWICK_TRANSMISSION = 0, /* "a0.bmp": I/I0, grey */
    TARNWICK_RETARDATION = 1,  /* "a1.bmp": |sin(d)|, false colour */
    TARNWICK_ANGLE = 2,        /* "a2.bmp": the extinction angle, false colour */
    TARNWICK_RESULT_IMAGES = 3
};
/* "a0.bmp", "a1.bmp", "a2.bmp"; NULL for any other index. */
static inline const char* tarnwick_result_file(int index) {
    switch (index) {
    case TARNWICK_TRANSMISSION:
        return "a0.bmp";
    case TARNWICK_RETARDATION:
        return "a1.bmp";
    case TARNWICK_ANGLE:
        return "a2.bmp";
    default:
        return 0;
    }
}

/* Present in the output folder while a run is in progress there; a run that finds it in
 * the current directory answers TARNWICK_BUSY. */
#define TARNWICK_STATUS_FILE "tarnwick.sta"

#ifdef __cplusplus

#include <cmath>

namespace tarnwick {

/* Conversion of a real value to an integer as the whole system does it: to the nearest
 * integer, a tie going to the even neighbour, independent of the floating-point
 * environment the host process may have set. */
inline long double round_half_even(long double x) {
    const long double f = std::floor(x);
    const long double d = x - f;
    if (d > 0.5L) return f + 1;
    if (d < 0.5L) return f;
    return std::fmod(f, 2.0L) == 0 ? f : f + 1;
}

} // namespace tarnwick

#endif

#endif
