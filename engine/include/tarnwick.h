/* The birefringence engine.
 *
 * One call performs one complete analysis: it reads the angle image set "0.bmp", "45.bmp",
 * "90.bmp", "135.bmp" from the input folder, computes per pixel the mean intensity,
 * |sin(d)| and the extinction angle, and writes "a0.bmp", "a1.bmp", "a2.bmp" to the output
 * folder. While it runs, the file "tarnwick.sta" marks the output folder as busy.
 *
 * The option string holds space-separated options (-w -h -P -D -O -L -U -l -u -d -s -Q -C);
 * a folder is a prefix ending with "/" and may be given in double quotes.
 *
 * The result codes with their status texts, the limits of the option string and the file
 * names are in tarnwick_contract.h. Nothing is thrown across this boundary and nothing is
 * shown.
 */
#ifndef TARNWICK_H
#define TARNWICK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

__attribute__((visibility("default"))) int32_t Execute_Tarnwick(const char* options);

#ifdef __cplusplus
}
#endif

#endif
