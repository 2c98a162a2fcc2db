// Rate-distortion quantisation of one plane of Haar coefficients.
//
// Every coefficient that is not zero costs a 2-bit symbol and a b-bit value
// whatever its size, and a zero costs 2 bits or, inside a run, far less. So
// per band the finest factor that its values fit is the best one, unless a
// few outliers are worth clipping for a finer factor, and the rate is decided
// by which coefficients are kept at all: one is kept only where the error it
// removes is worth the bits it costs at the exchange rate `lambda` (squared
// error per bit). Bands that are all zeroed this way are dropped.
#pragma once

#include <cstdint>
#include <vector>

namespace hwl {

// Squared error summed over R, G and B that a unit error of a coefficient of
// colour plane `plane` (0 Y, 1 U, 2 V) causes after the decoder's colour
// conversion; 1 for a grey file's plane.
double planeErrorWeight(int plane, bool grey);

// The squared error each coefficient of a transformed plane leaves when it is
// written as zero. The decoder blends a pair whose detail is zero towards its
// neighbours along the line (by 0.2 of the step to each), which on a ramp
// recovers most of a vertical-only or horizontal-only detail; the
// approximation and the diagonal details are plain squares.
std::vector<double> zeroErrors(const double* plane, int width, int height, int levels);

// Quantises every band of `plane` (W x H coefficients, levels + 1 detail
// bands and the approximation) for the exchange rate `lambda`, with values of
// `valueBits` bits: writes the integers and table[0 .. levels + 1]. The
// error of a coefficient counts `weight` times; a zero's is its `zeroError`
// (zeroErrors above).
void quantisePlaneRd(const double* plane, const double* zeroError, int32_t* integers, int width,
                     int height, int levels, int valueBits, double weight, double lambda,
                     double* table);

} // namespace hwl
