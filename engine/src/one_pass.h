// The run of an angle image set whose pixels can no longer fail to decode once its
// headers are checked: uncompressed 24- and 32-bit images and 32-bit bit fields. One pass
// over bands of rows reads a band of all four images, samples, computes and colours it,
// and writes it into all three result images at once, on two threads; no plane of a
// whole image is ever held.
#pragma once

#include "computation.h"
#include "options.h"
#include "result_output.h"

#include <cstdint>
#include <optional>

namespace tarnwick {

// The Read, Compute and Write steps in one pass. Returns nothing when the set must take
// the steps one by one instead: an encoding the pass leaves to them, a header or size
// that one of them refuses, a run that may overflow, or any failure to read or write
// during the pass, which leaves every result image as it was. Otherwise the code the
// steps would give: ready, or cannot write when a result image cannot be put in place
// (the ones before it are replaced, the ones after it keep their old content).
std::optional<int32_t> run_one_pass(const Settings& s, const Computation& computation,
                                    const ColourMaps& maps);

} // namespace tarnwick
