// The precise analysis beside the engine's: from the forward and backward integrations at
// the four angles, at full precision (the frames' sums, not their rounded mean), and the
// background set, per pixel in double precision
//   A_p   = (F_p + B_p) / 2 the angle image, K_p the background image of the angle,
//           M_K = their mean over p (255 when there are none: not corrected)
//   J_p   = A_p / M_K, M = (J_0 + J_45 + J_90 + J_135) / 4, the transmission T (I/I0)
//   u     = (J_90 - J_0, J_135 - J_45) / (2 M), the light behind the sample
//   k     = (K_90 - K_0, K_135 - K_45) / (2 M_K), the lamp's light: its linear component (it
//           should be circular), over the 31 x 31 pixels around
// The sample (a retarder of retardation d, slow axis phi) makes of light whose linear component
// is k and circular component s3 = sqrt(1 - |k|^2)
//   u = s3 sin d (sin 2 phi, cos 2 phi) + B k,
//   B = (1 + cos d) / 2 I + (1 - cos d) / 2 [[cos 4 phi, -sin 4 phi], [-sin 4 phi, -cos 4 phi]]
// (the linear block of its Mueller matrix in these coordinates). So, once with B = I (which
// is what dividing by the background images does) and once more with B of that estimate
// (cos d = +sqrt(1 - s^2), or - where Inputs says the sample is beyond a quarter wave):
//   (a, b) = M (u - B k) / s3, r = sqrt(a^2 + b^2)
//   s     = |sin d| = r / M, without rounding or tables
//   R     = (lambda / 2 pi) asin s in nm, valid below a quarter wave: masked (NaN) above
//           s = 0.9, where its uncertainty diverges
//   phi   = atan2(a, b) / 2 in 0..180 degrees, the slow axis as the engine's angle image
//           has it
// and their uncertainties from the data themselves: D_p = F_p - B_p differs by the camera's
// noise alone on a sound instrument, so the variance of an angle image is <D_p^2> / 4,
// pooled over the four angles and the 5 x 5 pixels around (sigma_A); M_K, common to the
// four angles, drops out of s and phi, and k is smoothed, so the background's noise does
// not enter them; and then
//   sigma_J^2 = sigma_A^2 / M_K^2, sigma_a^2 = sigma_J^2 / 2, sigma_M^2 = sigma_J^2 / 4,
//   sigma_s^2 = (sigma_a^2 + s^2 sigma_M^2) / M^2,
//   sigma_phi = sigma_a / (2 r) (radians),
//   sigma_R   = (lambda / 2 pi) sigma_s / sqrt(1 - s^2).
// The orientation is shown only where r > 3 sigma_a (the orientation mask); the clipped
// mask marks every pixel with an integration at the top of the camera's range (a mean of
// 254.5 or more) or, calibrated, an A_p / K_p at or above 255 / 200 (where the designed
// angle images clip).
#pragma once

#include "frame_sums.h"
#include "saturation.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace precise_maps {

// The maps of a measurement in the program folder, beside its angle images and results; a
// saved result set carries them as BASE.ome.tif.
inline constexpr const char* file_name = "maps.ome.tif";
inline constexpr const char* saved_extension = ".ome.tif";

// One sample per pixel (the one the engine reads), row by row.
struct Plane {
    int width = 0, height = 0;
    std::vector<float> values;
    // 1 where any of the pixel's channels is at the top of its range (a mean of 254.5 or
    // more); empty: none is
    std::vector<uint8_t> clipped;
};

// The mean of `frames` frames from their sums, of the sample the engine reads, with the
// pixels where any channel clipped.
Plane plane_of(const frames::Accumulator& sums, int frames, saturation::Channel channel);
// The sample of each pixel of a 32-bit image, with the pixels where any channel is 255.
Plane plane_of(const QImage& image, saturation::Channel channel);

struct Inputs {
    std::array<Plane, 4> forward, backward; // 0, 45, 90, 135 degrees
    std::array<Plane, 4> background;        // all four, or none (not corrected)
    double wavelength_nm = 550;
    // 1 where the sample's retardation is known (from its thickness, say) to lie between a
    // quarter and three quarters of a wave, modulo a wave (cos d < 0), which the four
    // images of one wavelength cannot tell: a half-wave plate and a plate of a few nm pass
    // the light's linear component alike. Empty: below a quarter wave everywhere, the range in
    // which R is valid.
    std::vector<uint8_t> beyond_quarter_wave;
};

// The pages of the maps, in their order in the file, with their names and units.
enum Page {
    transmission,
    sin_d,
    retardance,
    slow_axis,
    retardance_sigma,
    slow_axis_sigma,
    orientation_mask,
    clipped_mask,
    page_count
};
struct PageInfo {
    const char* name;
    const char* unit; // "" for a number of its own
};
inline constexpr std::array<PageInfo, page_count> pages{{
    {"T", ""},
    {"|sin d|", ""},
    {"R", "nm"},
    {"phi", "degree"},
    {"sigma R", "nm"},
    {"sigma phi", "degree"},
    {"orientation mask", ""},
    {"clipped mask", ""},
}};

struct Maps {
    int width = 0, height = 0;
    std::array<std::vector<float>, page_count> page;
    bool calibrated = false;
    double noise_grey = 0; // the median sigma_A, grey levels of an angle image
};

// Raises std::invalid_argument when the planes are not all of one size (the background set
// may be absent).
Maps compute(const Inputs& in);

// What a file of maps records beside them.
struct Metadata {
    double wavelength_nm = 550;
    QString channel;          // "red", "green", "blue", "monochrome"
    double pixel_size_um = 0; // 0: not known (no image scale for the objective)
    QStringList background_files;
    QString background_date; // ISO 8601, empty when not calibrated
    int integrations = 0;    // frames per integration
    QString program_version;
    double lamp_drift_percent = 0, polarizer_angle_degrees = 0; // between the passes
};

// The OME-XML that describes the maps (the first page's ImageDescription).
QString ome_xml(const Maps& maps, const Metadata& m);

// Writes the maps as one 32-bit float multi-page OME-TIFF through a temporary name and a
// rename, so an earlier file stays whole until the new one is. Returns the reason of a
// failure, empty on success.
QString write_ome_tiff(const QString& path, const Maps& maps, const Metadata& m);

// What a file of maps holds, in lines for `vexolan --info`: its size and pages with their
// units, the pixel size and what its OME-XML records. Nothing, with `why`, for a file that
// is not one (read without blocking: a FIFO or a device is refused at once).
std::optional<QStringList> describe(const QString& path, QString* why);

} // namespace precise_maps
