// The two passes of one inverse Haar step, a line or a pair of rows at a
// time, shared by the whole-plane transform and the row-streaming decoder.
// Both give exactly the same doubles for the same inputs.
#pragma once

namespace hwl {

// The rows one pair k of the vertical pass reads: low rows k-2 .. k+2 and
// high rows k-1 .. k+1. Rows that the pair's position makes irrelevant
// (k-2 when k == 1, k+2 when k == n-2, all neighbours of a boundary pair)
// are not read but must still be valid addresses; pass `low` for them.
struct PairRows {
    const double *lowBefore2, *lowBefore, *low, *lowAfter, *lowAfter2;
    const double *highBefore, *high, *highAfter;
};

// The rows of pair k of n, from lowRow(i) and highRow(i), which give row
// pointers; rows the pair does not read get `low` and are never asked for.
template <typename LowRow, typename HighRow>
PairRows pairRowsAt(int k, int n, const LowRow& lowRow, const HighRow& highRow) {
    const double* low = lowRow(k);
    if (k == 0 || k == n - 1) return {low, low, low, low, low, low, highRow(k), low};
    return {k == 1 ? low : lowRow(k - 2),     lowRow(k - 1),  low,        lowRow(k + 1),
            k == n - 2 ? low : lowRow(k + 2), highRow(k - 1), highRow(k), highRow(k + 1)};
}

// Vertical pass for pair k of n over w columns: rows 2k and 2k + 1.
void synthesiseRowPair(const PairRows& rows, int k, int n, int w, double* even, double* odd);

// Horizontal pass over one line: low[0..n), high[0..n) -> out[0..2n).
void synthesiseLine(const double* low, const double* high, double* out, int n);

} // namespace hwl
