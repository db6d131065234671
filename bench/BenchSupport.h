#pragma once

#include <QImage>
#include <QString>

#include <benchmark/benchmark.h>

#include <functional>
#include <string>

class TBitmap;

// Photo-like test pictures, written once per run into the bench's temporary folder.
QString benchJpeg(int width, int height);
// The 24 MP photo decoded once into a 24-bit bitmap, for the benches that start from pixels.
const TBitmap &benchPhoto24();

// Times ours and the reference in turn, one call of each per iteration and each first every
// other time, so a slow stretch of the machine falls on both alike. Leaves the mean times in
// the counters "ours_ms" and "ref_ms" that the summary reads.
void pairedRun(benchmark::State &state, const std::function<void()> &ours, const std::function<void()> &reference);

// Keeps the largest value seen under a key, for the summary (a worst case, not a mean).
void noteWorst(const std::string &key, double value);
